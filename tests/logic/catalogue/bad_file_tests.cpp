// SPDX-License-Identifier: Apache-2.0
// Sources and targets that no file operation can use, as every file operation
// of the window meets them: missing, unreadable, a folder, a pipe or a device
// as the source; a folder, a pipe, a socket, a device, a file or folder the
// user may not write, a read-only file system, a full disk or the source
// itself as the target. Each gives one box naming the file and loses nothing.

#include <sys/socket.h>
#include <sys/un.h>

#include "tests/logic/catalogue/CatalogueSupport.h"

using namespace catalogue;
using enginetest::readAll;

namespace {

// The boxes of a run whose engine call fails with `says`, after the question
// about an existing output file when there is one. A failed verification is
// also answered, as any that does not succeed.
std::vector<std::string> failureBoxes(const WindowOperation& op, const std::string& says,
                                      const std::string& askedAbout = "") {
    std::vector<std::string> boxes;
    if (!askedAbout.empty()) boxes.push_back(replaceQuestion(askedAbout));
    boxes.push_back(errorBox(op.title, says));
    if (&op == &kVerify) boxes.push_back(warningBox("Invalid signature "));
    return boxes;
}

bool makeDevice(const std::string& path) {
    // The null device, under a name of our own.
    return ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
}

class BadFile : public Catalogue {
protected:
    // A good file to sign before verifying another.
    std::string signedFile() { return writeFile("signed.txt", "signed text"); }
};

TEST_F(BadFile, AnUnusableSourceIsOneBoxForEveryFileOperationAndLosesNothing) {
    ASSERT_EQ(::mkdir(file("folder").c_str(), 0755), 0);
    writeFile("folder/inside.txt", "kept");
    ASSERT_EQ(::mkfifo(file("pipe").c_str(), 0600), 0);
    std::vector<std::pair<std::string, std::string>> sources = {
        {file("missing.txt"), "No such file or directory."},
        {file("folder"), "it is a folder, not a file."},
        {file("pipe"), "it is not a regular file."},
    };
    if (makeDevice(file("device")))
        sources.push_back({file("device"), "it is not a regular file."});
    else
        std::cout << "No device node could be made here: the device source is left out.\n";
    const std::string signedPath = signedFile();

    for (const WindowOperation* op : kFileOperations) {
        for (const auto& [source, reason] : sources) {
            SCOPED_TRACE(std::string(op->name) + " of " + source);
            open(*op, true);
            // An existing output file, which the user agrees to replace.
            std::string target;
            if (op->suffix) {
                target = outputOf(*op, source);
                enginetest::writeAll(target, "an older output");
                ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
            }
            const Tree before = treeOf(dir.path());
            run(*op, source, signedPath);
            expectRefused(*op, source,
                          failureBoxes(*op, "Cannot open " + inQuotes(source) + ": " + reason, target));
            EXPECT_EQ(treeOf(dir.path()), before);
            if (!target.empty()) fs::remove(target);
        }
    }
}

TEST_F(BadFile, ATargetThatIsNotARegularFileIsRefusedAndLeftAsItIs) {
    int n = 0;
    for (const WindowOperation* op : kWritingOperations) {
        SCOPED_TRACE(op->name);
        const std::string source = goodSource(*op, dir.path(), "source" + std::to_string(n++) + ".txt");
        const std::string target = outputOf(*op, source);
        std::vector<std::pair<std::function<bool()>, std::string>> nodes = {
            {[&] {
                 const bool made = fs::create_directory(target);
                 enginetest::writeAll(target + "/inside.txt", "kept");
                 return made;
             },
             "it is a folder."},
            {[&] { return ::mkfifo(target.c_str(), 0600) == 0; },
             "it is a pipe, not a regular file; it was left as it is."},
            {[&] {
                 const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
                 sockaddr_un address{};
                 address.sun_family = AF_UNIX;
                 std::strncpy(address.sun_path, target.c_str(), sizeof address.sun_path - 1);
                 const bool bound = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
                 ::close(listener);
                 return bound;
             },
             "it is a socket, not a regular file; it was left as it is."},
            {[&] {
                 fs::create_symlink("elsewhere", target);
                 return fs::create_directory(file("elsewhere"));
             },
             "it is a folder."},
        };
        if (::geteuid() == 0)
            nodes.push_back({[&] { return makeDevice(target); },
                             "it is a device, not a regular file; it was left as it is."});
        for (const auto& [make, reason] : nodes) {
            SCOPED_TRACE(reason);
            ASSERT_TRUE(make());
            open(*op, true);
            ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
            const Tree before = treeOf(dir.path());
            run(*op, source);
            expectRefused(*op, source, failureBoxes(*op, "Cannot write " + inQuotes(target) + ": " + reason, target));
            EXPECT_EQ(treeOf(dir.path()), before);
            fs::remove_all(target);
            fs::remove_all(file("elsewhere"));
        }
        // A link to a file, or one that leads nowhere, is replaced by the new
        // file; what it points to is left as it is.
        writeFile("pointee", "kept");
        for (const char* pointee : {"pointee", "nowhere"}) {
            fs::create_symlink(pointee, target);
            open(*op, true);
            ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
            const std::string sourceBytes = readAll(source);
            run(*op, source);
            // Only what is there is asked about: a link that leads nowhere is not.
            EXPECT_EQ(takeBoxes(), pointee == std::string("pointee") ? std::vector<std::string>{replaceQuestion(target)}
                                                                     : std::vector<std::string>{});
            EXPECT_FALSE(fs::is_symlink(target)) << pointee;
            EXPECT_EQ(readAll(file("pointee")), "kept");
            EXPECT_FALSE(fs::exists(file("nowhere")));
            EXPECT_EQ(readAll(source), sourceBytes);
            fs::remove(target);
        }
        fs::remove(file("pointee"));
    }
}

TEST_F(BadFile, AnOutputNameThatLeadsBackToTheSourceIsRefused) {
    int n = 0;
    for (const WindowOperation* op : kWritingOperations) {
        SCOPED_TRACE(op->name);
        const std::string source = goodSource(*op, dir.path(), "own" + std::to_string(n++) + ".txt");
        const std::string target = outputOf(*op, source);
        // Another name of the same file, as a hard link gives it.
        ASSERT_EQ(::link(source.c_str(), target.c_str()), 0);
        open(*op, true);
        ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
        const Tree before = treeOf(dir.path());
        run(*op, source);
        expectRefused(*op, source,
                      failureBoxes(*op,
                                   inQuotes(source) + ": Cannot write " + inQuotes(target) +
                                       ": it is the source file itself.",
                                   target));
        EXPECT_EQ(treeOf(dir.path()), before);
        fs::remove(target);
    }
}

// As the user nobody when the tests run as root: an unreadable source, a file
// the user may not replace, and a folder the user may not write into.
TEST_F(BadFile, PermissionsRefuseAnotherUserAndLoseNothing) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string shared = file("shared"), locked = file("locked");
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
    const std::string signedPath = writeFile("shared/signed.txt", "signed text");
    ASSERT_EQ(::chmod(signedPath.c_str(), 0644), 0);
    const std::string unreadable = writeFile("shared/unreadable.txt", "secret");
    ASSERT_EQ(::chmod(unreadable.c_str(), 0), 0);

    int n = 0;
    for (const WindowOperation* op : kFileOperations) {
        SCOPED_TRACE(op->name);
        // The source the user may not read.
        open(*op, true);
        std::string target;
        if (op->suffix) {
            target = outputOf(*op, unreadable);
            enginetest::writeAll(target, "an older output");
            ::chmod(target.c_str(), 0666);
        }
        Tree before = treeOf(dir.path());
        Seen seen = runAsAnotherUser(*op, unreadable, signedPath);
        expectRefused(*op, seen, unreadable,
                      failureBoxes(*op, "Cannot open " + inQuotes(unreadable) + ": Permission denied.", target));
        EXPECT_EQ(treeOf(dir.path()), before);
        if (!op->suffix) continue;
        fs::remove(target);

        // An output file the user may not write, in a folder the user may write.
        const std::string source = goodSource(*op, shared, "source" + std::to_string(n) + ".txt");
        ::chmod(source.c_str(), 0644);
        target = outputOf(*op, source);
        enginetest::writeAll(target, "an older output");
        ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
        open(*op, true);
        before = treeOf(dir.path());
        seen = runAsAnotherUser(*op, source);
        expectRefused(*op, seen, source,
                      failureBoxes(*op,
                                   "Cannot replace " + inQuotes(target) +
                                       ": you may not write to this file (Permission denied); it was left as it is.",
                                   target));
        EXPECT_EQ(treeOf(dir.path()), before);

        // A folder the user may not write into.
        const std::string inLocked = goodSource(*op, locked, "source" + std::to_string(n++) + ".txt");
        ::chmod(inLocked.c_str(), 0644);
        ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
        open(*op, true);
        before = treeOf(dir.path());
        seen = runAsAnotherUser(*op, inLocked);
        expectRefused(*op, seen, inLocked,
                      failureBoxes(*op, "Cannot create " + inQuotes(outputOf(*op, inLocked)) + ": Permission denied."));
        EXPECT_EQ(treeOf(dir.path()), before);
        ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    }
}

// A file system mounted read-only refuses root too.
TEST_F(BadFile, AReadOnlyFileSystemRefusesEveryOutputAndLosesNothing) {
    SmallDisk disk(4 << 20);
    if (!disk.refused.empty()) GTEST_SKIP() << disk.refused;
    std::vector<std::string> sources;
    int n = 0;
    for (const WindowOperation* op : kWritingOperations) {
        sources.push_back(goodSource(*op, disk.path(), "source" + std::to_string(n++) + ".txt"));
    }
    // Half of them with an existing output file.
    for (size_t i = 0; i < sources.size(); i += 2)
        enginetest::writeAll(outputOf(*kWritingOperations[i], sources[i]), "an older output");
    ASSERT_TRUE(disk.readOnly()) << std::strerror(errno);
    const Tree before = treeOf(disk.path());
    for (size_t i = 0; i < sources.size(); ++i) {
        const WindowOperation& op = *kWritingOperations[i];
        SCOPED_TRACE(op.name);
        const std::string target = outputOf(op, sources[i]);
        open(op, true);
        const bool existing = i % 2 == 0;
        if (existing) ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
        run(op, sources[i]);
        expectRefused(op, sources[i],
                      existing ? failureBoxes(op,
                                              "Cannot replace " + inQuotes(target) +
                                                  ": you may not write to this file (Read-only file system); it "
                                                  "was left as it is.",
                                              target)
                               : failureBoxes(op, "Cannot create " + inQuotes(target) + ": Read-only file system."));
    }
    EXPECT_EQ(treeOf(disk.path()), before);
}

// A disk with room for the source but not for the output; the output grows
// where nobody sees it, and its room is given back.
TEST_F(BadFile, AFullDiskLeavesNoOutputAndTheOldOneIntact) {
    const std::string plain = enginetest::pseudoRandom(1536 << 10, 8);
    int n = 0;
    for (const WindowOperation* op : kWritingOperations) {
        SCOPED_TRACE(op->name);
        SmallDisk disk(8 << 20);
        if (!disk.refused.empty()) GTEST_SKIP() << disk.refused;
        // Made on the disk the tests run on, then moved to the small one.
        const std::string made = goodSource(*op, dir.path(), "source" + std::to_string(n++) + ".txt", plain);
        const std::string source = disk.file(fs::path(made).filename().string());
        fs::copy_file(made, source);
        const std::string target = outputOf(*op, source);
        enginetest::writeAll(target, "an older output");
        disk.fill("filler", 256 << 10);
        open(*op, true);
        ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
        const Tree before = treeOf(disk.path());
        const uint64_t free = disk.freeBytes();
        run(*op, source);
        expectRefused(*op, source,
                      failureBoxes(*op, "Cannot write " + inQuotes(target) + ": No space left on device.", target));
        EXPECT_EQ(treeOf(disk.path()), before);
        EXPECT_EQ(disk.freeBytes(), free) << "the room the output took is given back";
    }
}

TEST_F(BadFile, AZlibBombAsAFileFillsTheDiskAndLeavesNothing) {
    SmallDisk disk(4 << 20);
    if (!disk.refused.empty()) GTEST_SKIP() << disk.refused;
    // 64 MiB of zeros in a container of about 64 KiB.
    open(kSymEncrypt, true);
    form.upDown("udSymLev").setValue(9);
    const std::string zeros = file("zeros.bin");
    {
        std::ofstream(zeros).close();
        fs::resize_file(zeros, 64 << 20);
    }
    run(kSymEncrypt, zeros);
    ASSERT_EQ(takeBoxes(), std::vector<std::string>{});
    const std::string bomb = disk.file("bomb.bin");
    fs::copy_file(box("txtResSym").text(), bomb);
    ASSERT_LT(fs::file_size(bomb), 1u << 20);
    const std::string target = outputOf(kSymDecrypt, bomb);
    enginetest::writeAll(target, "an older output");

    open(kSymDecrypt, true);
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    const Tree before = treeOf(disk.path());
    const uint64_t free = disk.freeBytes();
    run(kSymDecrypt, bomb);
    expectRefused(kSymDecrypt, bomb,
                  failureBoxes(kSymDecrypt, "Cannot write " + inQuotes(target) + ": No space left on device.", target));
    EXPECT_EQ(treeOf(disk.path()), before);
    EXPECT_EQ(disk.freeBytes(), free);
}

TEST_F(BadFile, AnEmptySourceIsAnEmptyInputButNoCipherText) {
    const std::string empty = writeFile("empty.txt", "");
    const std::string signedPath = signedFile();
    const struct {
        const WindowOperation* op;
        const char* result;  // "" when the output is a file, which must be empty
    } cases[] = {
        {&kHash, "d41d8cd98f00b204e9800998ecf8427e"},
        {&kSign, nullptr},
        {&kEncode, ""},
        {&kDecode, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op->name);
        open(*c.op, true);
        if (c.op == &kHash) form.option("optType", 2).userClick();
        run(*c.op, empty);
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
        if (!c.result) {
            EXPECT_FALSE(box(c.op->writes).text().empty());
        } else if (*c.result) {
            EXPECT_EQ(box(c.op->writes).text(), c.result);
        } else {
            const std::string output = outputOf(*c.op, empty);
            EXPECT_EQ(box(c.op->writes).text(), output);
            EXPECT_EQ(readAll(output), "");
            fs::remove(output);
        }
        EXPECT_EQ(readAll(empty), "");
    }
    // Encrypted, an empty file comes back empty; but it is no cipher text itself.
    for (const WindowOperation* encrypt : {&kSymEncrypt, &kRsaEncrypt}) {
        const WindowOperation& decrypt = encrypt == &kSymEncrypt ? kSymDecrypt : kRsaDecrypt;
        SCOPED_TRACE(encrypt->name);
        open(*encrypt, true);
        run(*encrypt, empty);
        const std::string sealed = box(encrypt->writes).text();
        open(decrypt, true);
        run(decrypt, sealed);
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
        EXPECT_EQ(readAll(box(decrypt.writes).text()), "");
        fs::remove(box(decrypt.writes).text());
        fs::remove(sealed);

        const Tree before = treeOf(dir.path());
        run(decrypt, empty);
        expectRefused(decrypt, empty,
                      failureBoxes(decrypt, inQuotes(empty) + ": This is not data encrypted by this program (its "
                                                            "format is not recognised)."));
        EXPECT_EQ(treeOf(dir.path()), before);
    }
}

}  // namespace
