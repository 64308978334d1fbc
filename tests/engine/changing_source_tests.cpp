// SPDX-License-Identifier: Apache-2.0
// A source file that shrinks, grows, is rewritten (even with its time stamp
// put back) or is replaced under its name while an operation reads it: the
// result would describe bytes that were never on disk together, or a file no
// longer there, so the operation fails and writes nothing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>

#include "EngineTestSupport.h"
#include "engine/Engine.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

// RewriteKeepingTime puts the old modification time back, as `touch -r` does;
// Replace renames another file with the same time stamp over it, as editors save.
enum class Change { Shrink, Grow, Rewrite, RewriteKeepingTime, Replace };

struct Operation {
    const char* name;
    std::function<void(const std::string& source)> call;
};

class ChangingSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Hex digits, which every operation below takes, decoding included.
        source = dir.file("source");
        writeAll(source, hexOf(pseudoRandom(1200 << 10)));
        symmetric = root->NewSymCipher(engine::SymAlgorithm::Aes, "changing", 256);
        configure(*symmetric, 1, 1, 0, engine::OutputEncoding::Binary);
        privateKey =
            root->NewKeyPair(engine::KeyKind::KeyPair, 1024, "", engine::EncryptionSchema::Oaep, publicKey);
        encoder = root->NewEncoder(engine::OutputEncoding::Hex);
        signature = privateKey->SignFile(source);
    }

    // Runs `call` while `change` happens to the source after its first part
    // has been read; returns the outcome.
    ErrorKind runWhileChanging(const std::function<void()>& call, Change change, std::string* description) {
        // An old time stamp, so that any write leaves another.
        const timespec old[2] = {{946684800, 0}, {946684800, 0}};
        ::utimensat(AT_FDCWD, source.c_str(), old, 0);
        const std::string original = readAll(source);
        bool changed = false;
        root->SetOnProcess([&](int32_t position, int32_t, bool&) {
            if (changed) return;
            if (position == 0) return waitForNextReport();
            if (position > 60) return;
            if (change == Change::Shrink) {
                ASSERT_EQ(::truncate(source.c_str(), static_cast<off_t>(original.size() / 4 * 2)), 0);
            } else if (change == Change::Grow) {
                std::ofstream(source, std::ios::binary | std::ios::app) << "0123456789abcdef";
            } else if (change == Change::Replace) {
                std::string other = original;
                other[other.size() - 2] = other[other.size() - 2] == 'a' ? 'b' : 'a';
                writeAll(source + ".new", other);
                ASSERT_EQ(::utimensat(AT_FDCWD, (source + ".new").c_str(), old, 0), 0);
                ASSERT_EQ(::rename((source + ".new").c_str(), source.c_str()), 0);
            } else {
                {
                    std::fstream file(source, std::ios::in | std::ios::out | std::ios::binary);
                    file.seekp(static_cast<std::streamoff>(original.size() - 2));
                    file.put(original[original.size() - 2] == 'a' ? 'b' : 'a');
                }
                if (change == Change::RewriteKeepingTime) {
                    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), old, 0), 0);
                }
            }
            changed = true;
        });
        const ErrorKind kind = kindOf(call, description);
        root->SetOnProcess(nullptr);
        EXPECT_TRUE(changed);
        writeAll(source, original);
        return kind;
    }

    // Every change fails the operation with an Io error naming the file,
    // leaves nothing behind and an older output as it was.
    void expectChangesNoticed(const Operation& operation) {
        const std::string out = dir.file("out");
        for (Change change :
             {Change::Shrink, Change::Grow, Change::Rewrite, Change::RewriteKeepingTime, Change::Replace}) {
            // An older output, which those that write were to replace.
            writeAll(out, "an older output");
            std::string description;
            EXPECT_EQ(runWhileChanging([&] { operation.call(source); }, change, &description), ErrorKind::Io)
                << operation.name << " " << static_cast<int>(change);
            EXPECT_NE(description.find("The file \"" + source + "\" changed while it was being read"),
                      std::string::npos)
                << operation.name << ": " << description;
            EXPECT_EQ(dir.names(), (std::vector<std::string>{"out", "source"})) << operation.name;
            EXPECT_EQ(readAll(out), "an older output") << operation.name;
        }
        // The same file, left alone, goes through.
        EXPECT_NO_THROW(operation.call(source)) << operation.name;
        fs::remove(out);
    }

    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot(fastOptions());
    ScratchDir dir;
    std::string source;
    std::shared_ptr<engine::EngineSymCipher> symmetric;
    std::shared_ptr<engine::EngineAsymKey> privateKey, publicKey;
    std::shared_ptr<engine::EngineEncoder> encoder;
    std::string signature;
};

TEST_F(ChangingSourceTest, EveryOperationThatReadsAFileNoticesItChangingAndWritesNothing) {
    const std::string out = dir.file("out");
    const Operation operations[] = {
        {"hash", [&](const std::string& s) { root->NewHash(engine::HashAlgorithm::Sha1)->HashFile(s); }},
        {"encrypt", [&](const std::string& s) { symmetric->EncryptFile(s, out); }},
        {"encrypt with RSA", [&](const std::string& s) { publicKey->EncryptFile(s, out); }},
        {"encode", [&](const std::string& s) { encoder->EncodeFile(s, out); }},
        {"decode", [&](const std::string& s) { encoder->DecodeFile(s, out); }},
        {"sign", [&](const std::string& s) { privateKey->SignFile(s); }},
        {"verify", [&](const std::string& s) { publicKey->VerifyFile(s, signature); }},
    };
    for (const auto& operation : operations) expectChangesNoticed(operation);
}

}  // namespace
