// SPDX-License-Identifier: Apache-2.0
// A write that fails on the second thread of a file operation must reach the
// caller: the operation fails, names the target, and leaves no file.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <thread>

#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/io/Files.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

// Fails the first write at or past `from` bytes into the file, once, and
// notes on which thread it ran; the writes after it go through, so that a
// lost failure would show as a file with a hole reported as a success.
class OneFailingWrite {
public:
    explicit OneFailingWrite(uint64_t from) {
        engine::detail::setFileFaults({[this, from](uint64_t offset, size_t) {
                                           if (m_failed || offset < from) return 0;
                                           m_failed = true;
                                           m_offCaller = std::this_thread::get_id() != m_caller;
                                           return ENOSPC;
                                       },
                                       nullptr});
    }
    ~OneFailingWrite() { engine::detail::setFileFaults({}); }
    bool failed() const { return m_failed; }
    bool offCaller() const { return m_offCaller; }

private:
    std::thread::id m_caller = std::this_thread::get_id();
    bool m_failed = false;
    bool m_offCaller = false;
};

struct ThreadedPath {
    const char* name;
    engine::SymAlgorithm algorithm;  // of the cipher that makes or opens the source
    bool decrypting;
    bool decoding;
};

class WriterFailureTest : public ::testing::TestWithParam<ThreadedPath> {
protected:
    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot(fastOptions());
    ScratchDir dir;
};

TEST_P(WriterFailureTest, AFailedWriteOnTheWriterThreadReachesTheCallerAndLeavesNoFile) {
    const ThreadedPath& path = GetParam();
    // Well above the size from which file operations use a second thread.
    const std::string plain = pseudoRandom(3 << 20);
    writeAll(dir.file("plain"), plain);
    auto c = root->NewSymCipher(path.algorithm, "writer", 256);
    configure(*c, 1, 1, 0, engine::OutputEncoding::Binary);
    auto hex = root->NewEncoder(engine::OutputEncoding::Hex);
    std::string source = dir.file("plain");
    if (path.decrypting) {
        c->EncryptFile(dir.file("plain"), dir.file("sealed"));
        source = dir.file("sealed");
    }
    if (path.decoding) {
        hex->EncodeFile(dir.file("plain"), dir.file("encoded"));
        source = dir.file("encoded");
    }
    writeAll(dir.file("target"), "old contents");
    const auto before = dir.names();

    auto call = [&] {
        if (path.decoding)
            hex->DecodeFile(source, dir.file("target"));
        else if (path.decrypting)
            c->DecryptFile(source, dir.file("target"));
        else
            c->EncryptFile(source, dir.file("target"));
    };
    std::string description;
    ErrorKind kind;
    bool failed, offCaller;
    {
        const OneFailingWrite fault(1 << 20);
        kind = kindOf(call, &description);
        failed = fault.failed();
        offCaller = fault.offCaller();
    }
    ASSERT_TRUE(failed);
    EXPECT_TRUE(offCaller) << "the failed write ran on the calling thread";
    EXPECT_EQ(kind, ErrorKind::Io);
    EXPECT_NE(description.find(dir.file("target")), std::string::npos) << description;
    EXPECT_EQ(readAll(dir.file("target")), "old contents");
    EXPECT_EQ(dir.names(), before);

    // Without the fault the same call succeeds: the failure was the write's.
    call();
    std::string result = dir.file("target");
    if (!path.decrypting && !path.decoding) {
        c->DecryptFile(result, dir.file("check"));
        result = dir.file("check");
    }
    EXPECT_EQ(readAll(result), plain);
}

INSTANTIATE_TEST_SUITE_P(EveryThreadedPath, WriterFailureTest,
                         ::testing::Values(ThreadedPath{"Encrypt", engine::SymAlgorithm::Aes, false, false},
                                           ThreadedPath{"Decrypt", engine::SymAlgorithm::Aes, true, false},
                                           ThreadedPath{"DecryptTwofish", engine::SymAlgorithm::Twofish, true,
                                                        false},
                                           ThreadedPath{"Decode", engine::SymAlgorithm::Aes, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
