// SPDX-License-Identifier: Apache-2.0
// Decryption in one pass: the plain text grows where nobody else can read it
// and reaches the target name only once the tag over everything read has
// matched; damage near the end, found after all else was decrypted, leaves
// nothing behind and an existing target as it was.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/io/Files.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

constexpr size_t kPipeChunk = 4 * 3 * 64 * 1024;
constexpr size_t kTrailer = 8 + 32;

class OnePassTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!GetParam()) named.emplace();
        c = root->NewSymCipher(engine::SymAlgorithm::Aes, "one pass", 256);
        configure(*c, 1, 1, 0, engine::OutputEncoding::Binary);
    }
    // At every report while decrypting, the target still holds its old
    // contents and any temporary file is its owner's alone.
    void watchTheTarget() {
        root->SetOnProcess([this](int32_t position, int32_t, bool&) {
            if (position > 100) return;
            ++watched;
            EXPECT_EQ(readAll(dir.file("target")), "old contents") << position;
            for (const auto& name : dir.names()) {
                if (name[0] != '.') continue;
                ++hiddenSeen;
                EXPECT_EQ(permissionsOf(dir.file(name)) & 0777, 0600u) << name;
            }
            waitForNextReport();
        });
    }

    std::optional<NamedTemporaryFiles> named;
    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot(fastOptions());
    std::shared_ptr<engine::EngineSymCipher> c;
    ScratchDir dir;
    int watched = 0;
    int hiddenSeen = 0;
};

TEST_P(OnePassTest, DamageFoundAtTheEndLeavesNothingAndTheOldTargetIntact) {
    writeAll(dir.file("plain"), pseudoRandom(3 * kPipeChunk + 5));
    c->EncryptFile(dir.file("plain"), dir.file("sealed"));
    const std::string sealed = readAll(dir.file("sealed"));
    struct Case {
        const char* what;
        std::string data;
    };
    auto flipped = [&](size_t at) {
        std::string damaged = sealed;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x04);
        return damaged;
    };
    const Case cases[] = {
        {"last cipher block", flipped(sealed.size() - kTrailer - 1)},
        {"data length", flipped(sealed.size() - kTrailer + 7)},
        {"tag", flipped(sealed.size() - 1)},
        {"cut inside the tag", sealed.substr(0, sealed.size() - 1)},
        {"cut after the last block", sealed.substr(0, sealed.size() - kTrailer)},
        {"a byte more", sealed + "x"},
    };
    writeAll(dir.file("target"), "old contents");
    watchTheTarget();
    for (const auto& damaged : cases) {
        writeAll(dir.file("damaged"), damaged.data);
        EXPECT_EQ(kindOf([&] { c->DecryptFile(dir.file("damaged"), dir.file("target")); }),
                  ErrorKind::WrongKeyOrDamaged)
            << damaged.what;
        EXPECT_EQ(readAll(dir.file("target")), "old contents") << damaged.what;
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"damaged", "plain", "sealed", "target"}))
            << damaged.what;
    }
    EXPECT_GT(watched, 6);
    // Named temporary files are hidden ones beside the target; unnamed ones show nowhere.
    if (GetParam()) {
        EXPECT_EQ(hiddenSeen, 0);
    } else {
        EXPECT_GT(hiddenSeen, 0);
    }
    // The whole container replaces the target only at the end.
    c->DecryptFile(dir.file("sealed"), dir.file("target"));
    EXPECT_EQ(readAll(dir.file("target")), readAll(dir.file("plain")));
}

INSTANTIATE_TEST_SUITE_P(UnnamedOrNamed, OnePassTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

TEST(OnePassText, ATextThatWouldExpandPastTheLimitIsDamagedWhenItsTagFails) {
    auto c =
        engine::CreateEngineRoot(fastOptions())->NewSymCipher(engine::SymAlgorithm::Aes, "one pass", 256);
    c->Compression(1);
    c->Encoding(engine::OutputEncoding::Binary);
    // Only a file can be encrypted that large.
    ScratchDir dir;
    std::ofstream(dir.file("zeros")).close();
    fs::resize_file(dir.file("zeros"), (64u << 20) + 1);
    c->EncryptFile(dir.file("zeros"), dir.file("sealed"));
    const std::string sealed = readAll(dir.file("sealed"));
    EXPECT_EQ(kindOf([&] { c->DecryptText(sealed); }), ErrorKind::TooLarge);
    std::string damaged = sealed;
    damaged.back() = static_cast<char>(damaged.back() ^ 1);
    EXPECT_EQ(kindOf([&] { c->DecryptText(damaged); }), ErrorKind::WrongKeyOrDamaged);
}

}  // namespace
