// SPDX-License-Identifier: Apache-2.0
// Hashing: known answers, the three output forms, files against the
// system's own tools, and the failures a user can meet.

#include <gtest/gtest.h>

#include <string>

#include "EngineTestSupport.h"
#include "engine/Engine.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

constexpr auto kMd5 = engine::HashAlgorithm::Md5, kSha1 = engine::HashAlgorithm::Sha1,
               kTiger = engine::HashAlgorithm::Tiger;

struct Vector {
    engine::HashAlgorithm algorithm;
    std::string message;
    const char* hex;
};

std::string repeat(const std::string& s, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += s;
    return out;
}

const std::vector<Vector>& vectors() {
    static const std::vector<Vector> all = {
        // RFC 1321, appendix A.5.
        {kMd5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {kMd5, "a", "0cc175b9c0f1b6a831c399e269772661"},
        {kMd5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {kMd5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {kMd5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {kMd5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {kMd5, repeat("1234567890", 8), "57edf4a22be3c955ac49da2e2107b67a"},
        // FIPS 180-2, appendix A.
        {kSha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {kSha1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {kSha1, std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        // The Tiger authors' test vectors, in the byte order of rhash --tiger.
        {kTiger, "", "3293ac630c13f0245f92bbb1766e16167a4e58492dde73f3"},
        {kTiger, "a", "77befbef2e7ef8ab2ec8f93bf587a7fc613e247f5f247809"},
        {kTiger, "abc", "2aab1484e8c158f2bfb8c5ff41b57a525129131c957b5f93"},
        {kTiger, "message digest", "d981f8cb78201a950dcf3048751e441c517fca1aa55a29f6"},
        {kTiger, "abcdefghijklmnopqrstuvwxyz", "1714a472eee57d30040412bfcc55032a0b11602ff37beee9"},
        {kTiger, "Tiger", "dd00230799f5009fec6debc838bb6a27df2b9d6f110c7937"},
        {kTiger, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "8dcea680a17583ee502ba38a3c368651890ffbccdc49a8cc"},
        {kTiger, std::string(1000000, 'a'), "6db0e2729cbead93d715c6a7d36302e9b3cee0d2bc314b41"},
    };
    return all;
}

class HashTest : public ::testing::Test {
protected:
    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot();
};

TEST_F(HashTest, KnownAnswersInHex) {
    for (const auto& v : vectors()) {
        auto hash = root->NewHash(v.algorithm);
        hash->Encoding(engine::OutputEncoding::Hex);
        EXPECT_EQ(hash->HashText(v.message), v.hex)
            << "algorithm " << v.algorithm << " on '" << v.message.substr(0, 20) << "'";
    }
}

TEST_F(HashTest, BinaryIsTheRawDigestAndBase64ItsEncoding) {
    auto hash = root->NewHash(kSha1);
    hash->Encoding(engine::OutputEncoding::Binary);
    const std::string raw = hash->HashText("abc");
    EXPECT_EQ(raw.size(), 20u);
    EXPECT_EQ(hexOf(raw), "a9993e364706816aba3e25717850c26c9cd0d89d");
    hash->Encoding(engine::OutputEncoding::Base64);
    EXPECT_EQ(hash->HashText("abc"), "qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");

    auto tiger = root->NewHash(kTiger);
    tiger->Encoding(engine::OutputEncoding::Binary);
    EXPECT_EQ(tiger->HashText("").size(), 24u);
    auto md5 = root->NewHash(kMd5);
    md5->Encoding(engine::OutputEncoding::Binary);
    EXPECT_EQ(md5->HashText("").size(), 16u);
}

TEST_F(HashTest, TheEncodingCanChangeBetweenCallsOnOneObject) {
    auto hash = root->NewHash(kMd5);
    hash->Encoding(engine::OutputEncoding::Hex);
    const std::string hex = hash->HashText("abc");
    hash->Encoding(engine::OutputEncoding::Base64);
    EXPECT_EQ(hash->HashText("abc"), "kAFQmDzST7DWlj99KOF/cg==");
    EXPECT_EQ(hex, "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(HashTest, AnEncodingWrittenDuringACallAppliesFromTheNextCall) {
    auto hash = root->NewHash(kMd5);
    hash->Encoding(engine::OutputEncoding::Hex);
    bool changed = false;
    root->SetOnProcess([&](int32_t position, int32_t, bool&) {
        // The first report waits, so that the next chance to report is due at once.
        if (position == 0) waitForNextReport();
        if (position > 0 && position <= 100 && !changed) {
            hash->Encoding(engine::OutputEncoding::Base64);
            changed = true;
        }
    });
    EXPECT_EQ(hash->HashText("abc"), "900150983cd24fb0d6963f7d28e17f72");
    ASSERT_TRUE(changed);
    EXPECT_EQ(hash->HashText("abc"), "kAFQmDzST7DWlj99KOF/cg==");
}

TEST_F(HashTest, FilesMatchTheSystemTools) {
    ScratchDir dir;
    // Sizes around the read chunk (192 KiB) and a larger one.
    const size_t chunk = 3 * 64 * 1024;
    const std::vector<size_t> sizes = {0, 1, chunk - 1, chunk, chunk + 1, 3 * chunk + 17};
    struct Tool {
        engine::HashAlgorithm algorithm;
        const char* command;
    };
    const Tool tools[] = {{kMd5, "md5sum"}, {kSha1, "sha1sum"}, {kTiger, "rhash --tiger"}};
    int compared = 0;
    for (size_t size : sizes) {
        const std::string path = dir.file("data-" + std::to_string(size));
        writeAll(path, pseudoRandom(size, static_cast<uint32_t>(size)));
        for (const auto& tool : tools) {
            const std::string program =
                std::string(tool.command).substr(0, std::string(tool.command).find(' '));
            if (!haveTool(program)) continue;
            const auto output = run(std::string(tool.command) + " '" + path + "'");
            ASSERT_TRUE(output);
            auto hash = root->NewHash(tool.algorithm);
            hash->Encoding(engine::OutputEncoding::Hex);
            EXPECT_EQ(hash->HashFile(path), output->substr(0, output->find(' ')))
                << tool.command << " " << size;
            ++compared;
        }
    }
    if (compared == 0) GTEST_SKIP() << "md5sum, sha1sum and rhash are all missing";
}

TEST_F(HashTest, FileAndTextOfTheSameBytesAgree) {
    ScratchDir dir;
    const std::string data = pseudoRandom(1 << 20, 7);
    writeAll(dir.file("a"), data);
    for (engine::HashAlgorithm algorithm : {kMd5, kSha1, kTiger}) {
        auto hash = root->NewHash(algorithm);
        hash->Encoding(engine::OutputEncoding::Base64);
        EXPECT_EQ(hash->HashFile(dir.file("a")), hash->HashText(data));
    }
}

TEST_F(HashTest, CodesOutOfRangeAreRefused) {
    EXPECT_EQ(kindOf([&] { root->NewHash(static_cast<engine::HashAlgorithm>(3)); }), ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { root->NewHash(static_cast<engine::HashAlgorithm>(-1)); }),
              ErrorKind::InvalidInput);
    auto hash = root->NewHash(kMd5);
    EXPECT_EQ(kindOf([&] { hash->Encoding(static_cast<engine::OutputEncoding>(3)); }),
              ErrorKind::InvalidInput);
}

TEST_F(HashTest, UnreadableSourcesAreReportedWithTheirPath) {
    ScratchDir dir;
    auto hash = root->NewHash(kMd5);
    std::string description;
    EXPECT_EQ(kindOf([&] { hash->HashFile(dir.file("missing.txt")); }, &description), ErrorKind::Io);
    EXPECT_NE(description.find(dir.file("missing.txt")), std::string::npos) << description;
    EXPECT_EQ(kindOf([&] { hash->HashFile(dir.path()); }, &description), ErrorKind::Io);
    EXPECT_NE(description.find("folder"), std::string::npos) << description;
    EXPECT_EQ(kindOf([&] { hash->HashFile(""); }), ErrorKind::Io);
}

TEST_F(HashTest, AnAbortStopsTheCall) {
    ScratchDir dir;
    writeAll(dir.file("a"), pseudoRandom(1 << 20));
    Recorder recorder;
    recorder.attach(*root);
    recorder.abortAt = 0;
    auto hash = root->NewHash(kSha1);
    std::string description;
    EXPECT_EQ(kindOf([&] { hash->HashFile(dir.file("a")); }, &description), ErrorKind::Aborted);
    EXPECT_NE(description.find("aborted"), std::string::npos);
    EXPECT_EQ(recorder.reports.size(), 1u);

    // The next call runs normally.
    recorder.abortAt.reset();
    hash->Encoding(engine::OutputEncoding::Hex);
    EXPECT_EQ(hash->HashText("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

}  // namespace
