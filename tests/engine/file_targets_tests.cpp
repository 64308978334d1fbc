// SPDX-License-Identifier: Apache-2.0
// What a file operation may replace, what it tidies up, and how it names
// files in its messages: nodes that are not regular files, files the user may
// not write, links, another writer of the same name, a folder that moves or
// locks mid-run, the longest paths, leftovers of killed runs, a folder that
// cannot be flushed, and names with line breaks or bytes that are not UTF-8.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "AnotherUser.h"
#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/core/Errors.h"
#include "engine/io/Files.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

constexpr size_t kPipeChunk = 4 * 3 * 64 * 1024;

mode_t typeOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & S_IFMT;
}

bool isValidUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

struct Outcome {
    bool threw = false;
    ErrorKind kind = ErrorKind::Internal;
    std::string description;
};

// Runs `call` as another user (see AnotherUser.h); reports what it threw.
Outcome asAnotherUser(const std::function<void()>& call) {
    const std::string message = enginetest::asAnotherUser([&] {
        try {
            call();
        } catch (const engine::EngineError& e) {
            return std::to_string(static_cast<int>(e.kind())) + ":" + e.what();
        }
        return std::string("-");
    });
    Outcome outcome;
    if (message == "-") return outcome;
    outcome.threw = true;
    const size_t colon = message.find(':');
    if (colon == std::string::npos) return outcome;
    outcome.kind = static_cast<ErrorKind>(std::stoi(message.substr(0, colon)));
    outcome.description = message.substr(colon + 1);
    return outcome;
}

// Runs `call` in a child process that is killed at the call's final report,
// with its output complete but not yet in place; returns the child's pid.
pid_t killedRun(engine::EngineRoot& root, const std::function<void()>& call) {
    const pid_t child = ::fork();
    if (child == 0) {
        root.SetOnProcess([](int32_t position, int32_t, bool&) {
            if (position > 100) ::raise(SIGKILL);
        });
        try {
            call();
        } catch (...) {
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    return child;
}

class TargetTest : public ::testing::Test {
protected:
    std::shared_ptr<engine::EngineSymCipher> cipher() {
        auto c = root->NewSymCipher(engine::SymAlgorithm::Aes, "target password", 256);
        configure(*c, 1, 1, 0, engine::OutputEncoding::Binary);
        return c;
    }
    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot(fastOptions());
    ScratchDir dir;
};

// --- What may be replaced ------------------------------------------------------------

TEST_F(TargetTest, ATargetThatIsNotARegularFileIsRefusedAndLeftAsItIs) {
    writeAll(dir.file("plain"), "data");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, dir.file("socket").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    std::vector<std::pair<std::string, std::string>> nodes{
        {"pipe", "pipe"}, {"socket", "socket"}, {"folder", "folder"}};
    // Like /dev/null, which root would otherwise replace.
    if (::geteuid() == 0 && ::mknod(dir.file("device").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0)
        nodes.push_back({"device", "device"});

    std::shared_ptr<engine::EngineAsymKey> publicKey;
    auto privateKey =
        root->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, publicKey);
    auto c = cipher();
    auto encoder = root->NewEncoder(engine::OutputEncoding::Hex);
    for (const auto& [name, word] : nodes) {
        const std::string target = dir.file(name);
        const mode_t type = typeOf(target);
        const std::function<void()> calls[] = {[&] { c->EncryptFile(dir.file("plain"), target); },
                                               [&] { encoder->EncodeFile(dir.file("plain"), target); },
                                               [&] { privateKey->SaveToFile(target); }};
        for (const auto& call : calls) {
            std::string description;
            EXPECT_EQ(kindOf(call, &description), ErrorKind::Io) << name;
            EXPECT_NE(description.find(target), std::string::npos) << description;
            EXPECT_NE(description.find(word), std::string::npos) << description;
            EXPECT_EQ(typeOf(target), type) << name;
        }
    }
    ::close(listener);
    std::vector<std::string> expected{"folder", "pipe", "plain", "socket"};
    if (nodes.size() == 4) expected.insert(expected.begin(), "device");
    EXPECT_EQ(dir.names(), expected);
}

TEST_F(TargetTest, ALinkAsTargetIsReplacedAndWhatItPointsToIsNot) {
    writeAll(dir.file("plain"), "new data");
    writeAll(dir.file("pointee"), "kept");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("pointee", dir.file("to-file").c_str()), 0);
    ASSERT_EQ(::symlink("pipe", dir.file("to-pipe").c_str()), 0);
    ASSERT_EQ(::symlink("missing", dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("folder", dir.file("to-folder").c_str()), 0);
    auto c = cipher();
    for (const char* link : {"to-file", "to-pipe", "dangling"}) {
        c->EncryptFile(dir.file("plain"), dir.file(link));
        EXPECT_EQ(typeOf(dir.file(link)), static_cast<mode_t>(S_IFREG)) << link;
        c->DecryptFile(dir.file(link), dir.file("opened"));
        EXPECT_EQ(readAll(dir.file("opened")), "new data");
    }
    EXPECT_EQ(readAll(dir.file("pointee")), "kept");
    EXPECT_EQ(typeOf(dir.file("pipe")), static_cast<mode_t>(S_IFIFO));
    // A link to a folder reads as the folder, as everywhere else.
    EXPECT_EQ(kindOf([&] { c->EncryptFile(dir.file("plain"), dir.file("to-folder")); }), ErrorKind::Io);
    EXPECT_EQ(typeOf(dir.file("to-folder")), static_cast<mode_t>(S_IFLNK));
}

TEST_F(TargetTest, AFileTheUserMayNotWriteIsNotReplaced) {
    // A folder everyone may write, as another user sees it.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string folder = dir.file("shared");
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    const std::string plain = folder + "/plain", target = folder + "/target";
    writeAll(plain, "new data");
    ::chmod(plain.c_str(), 0644);
    auto c = cipher();
    auto encoder = root->NewEncoder(engine::OutputEncoding::Base64);
    const std::function<void()> calls[] = {[&] { c->EncryptFile(plain, target); },
                                           [&] { encoder->EncodeFile(plain, target); }};
    // 0444: nobody may write it; 0644 owned by root: only root may.
    std::vector<mode_t> modes{0444};
    if (::geteuid() == 0) modes.push_back(0644);
    for (mode_t mode : modes) {
        for (const auto& call : calls) {
            writeAll(target, "precious");
            ASSERT_EQ(::chmod(target.c_str(), mode), 0);
            const Outcome outcome = asAnotherUser(call);
            EXPECT_TRUE(outcome.threw) << std::oct << mode;
            EXPECT_EQ(outcome.kind, ErrorKind::Io) << outcome.description;
            EXPECT_NE(outcome.description.find(target), std::string::npos) << outcome.description;
            EXPECT_NE(outcome.description.find("may not write"), std::string::npos) << outcome.description;
            EXPECT_EQ(readAll(target), "precious");
            EXPECT_EQ(permissionsOf(target), mode);
            EXPECT_EQ(fs::file_size(target), 8u);
        }
    }
    // What the user may write, the user may replace.
    writeAll(target, "old");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), nobodyUid(), nobodyGid()), 0);
    }
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    EXPECT_FALSE(asAnotherUser(calls[1]).threw);
    EXPECT_EQ(readAll(target), "bmV3IGRhdGE=");
    EXPECT_EQ(permissionsOf(target), 0640u);
    // Root may write any file, so root may replace it.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
        c->EncryptFile(plain, target);
        c->DecryptFile(target, folder + "/opened");
        EXPECT_EQ(readAll(folder + "/opened"), "new data");
        EXPECT_EQ(permissionsOf(target), 0444u);
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    const std::vector<std::string> expected = ::geteuid() == 0
                                                  ? std::vector<std::string>{"opened", "plain", "target"}
                                                  : std::vector<std::string>{"plain", "target"};
    EXPECT_EQ(left, expected);
}

// --- Another writer, a folder that moves or locks, the longest paths --------------------

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Pipes that hold a forked writer at its final report, its output complete
// but not yet in place, until the parent lets it go.
struct Gate {
    Gate() {
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(go), 0);
    }
    ~Gate() {
        for (int fd : {ready[0], ready[1], go[0], go[1]}) ::close(fd);
    }
    void wait() {
        char byte = 'r';
        if (::write(ready[1], &byte, 1) != 1 || ::read(go[0], &byte, 1) != 1) ::_exit(4);
    }
    // Once `writers` (forked already) wait, all go at once.
    void release(int writers) {
        ::close(ready[1]);  // so that a writer that died shows as the end
        ready[1] = -1;
        std::string bytes(static_cast<size_t>(writers), 'g');
        for (int n = 0; n < writers; ++n) ASSERT_EQ(::read(ready[0], &bytes[0], 1), 1) << "a writer died";
        ASSERT_EQ(::write(go[1], bytes.data(), bytes.size()), static_cast<ssize_t>(writers));
    }
    int ready[2], go[2];
};

// Encodes `source` into `target` in a child process that waits at the gate
// before putting its output in place; "ok" or the description comes back
// through `answer`.
pid_t writerAtTheGate(engine::EngineRoot& root, Gate& gate, const std::string& source,
                      const std::string& target, int answer) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    ::alarm(60);
    root.SetOnProcess([&](int32_t position, int32_t, bool&) {
        if (position > 100) gate.wait();
    });
    std::string said = "ok";
    try {
        root.NewEncoder(engine::OutputEncoding::Hex)->EncodeFile(source, target);
    } catch (const engine::EngineError& e) {
        said = e.what();
    }
    const bool sent = ::write(answer, said.data(), said.size()) == static_cast<ssize_t>(said.size());
    ::_exit(sent ? 0 : 5);
}

TEST_F(TargetTest, OfTwoWritersRacingForOneNameOneWinsAndTheOtherSaysSo) {
    writeAll(dir.file("first"), "the first writer's");
    writeAll(dir.file("second"), "the second writer's");
    const std::string target = dir.file("target");
    const std::string refused = "The file \"" + target +
                                "\" was created or changed by another program while this one was writing it; "
                                "it was left as it is.";
    for (bool unnamed : {true, false}) {
        std::optional<NamedTemporaryFiles> named;
        if (!unnamed) named.emplace();
        for (bool existing : {false, true}) {
            SCOPED_TRACE(std::string(unnamed ? "unnamed" : "named") +
                         (existing ? ", replacing" : ", creating"));
            if (existing) writeAll(target, "an older output");
            Gate gate;
            int answers[2][2];
            pid_t writers[2];
            for (int i = 0; i < 2; ++i) {
                ASSERT_EQ(::pipe(answers[i]), 0);
                writers[i] =
                    writerAtTheGate(*root, gate, dir.file(i ? "second" : "first"), target, answers[i][1]);
                ::close(answers[i][1]);
            }
            gate.release(2);
            std::string said[2];
            for (int i = 0; i < 2; ++i) {
                char buffer[512];
                for (ssize_t n; (n = ::read(answers[i][0], buffer, sizeof buffer)) > 0;)
                    said[i].append(buffer, n);
                ::close(answers[i][0]);
                int status = 0;
                ::waitpid(writers[i], &status, 0);
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            }
            // Exactly one result stands, and the other writer says that it lost.
            const int winner = said[0] == "ok" ? 0 : 1;
            EXPECT_EQ(said[winner], "ok");
            EXPECT_EQ(said[1 - winner], refused);
            EXPECT_EQ(readAll(target), hexOf(readAll(dir.file(winner ? "second" : "first"))));
            EXPECT_EQ(dir.names(), (std::vector<std::string>{"first", "second", "target"}));
            fs::remove(target);
        }
    }
    // Another program writing into the old file in place changes it too.
    writeAll(target, "an older output");
    root->SetOnProcess([&](int32_t position, int32_t, bool&) {
        if (position > 100) std::ofstream(target, std::ios::app) << ", added to";
    });
    std::string description;
    EXPECT_EQ(
        kindOf([&] { root->NewEncoder(engine::OutputEncoding::Hex)->EncodeFile(dir.file("first"), target); },
               &description),
        ErrorKind::Io);
    EXPECT_EQ(description, refused);
    EXPECT_EQ(readAll(target), "an older output, added to");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"first", "second", "target"}));
}

// The named fallback, its folder moved away or made read-only once the plain
// text is written: no file readable by others, none at all where it can be
// removed, and where it cannot, the message says where it is.
TEST_F(TargetTest, AFolderThatMovesOrLocksMidRunLeavesNoPlainTextForOthersToRead) {
    const NamedTemporaryFiles named;
    const mode_t oldMask = ::umask(022);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string plain = pseudoRandom(3 * kPipeChunk);
    writeAll(dir.file("plain"), plain);
    auto c = cipher();
    c->EncryptFile(dir.file("plain"), dir.file("sealed"));
    ASSERT_EQ(::chmod(dir.file("sealed").c_str(), 0644), 0);
    const std::string folder = dir.file("box"), moved = dir.file("moved");

    // Moved: through the folder's handle the file is removed where it went.
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    writeAll(folder + "/opened", "an older decryption");
    root->SetOnProcess([&](int32_t position, int32_t, bool&) {
        if (position > 100 && ::access(folder.c_str(), F_OK) == 0) {
            ASSERT_EQ(::rename(folder.c_str(), moved.c_str()), 0);
        }
    });
    std::string description;
    EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.file("sealed"), folder + "/opened"); }, &description),
              ErrorKind::Io);
    EXPECT_NE(description.find("moved"), std::string::npos) << description;
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(readAll(moved + "/opened"), "an older decryption");
    EXPECT_EQ(namesIn(moved), std::vector<std::string>{"opened"});

    // Read-only, as another user (root would still write): the file cannot be
    // removed, so it stays readable by its owner only, and the message says where.
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), nobodyUid(), nobodyGid()), 0);
    }
    const Outcome outcome = asAnotherUser([&] {
        root->SetOnProcess([&](int32_t position, int32_t, bool&) {
            if (position > 100) ::chmod(folder.c_str(), 0555);
        });
        c->DecryptFile(dir.file("sealed"), folder + "/opened");
    });
    ::umask(oldMask);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    const std::vector<std::string> left = namesIn(folder);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(".opened.tmp-", 0), 0u) << left[0];
    EXPECT_EQ(permissionsOf(folder + "/" + left[0]), 0600u);
    EXPECT_TRUE(outcome.threw);
    EXPECT_EQ(outcome.kind, ErrorKind::Io);
    EXPECT_NE(outcome.description.find("Cannot write \"" + folder + "/opened\": Permission denied."),
              std::string::npos)
        << outcome.description;
    EXPECT_NE(outcome.description.find("\"" + left[0] + "\" could not be removed: it is in the folder \"" +
                                       folder + "\" and only you may read it."),
              std::string::npos)
        << outcome.description;
}

// Paths of 4090 bytes with a last component of 255: created and replaced,
// through an unnamed file and a named one, whose hidden name needs only
// to fit into one component.
TEST_F(TargetTest, TheLongestPathsAreCreatedAndReplacedAndTooLongANameIsSaidPlainly) {
    std::string folder = dir.path();
    const size_t total = 4090, last = 255;
    while (folder.size() + 1 + 250 + 1 + last <= total) {
        folder += "/" + std::string(250, 'd');
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    }
    if (folder.size() + 2 + last < total) {
        folder += "/" + std::string(total - folder.size() - 2 - last, 'e');
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    }
    const std::string name(last, 'n'), target = folder + "/" + name;
    ASSERT_EQ(target.size(), total);
    auto inFolder = [&] { return namesIn(folder); };
    writeAll(dir.file("plain"), "into the depths");
    writeAll(dir.file("other"), "and again");
    auto c = cipher();
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed" : "named");
        std::optional<NamedTemporaryFiles> namedFiles;
        if (!unnamed) namedFiles.emplace();
        c->EncryptFile(dir.file("plain"), target);
        c->DecryptFile(target, dir.file("opened"));
        EXPECT_EQ(readAll(dir.file("opened")), "into the depths");
        c->EncryptFile(dir.file("other"), target);
        c->DecryptFile(target, dir.file("opened"));
        EXPECT_EQ(readAll(dir.file("opened")), "and again");
        EXPECT_EQ(inFolder(), std::vector<std::string>{name});
        // One byte more than a name may have: said before any work.
        std::string description;
        EXPECT_EQ(kindOf([&] { c->EncryptFile(dir.file("plain"), target + "x"); }, &description),
                  ErrorKind::Io);
        EXPECT_NE(description.find("is 256 bytes long, longer than the 255 bytes a file name may have"),
                  std::string::npos)
            << description;
        EXPECT_EQ(inFolder(), std::vector<std::string>{name});
        fs::remove(target);
    }
    // What a killed run leaves there under a hidden name, the next run takes away.
    const NamedTemporaryFiles namedFiles;
    const pid_t dead = killedRun(*root, [&] { c->EncryptFile(dir.file("plain"), target); });
    std::vector<std::string> left = inFolder();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind("." + name.substr(0, 180) + ".tmp-" + std::to_string(dead) + "-", 0), 0u)
        << left[0];
    root->SetOnProcess(nullptr);
    c->EncryptFile(dir.file("plain"), target);
    EXPECT_EQ(inFolder(), std::vector<std::string>{name});
}

// --- Leftovers of the named fallback -------------------------------------------------

TEST_F(TargetTest, TheNextRunIntoAFolderRemovesWhatAKilledRunLeftThere) {
    const NamedTemporaryFiles named;
    const std::string plain = pseudoRandom(3 * kPipeChunk);
    writeAll(dir.file("plain"), plain);
    // An older output, which the killed run was to replace.
    writeAll(dir.file("sealed"), "an older output");
    auto c = cipher();
    const pid_t dead = killedRun(*root, [&] { c->EncryptFile(dir.file("plain"), dir.file("sealed")); });
    const std::vector<std::string> left = dir.names();
    ASSERT_EQ(left.size(), 3u);
    const std::string& leftover = left[0];
    ASSERT_EQ(leftover.rfind(".sealed.tmp-" + std::to_string(dead) + "-", 0), 0u) << leftover;
    EXPECT_EQ(permissionsOf(dir.file(leftover)), 0600u);
    EXPECT_EQ(readAll(dir.file("sealed")), "an older output");
    EXPECT_EQ(readAll(dir.file("plain")), plain);

    // Near misses, which are not the engine's or not for the taking.
    const std::string deadTag = ".tmp-" + std::to_string(dead);
    std::vector<std::string> kept{".sealed.tmp-1-0",  // a process that runs (init)
                                  ".sealed" + deadTag + "-x", "sealed" + deadTag + "-0",
                                  ".sealed" + deadTag + "-0.bak", ".sealed" + deadTag + "-0-1"};
    for (const auto& name : kept) writeAll(dir.file(name), "not ours to remove");
    ASSERT_EQ(::mkdir(dir.file(".folder" + deadTag + "-0").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("plain", dir.file(".link" + deadTag + "-0").c_str()), 0);
    kept.push_back(".folder" + deadTag + "-0");
    kept.push_back(".link" + deadTag + "-0");
    if (::geteuid() == 0) {
        const std::string others = ".others" + deadTag + "-3";
        writeAll(dir.file(others), "another user's");
        ASSERT_EQ(::chown(dir.file(others).c_str(), nobodyUid(), nobodyGid()), 0);
        kept.push_back(others);
    }

    // A writer that a process number cannot show (another PID namespace, another
    // machine on a shared folder) holds the lock the engine takes on what it writes.
    const std::string held = ".held" + deadTag + "-0";
    const int writer = ::open(dir.file(held).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(writer, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(writer, F_OFD_SETLK, &lock), 0);

    // Any run that writes into the folder, here one into another file.
    root->SetOnProcess(nullptr);
    auto encoder = root->NewEncoder(engine::OutputEncoding::Hex);
    encoder->EncodeFile(dir.file("plain"), dir.file("encoded"));
    kept.push_back("encoded");
    kept.push_back("plain");
    kept.push_back("sealed");
    std::sort(kept.begin(), kept.end());
    std::vector<std::string> withHeld = kept;
    withHeld.push_back(held);
    std::sort(withHeld.begin(), withHeld.end());
    EXPECT_EQ(dir.names(), withHeld);
    // Once its writer is gone, it goes too.
    ::close(writer);
    encoder->EncodeFile(dir.file("plain"), dir.file("encoded"));
    EXPECT_EQ(dir.names(), kept);
}

// --- A folder that cannot be flushed -------------------------------------------------

TEST_F(TargetTest, AFolderThatCannotBeFlushedAfterTheLinkIsReported) {
    writeAll(dir.file("plain"), "new data");
    auto c = cipher();
    for (bool unnamed : {true, false}) {
        std::optional<NamedTemporaryFiles> named;
        if (!unnamed) named.emplace();
        writeAll(dir.file("sealed"), "old");
        engine::detail::setFileFaults({nullptr, [](int) {
                                           errno = EIO;
                                           return -1;
                                       }});
        std::string description;
        const ErrorKind kind =
            kindOf([&] { c->EncryptFile(dir.file("plain"), dir.file("sealed")); }, &description);
        engine::detail::setFileFaults({});
        EXPECT_EQ(kind, ErrorKind::Io);
        EXPECT_NE(description.find(dir.file("sealed")), std::string::npos) << description;
        EXPECT_NE(description.find("crash"), std::string::npos) << description;
        // The old contents are gone already: the new file stays, whole.
        c->DecryptFile(dir.file("sealed"), dir.file("opened"));
        EXPECT_EQ(readAll(dir.file("opened")), "new data");
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"opened", "plain", "sealed"}));
    }
    // A file system that does not flush folders at all is no failure.
    engine::detail::setFileFaults({nullptr, [](int) {
                                       errno = EINVAL;
                                       return -1;
                                   }});
    EXPECT_NO_THROW(c->EncryptFile(dir.file("plain"), dir.file("sealed")));
    engine::detail::setFileFaults({});
}

// --- Names in messages --------------------------------------------------------------

TEST_F(TargetTest, NamesInMessagesAreEscapedOntoOneLine) {
    // A line break, a tab, a carriage return, an invalid byte pair and a
    // character of another script, kept as it is.
    const std::string name =
        "a\nb\tc\rd\xC3(e\xFF\xE2\x82\xAC"
        "f";
    const std::string shown =
        "a\\nb\\tc\\rd\\xC3(e\\xFF\xE2\x82\xAC"
        "f";
    const std::string path = dir.file(name);
    const std::string shownPath = dir.path() + "/" + shown;
    auto c = cipher();
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    auto privateKey =
        root->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, publicKey);
    auto check = [&](const std::function<void()>& call, ErrorKind expected, const char* what) {
        std::string description;
        EXPECT_EQ(kindOf(call, &description), expected) << what;
        EXPECT_EQ(occurrences(description, "\"" + shownPath + "\""), 1u) << what << ": " << description;
        EXPECT_EQ(description.find_first_of("\n\t\r"), std::string::npos) << what;
        EXPECT_TRUE(isValidUtf8(description)) << what << ": " << description;
    };
    // Missing: every kind of object names the file it could not open.
    check([&] { c->EncryptFile(path, dir.file("out")); }, ErrorKind::Io, "encrypt");
    check([&] { root->NewHash(engine::HashAlgorithm::Sha1)->HashFile(path); }, ErrorKind::Io, "hash");
    check([&] { privateKey->SignFile(path); }, ErrorKind::Io, "sign");
    check([&] { root->LoadKey(path, engine::KeyKind::PublicKey, engine::EncryptionSchema::Oaep); },
          ErrorKind::Io, "load");
    // Present: damage, a bad key file, the source as its own target, a refused target.
    writeAll(path, c->EncryptText("data").substr(0, 60));
    check([&] { c->DecryptFile(path, dir.file("out")); }, ErrorKind::WrongKeyOrDamaged, "decrypt");
    check([&] { root->LoadKey(path, engine::KeyKind::PublicKey, engine::EncryptionSchema::Oaep); },
          ErrorKind::KeyFile, "load");
    check([&] { c->EncryptFile(path, path); }, ErrorKind::InvalidInput, "itself");
    check([&] { root->NewEncoder(engine::OutputEncoding::Hex)->DecodeFile(path, dir.file("out")); },
          ErrorKind::InvalidInput, "decode");
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    writeAll(dir.file("plain"), "data");
    check([&] { c->EncryptFile(dir.file("plain"), path); }, ErrorKind::Io, "target");
    check([&] { privateKey->SaveToFile(path); }, ErrorKind::Io, "save");
}

TEST(EscapedText, EveryByteShowsOnOneLineAndValidTextAsItIs) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x91", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x91"},
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {std::string("\0\x01\x1B[2J\x7F", 7), "\\x00\\x01\\x1B[2J\\x7F"},
        {"back\\slash", "back\\\\slash"},
        // Not UTF-8: a lone byte, a cut sequence, an overlong form, a surrogate, past U+10FFFF.
        {"\xFF", "\\xFF"},
        {"\xE2\x82", "\\xE2\\x82"},
        {"\xC0\xAF", "\\xC0\\xAF"},
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        // Valid, but a line break (NEL, U+2028) or a turn of direction (U+202E) on screen.
        {"a\xC2\x85"
         "b\xE2\x80\xA8"
         "c\xE2\x80\xAE"
         "d",
         "a\\u0085b\\u2028c\\u202Ed"},
        // Unicode's format characters, zero-width and invisible: the soft hyphen, a zero-width
        // space, the byte-order mark, a word joiner, beyond U+FFFF a hieroglyph control (new
        // in Unicode 15) and a tag; their neighbours in other categories stay as they are.
        {"\xC2\xAD\xE2\x80\x8B\xEF\xBB\xBF\xE2\x81\xA0\xF0\x93\x90\xB9\xF3\xA0\x81\x81",
         "\\u00AD\\u200B\\uFEFF\\u2060\\U00013439\\U000E0041"},
        {"\xE2\x80\x8A\xF0\x93\x91\x80\xF3\xA0\x84\x80", "\xE2\x80\x8A\xF0\x93\x91\x80\xF3\xA0\x84\x80"},
    };
    for (const auto& [raw, shown] : cases) EXPECT_EQ(engine::detail::escapedText(raw), shown) << shown;
    EXPECT_EQ(engine::detail::quotedPath("/tmp/a\nb"), "\"/tmp/a\\nb\"");
    EXPECT_EQ(engine::QuotedName("/tmp/a\xE2\x80\x8B.txt"), "\"/tmp/a\\u200B.txt\"");
}

}  // namespace
