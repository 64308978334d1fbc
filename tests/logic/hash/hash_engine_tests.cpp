// SPDX-License-Identifier: Apache-2.0
// The "Hash" tab end to end over the real engine: published digests, files
// checked against the system's own tools, bad input, abort and a file above
// 4 GiB.

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "engine/EngineTestSupport.h"
#include "support/WindowFixture.h"

using namespace fake;

namespace {

std::string hexToBytes(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string base64Of(const std::string& bytes) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out.push_back(alphabet[(v >> s) & 63]);
    }
    if (bytes.size() - i == 1) {
        unsigned v = uint8_t(bytes[i]) << 16;
        out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], '=', '='};
    } else if (bytes.size() - i == 2) {
        unsigned v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], '='};
    }
    return out;
}

// The first word a command prints, or "" when it cannot run.
std::string firstWordOf(const std::string& command) {
    const std::string out = enginetest::run(command + " 2>/dev/null").value_or("");
    return out.substr(0, out.find_first_of(" \n"));
}

class HashTabEngine : public WindowFixture {
protected:
    void SetUp() override {
        load([] { return engine::CreateEngineRoot(); });
    }

    std::string hashText(int algorithm, int encoding, const std::string& text) {
        form.option("optHash", 0).userClick();
        form.comboBox("cboEncHash").userSelect(algorithm);
        form.option("optType", encoding).userClick();
        form.textBox("txtCont").type(text);
        form.button("cmdHashBin").userClick();
        return form.textBox("txtRes").text();
    }

    std::string hashFile(int algorithm, int encoding, const std::string& path) {
        form.option("optHash", 1).userClick();
        form.comboBox("cboEncHash").userSelect(algorithm);
        form.option("optType", encoding).userClick();
        form.textBox("txtCont").type(path);
        form.button("cmdHashBin").userClick();
        return form.textBox("txtRes").text();
    }

    std::string writeFile(const std::string& name, const std::string& content) {
        enginetest::writeAll(dir.file(name), content);
        return dir.file(name);
    }

    enginetest::ScratchDir dir;
};

struct Vector {
    int algorithm;
    const char* text;
    const char* hex;
};

// MD5: RFC 1321 appendix A.5; SHA-1: FIPS 180 examples; Tiger: its authors'
// published vectors. The UTF-8 line was computed with Python's hashlib and rhash.
const Vector kVectors[] = {
    {0, "", "d41d8cd98f00b204e9800998ecf8427e"},
    {0, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {0, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {0, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
    {0, "h\xc3\xa9llo w\xc3\xb6rld \xe2\x9c\x93", "aa0c8a307a4488bfe0cb56530da19bc3"},
    {1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {1, "h\xc3\xa9llo w\xc3\xb6rld \xe2\x9c\x93", "a5e7f35caea50aa6f3bc37d2f24a540fc0b3cb32"},
    {2, "", "3293ac630c13f0245f92bbb1766e16167a4e58492dde73f3"},
    {2, "abc", "2aab1484e8c158f2bfb8c5ff41b57a525129131c957b5f93"},
    {2, "Tiger", "dd00230799f5009fec6debc838bb6a27df2b9d6f110c7937"},
    {2, "h\xc3\xa9llo w\xc3\xb6rld \xe2\x9c\x93", "f6cc750fde526c8f51b67f03e19a80d69179a79526879bac"},
};

TEST_F(HashTabEngine, TextsGiveThePublishedDigestsInAllThreeEncodings) {
    for (const Vector& v : kVectors) {
        std::string raw = hexToBytes(v.hex);
        EXPECT_EQ(hashText(v.algorithm, 2, v.text), v.hex) << v.algorithm << " " << v.text;
        EXPECT_EQ(hashText(v.algorithm, 0, v.text), raw) << "binary digest, byte for byte";
        EXPECT_EQ(hashText(v.algorithm, 1, v.text), base64Of(raw));
    }
    const std::string million(1000000, 'a');
    EXPECT_EQ(hashText(0, 2, million), "7707d6ae4e027c70eea2a935c2296f21");
    EXPECT_EQ(hashText(1, 2, million), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(hashText(2, 2, million), "6db0e2729cbead93d715c6a7d36302e9b3cee0d2bc314b41");
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(HashTabEngine, FilesMatchMd5sumSha1sumAndRhash) {
    const char* tools[] = {"md5sum", "sha1sum", "rhash --tiger"};
    std::string content;
    for (size_t size : {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(65537), size_t(3 << 20) + 3}) {
        content.resize(size);
        for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 131 + size) & 0xff);
        std::string path = writeFile("f" + std::to_string(size) + ".bin", content);
        for (int algorithm = 0; algorithm < 3; ++algorithm) {
            std::string expected = firstWordOf(std::string(tools[algorithm]) + " '" + path + "'");
            if (expected.empty()) GTEST_SKIP() << tools[algorithm] << " is not installed";
            EXPECT_EQ(hashFile(algorithm, 2, path), expected) << tools[algorithm] << " " << size;
            EXPECT_EQ(hashFile(algorithm, 0, path), hexToBytes(expected));
            EXPECT_EQ(hashFile(algorithm, 1, path), base64Of(hexToBytes(expected)));
        }
    }
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(HashTabEngine, AFileThatCannotBeReadIsReportedOnceByName) {
    std::string missing = dir.file("missing.txt");
    std::vector<std::string> bad = {missing, dir.path(), ""};
    std::string locked = writeFile("locked.txt", "secret");
    if (geteuid() != 0) {  // root reads anything
        chmod(locked.c_str(), 0);
        bad.push_back(locked);
    }
    for (const std::string& path : bad) {
        ui.messageBoxes.clear();
        form.textBox("txtRes").setText("old");
        std::string result = hashFile(0, 2, path);
        EXPECT_EQ(result, "") << path;
        ASSERT_EQ(ui.messageBoxes.size(), 1u) << path;
        EXPECT_EQ(ui.messageBoxes[0].title, "clsHash ->Function HashBinary ");
        EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
        if (!path.empty()) {
            EXPECT_NE(ui.messageBoxes[0].text.find(path), std::string::npos) << ui.messageBoxes[0].text;
        }
        EXPECT_FALSE(form.progressBar("pgBar").isVisible());
    }
}

TEST_F(HashTabEngine, AbortStopsAFileRunWithItsOwnMessage) {
    std::string path = writeFile("abort.bin", std::string(32 << 20, 'x'));
    ui.onDoEvents = [&](int call) {
        if (call == 1) form.button("cmdAbort").userClick();
    };
    EXPECT_EQ(hashFile(1, 2, path), "");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsHash ->Function HashBinary ");
    EXPECT_NE(ui.messageBoxes[0].text.find("abort"), std::string::npos) << ui.messageBoxes[0].text;
    EXPECT_FALSE(modUtils::bAbort);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());

    // The next run is not affected.
    ui.onDoEvents = nullptr;
    EXPECT_EQ(hashFile(1, 2, path).size(), 40u);
}

TEST_F(HashTabEngine, AFileAbove4GiBHashesWithARisingBar) {
    // Sparse: the disk holds almost nothing. Digest computed with md5sum.
    std::string path = dir.file("big.bin");
    const uint64_t size = (uint64_t(4) << 30) + 12345;
    {
        std::ofstream out(path, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(size - 3));
        out << "end";
    }
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    auto& bar = form.progressBar("pgBar");
    // Reports follow the reads, not the machine's load.
    const enginetest::TestPacingClock clock(engine::detail::Progress::kMinInterval / 4);
    int yields = 0;
    ui.onDoEvents = [&](int) { ++yields; };
    EXPECT_EQ(hashFile(0, 2, path), "ce6b87cf77d29f6289d575cd8e534b79");
    // 0 when shown, rising reports, the finished report's 100, then the reset to 0.
    const std::vector<int>& v = bar.values;
    ASSERT_GE(v.size(), 3u);
    EXPECT_EQ(v[v.size() - 2], 100);
    EXPECT_EQ(v.back(), 0);
    for (size_t i = 0; i + 1 < v.size(); ++i) {
        EXPECT_GE(v[i], 0);
        EXPECT_LE(v[i], 100);
        if (i > 0) {
            EXPECT_GE(v[i], v[i - 1]) << "the bar jumped back at report " << i;
        }
    }
    EXPECT_EQ(bar.value(), 0);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_GT(yields, 10) << "the window stayed responsive";
    EXPECT_TRUE(ui.messageBoxes.empty());
    // Only read: the same size and time stamp, and nothing beside it.
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(static_cast<uint64_t>(after.st_size), size);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"big.bin"});
}

}  // namespace
