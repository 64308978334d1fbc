// SPDX-License-Identifier: Apache-2.0
// Digests and encodings both ways: the "Hash" and "Encode/Decode" tabs, texts
// and files, against quorval-cli on the same bytes, and digests against
// md5sum, sha1sum and rhash.

#include "tests/parity/ParitySupport.h"

using namespace fake;
using namespace parity;
using enginetest::readAll;
using enginetest::writeAll;

namespace {

const char* const kHashes[] = {"md5", "sha1", "tiger"};
const char* const kPeers[] = {"md5sum", "sha1sum", "rhash --tiger"};
const char* const kEncodings[] = {"binary", "base64", "hex"};

std::vector<std::string> samples() {
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
    return {"", "a", "h\xc3\xa9llo w\xc3\xb6rld\n", bytes, enginetest::pseudoRandom((3 << 20) + 1, 9)};
}

// The digest of each "DIGEST  NAME" line.
std::vector<std::string> digests(const std::string& listing) {
    std::vector<std::string> out;
    for (size_t at = 0; at < listing.size();) {
        const size_t end = listing.find('\n', at);
        const std::string line = listing.substr(at, end - at);
        out.push_back(line.substr(0, line.find(' ')));
        at = end == std::string::npos ? listing.size() : end + 1;
    }
    return out;
}

class HashEncParity : public WindowFixture {
protected:
    void SetUp() override { load([] { return engine::CreateEngineRoot(); }); }

    std::string hash(int algorithm, int encoding, int source, const std::string& input) {
        form.option("optHash", source).userClick();
        form.comboBox("cboEncHash").userSelect(algorithm);
        form.option("optType", encoding).userClick();
        form.textBox("txtCont").setText(input);
        form.button("cmdHashBin").userClick();
        return form.textBox("txtRes").text();
    }
    // Encodes or decodes what the box reading it holds; the other box's text after.
    std::string code(bool encode, int encoding, int source, const std::string& input) {
        form.option("optTypeED", encoding).userClick();
        form.option("optED", source).userClick();
        form.textBox(encode ? "txtContED" : "txtResED").setText(input);
        form.button(encode ? "cmdEncED" : "cmdDecED").userClick();
        return form.textBox(encode ? "txtResED" : "txtContED").text();
    }
    CliRun cli(std::vector<std::string> words, const std::string& input = "") {
        words.insert(words.begin(), QUORVAL_CLI);
        return runIn(dir.path(), words, input);
    }

    enginetest::ScratchDir dir;
};

TEST_F(HashEncParity, DigestsAgreeWithTheCliAndTheSystemTools) {
    const std::vector<std::string> texts = samples();
    std::vector<std::string> files;
    for (size_t i = 0; i < texts.size(); ++i) {
        files.push_back(dir.file(i == 2 ? "two words.txt" : "h" + std::to_string(i)));
        writeAll(files.back(), texts[i]);
    }
    for (int a = 0; a < 3; ++a) {
        SCOPED_TRACE(kHashes[a]);
        // Several files in one call, as md5sum lists them.
        std::vector<std::string> words = {"hash", "-a", kHashes[a]};
        words.insert(words.end(), files.begin(), files.end());
        const CliRun hex = cli(words);
        ASSERT_EQ(hex.status, 0) << describe(hex);
        std::string line = kPeers[a];
        for (const std::string& f : files) line += " " + quoted(f);
        const std::string peer = enginetest::run(line).value_or("(" + line + " failed)");
        EXPECT_EQ(hex.out, peer);
        words.insert(words.begin() + 3, {"-e", "base64"});
        const CliRun base64 = cli(words);
        ASSERT_EQ(base64.status, 0) << describe(base64);
        const std::vector<std::string> hexes = digests(hex.out), base64s = digests(base64.out);
        ASSERT_EQ(hexes.size(), files.size());
        ASSERT_EQ(base64s.size(), files.size());

        for (size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(files[i]);
            EXPECT_EQ(enginetest::hexOf(hash(a, 0, 1, files[i])), hexes[i]);
            EXPECT_EQ(hash(a, 1, 1, files[i]), base64s[i]);
            EXPECT_EQ(hash(a, 2, 1, files[i]), hexes[i]);
            // A text in the box, and the same bytes on the CLI's standard input.
            const CliRun in = cli({"hash", "-a", kHashes[a], "-e", "base64", "-"}, texts[i]);
            EXPECT_EQ(in.out, base64s[i] + "  -\n") << describe(in);
            EXPECT_EQ(hash(a, 2, 0, texts[i]), hexes[i]);
        }
    }
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(HashEncParity, EncodingsAreTheSameBytesBothWaysFromBoxesFilesAndStreams) {
    selectTab(4);
    size_t n = 0;
    for (const std::string& bytes : samples()) {
        for (int e : {1, 2}) {
            SCOPED_TRACE(std::string(kEncodings[e]) + ", " + std::to_string(bytes.size()) + " bytes");
            const std::string source = dir.file("e" + std::to_string(n++) + ".bin");
            writeAll(source, bytes);
            const std::string text = code(true, e, 0, bytes);
            const std::string windowFile = code(true, e, 1, source);
            ASSERT_EQ(windowFile, modUtils::AddFileSuffix(source, "Enc"));
            EXPECT_TRUE(readAll(windowFile) == text) << "the box and the file";

            const CliRun stream = cli({"encode", "-e", kEncodings[e]}, bytes);
            ASSERT_EQ(stream.status, 0) << describe(stream);
            EXPECT_TRUE(stream.out == text) << "standard input to standard output";
            const CliRun file = cli({"encode", "-e", kEncodings[e], "-o", source + ".cli", source});
            ASSERT_EQ(file.status, 0) << describe(file);
            EXPECT_TRUE(readAll(source + ".cli") == text) << "file to file";

            // Each decodes what the other wrote.
            const CliRun back = cli({"decode", "-e", kEncodings[e], "-o", source + ".back", windowFile});
            ASSERT_EQ(back.status, 0) << describe(back);
            EXPECT_TRUE(readAll(source + ".back") == bytes);
            EXPECT_TRUE(cli({"decode", "-e", kEncodings[e]}, text).out == bytes);
            EXPECT_TRUE(readAll(code(false, e, 1, source + ".cli")) == bytes);
            EXPECT_TRUE(code(false, e, 0, stream.out) == bytes);
        }
    }
    EXPECT_TRUE(ui.messageBoxes.empty());
}

}  // namespace
