// SPDX-License-Identifier: Apache-2.0
// Encrypting and decrypting files: streaming across buffers, output that is
// complete or absent, aborts, write failures, and sources that are not usable.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/io/Files.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

constexpr auto kAes = engine::SymAlgorithm::Aes, kTwofish = engine::SymAlgorithm::Twofish;
constexpr size_t kPipeChunk = 4 * 3 * 64 * 1024;

class FileCipherTest : public ::testing::Test {
protected:
    std::shared_ptr<engine::EngineSymCipher> cipher(engine::SymAlgorithm algorithm = kAes,
                                                    int32_t bits = 256) {
        auto c = root->NewSymCipher(algorithm, "file password", bits);
        configure(*c, 1, 1, 0, engine::OutputEncoding::Binary);
        return c;
    }
    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot(fastOptions());
    ScratchDir dir;
    Recorder recorder;
};

TEST_F(FileCipherTest, FilesRoundTripAcrossBufferEdgesInEveryForm) {
    const size_t sizes[] = {0, 1, 16, kPipeChunk - 1, kPipeChunk, kPipeChunk + 1, 2 * kPipeChunk + 17};
    int variant = 0;
    for (size_t size : sizes) {
        const std::string plain = pseudoRandom(size, static_cast<uint32_t>(size));
        writeAll(dir.file("plain.bin"), plain);
        for (engine::SymAlgorithm algorithm : {kAes, kTwofish}) {
            auto c = cipher(algorithm, variant % 2 ? 128 : 256);
            const auto compression = static_cast<int16_t>(variant % 4 == 0 ? 6 : 0);
            configure(*c, variant % 2, variant % 3, compression, variant % 3);
            c->EncryptFile(dir.file("plain.bin"), dir.file("sealed"));
            c->DecryptFile(dir.file("sealed"), dir.file("opened.bin"));
            ASSERT_EQ(readAll(dir.file("opened.bin")), plain) << "size " << size << " variant " << variant;
            ++variant;
        }
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"opened.bin", "plain.bin", "sealed"}));
}

TEST_F(FileCipherTest, FileAndTextContainersAreTheSameFormat) {
    auto c = cipher();
    c->Encoding(engine::OutputEncoding::Base64);
    writeAll(dir.file("plain"), "file to text");
    c->EncryptFile(dir.file("plain"), dir.file("sealed.txt"));
    EXPECT_EQ(c->DecryptText(readAll(dir.file("sealed.txt"))), "file to text");
    writeAll(dir.file("from-text"), c->EncryptText("text to file"));
    c->DecryptFile(dir.file("from-text"), dir.file("opened"));
    EXPECT_EQ(readAll(dir.file("opened")), "text to file");
}

TEST_F(FileCipherTest, TheSourceIsNeverModifiedAndTheTargetGetsTheUsualPermissions) {
    const std::string plain = pseudoRandom(50000);
    writeAll(dir.file("plain"), plain);
    struct stat before {};
    ::stat(dir.file("plain").c_str(), &before);
    const mode_t old = ::umask(022);
    cipher()->EncryptFile(dir.file("plain"), dir.file("sealed"));
    ::umask(old);
    struct stat after {
    }, sealed{};
    ::stat(dir.file("plain").c_str(), &after);
    ::stat(dir.file("sealed").c_str(), &sealed);
    EXPECT_EQ(readAll(dir.file("plain")), plain);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
    EXPECT_EQ(sealed.st_mode & 0777, 0644u);
}

TEST_F(FileCipherTest, AReplacedTargetKeepsItsTighterPermissions) {
    writeAll(dir.file("plain"), "for your eyes only");
    auto c = cipher();
    c->EncryptFile(dir.file("plain"), dir.file("sealed"));
    const mode_t old = ::umask(022);
    for (mode_t mode : {0600, 0640}) {
        writeAll(dir.file("opened"), "old");
        ::chmod(dir.file("opened").c_str(), mode);
        c->DecryptFile(dir.file("sealed"), dir.file("opened"));
        EXPECT_EQ(permissionsOf(dir.file("opened")), mode);
        EXPECT_EQ(readAll(dir.file("opened")), "for your eyes only");
    }
    // The same for every file the engine writes.
    writeAll(dir.file("encoded"), "old");
    ::chmod(dir.file("encoded").c_str(), 0600);
    root->NewEncoder(engine::OutputEncoding::Base64)->EncodeFile(dir.file("plain"), dir.file("encoded"));
    EXPECT_EQ(permissionsOf(dir.file("encoded")), 0600u);
    ::umask(old);
}

TEST_F(FileCipherTest, AnExistingTargetIsReplacedWhole) {
    writeAll(dir.file("plain"), "short");
    writeAll(dir.file("opened"), std::string(100000, 'x'));
    auto c = cipher();
    c->EncryptFile(dir.file("plain"), dir.file("sealed"));
    c->DecryptFile(dir.file("sealed"), dir.file("opened"));
    EXPECT_EQ(readAll(dir.file("opened")), "short");
}

// --- Failures leave nothing behind ------------------------------------------------------

TEST_F(FileCipherTest, AWrongPasswordLeavesNoFileAndTheOldTargetIntact) {
    writeAll(dir.file("plain"), pseudoRandom(300000));
    cipher()->EncryptFile(dir.file("plain"), dir.file("sealed"));
    writeAll(dir.file("target"), "old contents");
    auto wrong = root->NewSymCipher(kAes, "other password", 256);
    std::string description;
    EXPECT_EQ(kindOf([&] { wrong->DecryptFile(dir.file("sealed"), dir.file("target")); }, &description),
              ErrorKind::WrongKeyOrDamaged);
    EXPECT_NE(description.find(dir.file("sealed")), std::string::npos) << description;
    EXPECT_EQ(readAll(dir.file("target")), "old contents");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"plain", "sealed", "target"}));
}

TEST_F(FileCipherTest, DamageAnywhereInALargeFileIsCaughtBeforeAnythingIsWritten) {
    const std::string plain = pseudoRandom(2 * kPipeChunk + 100);
    writeAll(dir.file("plain"), plain);
    auto c = cipher();
    c->EncryptFile(dir.file("plain"), dir.file("sealed"));
    const std::string sealed = readAll(dir.file("sealed"));
    for (size_t at : {size_t{100}, kPipeChunk, sealed.size() - 45, sealed.size() - 1}) {
        std::string damaged = sealed;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x20);
        writeAll(dir.file("damaged"), damaged);
        EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.file("damaged"), dir.file("opened")); }),
                  ErrorKind::WrongKeyOrDamaged)
            << at;
        writeAll(dir.file("damaged"), sealed.substr(0, at));
        EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.file("damaged"), dir.file("opened")); }),
                  ErrorKind::WrongKeyOrDamaged)
            << at;
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"damaged", "plain", "sealed"}));
}

TEST_F(FileCipherTest, ASourceChangedWhileItIsDecryptedIsCaught) {
    const std::string plain = pseudoRandom(3 * kPipeChunk);
    writeAll(dir.file("plain"), plain);
    auto c = cipher();
    c->EncryptFile(dir.file("plain"), dir.file("sealed"));
    recorder.attach(*root, true);
    bool changed = false;
    // Past half way, the changed byte lies near the end. Read after the change,
    // it breaks the tag; read ahead before it (the reading thread may be there
    // already), the change itself is noticed. Either way nothing is written.
    recorder.onReport = [&](int32_t position) {
        if (changed || position < 51 || position > 100) return;
        std::fstream file(dir.file("sealed"), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(readAll(dir.file("sealed")).size() - kPipeChunk / 2));
        file.put('\x55');
        changed = true;
    };
    const ErrorKind kind = kindOf([&] { c->DecryptFile(dir.file("sealed"), dir.file("opened")); });
    EXPECT_TRUE(kind == ErrorKind::WrongKeyOrDamaged || kind == ErrorKind::Io) << static_cast<int>(kind);
    EXPECT_TRUE(changed);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"plain", "sealed"}));
}

TEST_F(FileCipherTest, DecompressionReportsProgressAndStopsPartWayOnAnAbort) {
    // A small container that expands a thousandfold. The output grows under a
    // name here, so that the test can watch it.
    const NamedTemporaryFiles named;
    const uint64_t size = 48u << 20;
    auto c = cipher();
    c->Compression(9);
    writeAll(dir.file("sealed"), c->EncryptText(std::string(size, '\0')));
    auto temporarySize = [&]() -> uint64_t {
        for (const auto& name : dir.names())
            if (name.rfind(".opened", 0) == 0) return fs::file_size(dir.file(name));
        return 0;
    };
    uint64_t writtenAtAbort = 0;
    root->SetOnProcess([&](int32_t position, int32_t, bool& abort) {
        const uint64_t written = temporarySize();
        if (position <= 100 && written > 0 && writtenAtAbort == 0) {
            writtenAtAbort = written;
            abort = true;
        }
        waitForNextReport();
    });
    EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.file("sealed"), dir.file("opened")); }), ErrorKind::Aborted);
    EXPECT_GT(writtenAtAbort, 0u);
    EXPECT_LT(writtenAtAbort, size);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"sealed"}));
}

// --- A crash during decryption ---------------------------------------------------

bool supportsUnnamedFiles(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// Decrypts in a child process that is killed part way through the writing,
// or once the whole plain text is written but not yet in place; returns how
// the child ended.
int decryptAndGetKilled(engine::EngineSymCipher& c, engine::EngineRoot& root, const std::string& source,
                        const std::string& target, bool whenWritten) {
    const pid_t child = ::fork();
    if (child == 0) {
        root.SetOnProcess([whenWritten](int32_t position, int32_t, bool&) {
            if (whenWritten ? position > 100 : position > 0 && position <= 100) ::raise(SIGKILL);
        });
        try {
            c.DecryptFile(source, target);
        } catch (...) {
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

class CrashTest : public FileCipherTest, public ::testing::WithParamInterface<bool> {};

TEST_P(CrashTest, AKilledDecryptionLeavesNoPlainTextForOthersToRead) {
    const bool unnamed = GetParam();
    if (unnamed && !supportsUnnamedFiles(dir.path())) GTEST_SKIP() << "no unnamed files on this file system";
    std::optional<NamedTemporaryFiles> named;
    if (!unnamed) named.emplace();
    const std::string plain = pseudoRandom(3 * kPipeChunk);
    writeAll(dir.file("plain"), plain);
    auto c = cipher();
    c->EncryptFile(dir.file("plain"), dir.file("sealed"));

    const std::string sealed = readAll(dir.file("sealed"));
    const mode_t old = ::umask(022);
    for (bool whenWritten : {false, true}) {
        SCOPED_TRACE(whenWritten ? "killed once written" : "killed while writing");
        // Every buffer reports, so that one comes while the plain text is written.
        const TestPacingClock clock(engine::detail::Progress::kMinInterval);
        // An older decryption, which the killed run was to replace.
        writeAll(dir.file("opened"), "an older decryption");
        const int status = decryptAndGetKilled(*c, *root, dir.file("sealed"), dir.file("opened"), whenWritten);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        std::vector<std::string> left = dir.names();
        if (unnamed) {
            EXPECT_EQ(left, (std::vector<std::string>{"opened", "plain", "sealed"}));
        } else {
            // Only the owner may read what the named file holds.
            ASSERT_EQ(left.size(), 4u);
            EXPECT_EQ(left[0].rfind(".opened.tmp-", 0), 0u) << left[0];
            EXPECT_EQ(permissionsOf(dir.file(left[0])), 0600u);
            fs::remove(dir.file(left[0]));
        }
        EXPECT_EQ(readAll(dir.file("opened")), "an older decryption");
        EXPECT_EQ(readAll(dir.file("sealed")), sealed);
        fs::remove(dir.file("opened"));
    }

    // Finished files still get the usual permissions, or keep a replaced file's tighter ones.
    c->DecryptFile(dir.file("sealed"), dir.file("opened"));
    EXPECT_EQ(permissionsOf(dir.file("opened")), 0644u);
    ::chmod(dir.file("opened").c_str(), 0640);
    c->DecryptFile(dir.file("sealed"), dir.file("opened"));
    ::umask(old);
    EXPECT_EQ(permissionsOf(dir.file("opened")), 0640u);
    EXPECT_EQ(readAll(dir.file("opened")), plain);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"opened", "plain", "sealed"}));
}

INSTANTIATE_TEST_SUITE_P(UnnamedOrNamed, CrashTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

struct AbortCase {
    const char* name;
    std::optional<size_t> abortAt;
    bool atFinal;
};

class AbortTest : public FileCipherTest, public ::testing::WithParamInterface<AbortCase> {};

TEST_P(AbortTest, AnAbortLeavesNoFileAndTheOldTargetIntact) {
    writeAll(dir.file("plain"), pseudoRandom(3 * kPipeChunk));
    auto c = cipher(kTwofish);
    c->EncryptFile(dir.file("plain"), dir.file("sealed"));
    writeAll(dir.file("target"), "old contents");
    recorder.attach(*root, true);
    recorder.abortAt = GetParam().abortAt;
    recorder.abortAtFinal = GetParam().atFinal;
    for (bool decrypting : {false, true}) {
        recorder.reports.clear();
        std::string description;
        EXPECT_EQ(kindOf(
                      [&] {
                          if (decrypting)
                              c->DecryptFile(dir.file("sealed"), dir.file("target"));
                          else
                              c->EncryptFile(dir.file("plain"), dir.file("target"));
                      },
                      &description),
                  ErrorKind::Aborted);
        EXPECT_NE(description.find("aborted"), std::string::npos);
        ASSERT_FALSE(recorder.reports.empty());
        const int32_t last = recorder.reports.back().position;
        if (GetParam().atFinal) {
            EXPECT_GT(last, 100);
        } else {
            EXPECT_LE(last, 100);
        }
        EXPECT_EQ(readAll(dir.file("target")), "old contents");
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"plain", "sealed", "target"}));
    }
}

INSTANTIATE_TEST_SUITE_P(StartMiddleEnd, AbortTest,
                         ::testing::Values(AbortCase{"start", size_t{0}, false},
                                           AbortCase{"middle", size_t{1}, false},
                                           AbortCase{"end", std::nullopt, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Fails every write past a size, like a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        ::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    sighandler_t m_oldHandler;
};

TEST_F(FileCipherTest, AWriteFailureIsReportedAndLeavesNothingBehind) {
    writeAll(dir.file("plain"), pseudoRandom(3 * kPipeChunk));
    writeAll(dir.file("target"), "old contents");
    std::string description;
    {
        FileSizeLimit limit(kPipeChunk);
        EXPECT_EQ(kindOf([&] { cipher()->EncryptFile(dir.file("plain"), dir.file("target")); }, &description),
                  ErrorKind::Io);
    }
    EXPECT_NE(description.find(dir.file("target")), std::string::npos) << description;
    EXPECT_EQ(readAll(dir.file("target")), "old contents");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"plain", "target"}));
}

TEST_F(FileCipherTest, UnusableSourcesAndTargetsAreReportedWithThePath) {
    auto c = cipher();
    std::string description;
    EXPECT_EQ(kindOf([&] { c->EncryptFile(dir.file("missing"), dir.file("out")); }, &description),
              ErrorKind::Io);
    EXPECT_NE(description.find(dir.file("missing")), std::string::npos) << description;
    EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.path(), dir.file("out")); }, &description), ErrorKind::Io);
    EXPECT_NE(description.find("folder"), std::string::npos) << description;

    writeAll(dir.file("plain"), "data");
    EXPECT_EQ(
        kindOf([&] { c->EncryptFile(dir.file("plain"), dir.file("no-such-folder/out")); }, &description),
        ErrorKind::Io);
    EXPECT_NE(description.find("no-such-folder"), std::string::npos) << description;
    ::mkdir(dir.file("sub").c_str(), 0755);
    EXPECT_EQ(kindOf([&] { c->EncryptFile(dir.file("plain"), dir.file("sub")); }), ErrorKind::Io);

    if (::geteuid() != 0) {
        writeAll(dir.file("locked"), "data");
        ::chmod(dir.file("locked").c_str(), 0);
        EXPECT_EQ(kindOf([&] { c->EncryptFile(dir.file("locked"), dir.file("out")); }), ErrorKind::Io);
    }
    std::vector<std::string> expected{"plain", "sub"};
    if (::geteuid() != 0) expected.insert(expected.begin(), "locked");
    EXPECT_EQ(dir.names(), expected);
}

TEST_F(FileCipherTest, APipeIsRefusedWithoutWaitingForAWriter) {
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    std::string description;
    EXPECT_EQ(kindOf([&] { cipher()->DecryptFile(dir.file("pipe"), dir.file("out")); }, &description),
              ErrorKind::Io);
    EXPECT_NE(description.find(dir.file("pipe")), std::string::npos) << description;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"pipe"}));
}

TEST_F(FileCipherTest, TheSourceCannotBeItsOwnTarget) {
    writeAll(dir.file("plain"), "precious");
    ASSERT_EQ(::link(dir.file("plain").c_str(), dir.file("hardlink").c_str()), 0);
    auto c = cipher();
    EXPECT_EQ(kindOf([&] { c->EncryptFile(dir.file("plain"), dir.file("plain")); }), ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { c->EncryptFile(dir.file("plain"), dir.file("hardlink")); }),
              ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.file("plain"), dir.path() + "/./plain"); }),
              ErrorKind::InvalidInput);
    EXPECT_EQ(readAll(dir.file("plain")), "precious");
}

TEST_F(FileCipherTest, AnEmptySourceEncryptsButIsNotACipherText) {
    writeAll(dir.file("empty"), "");
    auto c = cipher();
    c->EncryptFile(dir.file("empty"), dir.file("sealed"));
    c->DecryptFile(dir.file("sealed"), dir.file("opened"));
    EXPECT_EQ(readAll(dir.file("opened")), "");
    EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.file("empty"), dir.file("x")); }), ErrorKind::NotOurData);
    writeAll(dir.file("text"), "just some text\n");
    EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.file("text"), dir.file("x")); }), ErrorKind::NotOurData);
}

}  // namespace
