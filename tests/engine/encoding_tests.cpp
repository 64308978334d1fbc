// SPDX-License-Identifier: Apache-2.0
// Binary, Base64 and Hex: the RFC 4648 vectors, lenient reading of blanks,
// precise reports of bad input, streaming in any pieces, and files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>

#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/codec/Codec.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;
using engine::detail::Encoding;

class EncoderTest : public ::testing::Test {
protected:
    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot();
};

TEST_F(EncoderTest, Rfc4648VectorsInBothDirections) {
    // RFC 4648, section 10 (Base16 written in lower case).
    const std::pair<const char*, const char*> base64[] = {{"", ""},
                                                          {"f", "Zg=="},
                                                          {"fo", "Zm8="},
                                                          {"foo", "Zm9v"},
                                                          {"foob", "Zm9vYg=="},
                                                          {"fooba", "Zm9vYmE="},
                                                          {"foobar", "Zm9vYmFy"}};
    const std::pair<const char*, const char*> hex[] = {{"", ""},
                                                       {"f", "66"},
                                                       {"fo", "666f"},
                                                       {"foo", "666f6f"},
                                                       {"foob", "666f6f62"},
                                                       {"fooba", "666f6f6261"},
                                                       {"foobar", "666f6f626172"}};
    auto b64 = root->NewEncoder(engine::OutputEncoding::Base64);
    for (const auto& [plain, encoded] : base64) {
        EXPECT_EQ(b64->EncodeText(plain), encoded);
        EXPECT_EQ(b64->DecodeText(encoded), plain);
    }
    auto b16 = root->NewEncoder(engine::OutputEncoding::Hex);
    for (const auto& [plain, encoded] : hex) {
        EXPECT_EQ(b16->EncodeText(plain), encoded);
        EXPECT_EQ(b16->DecodeText(encoded), plain);
    }
}

TEST_F(EncoderTest, BinaryLeavesEveryByteAlone) {
    auto binary = root->NewEncoder(engine::OutputEncoding::Binary);
    const std::string bytes = pseudoRandom(1000) + std::string("\0\r\n ", 4);
    EXPECT_EQ(binary->EncodeText(bytes), bytes);
    EXPECT_EQ(binary->DecodeText(bytes), bytes);
}

TEST_F(EncoderTest, DecodingSkipsLineBreaksAndBlanksAndTakesEitherHexCase) {
    auto b64 = root->NewEncoder(engine::OutputEncoding::Base64);
    EXPECT_EQ(b64->DecodeText(" Zm9v\r\nYmFy\n"), "foobar");
    EXPECT_EQ(b64->DecodeText("Zm9vYg\n=\t="), "foob");
    auto b16 = root->NewEncoder(engine::OutputEncoding::Hex);
    EXPECT_EQ(b16->DecodeText("66 6F\n6f62\tA1"), "foob\xa1");
    EXPECT_EQ(b16->DecodeText("6\n6"), "f");
}

TEST_F(EncoderTest, InvalidInputIsReportedWithWhatAndWhere) {
    struct Case {
        engine::OutputEncoding encoding;
        std::string text;
        std::string expected;  // part of the description
    };
    const Case cases[] = {
        {engine::OutputEncoding::Base64, "Zm9v*mFy", "'*' at position 5"},
        {engine::OutputEncoding::Base64, "Zm9vYmFy\nZm9v-A==", "'-' at position 14"},
        {engine::OutputEncoding::Base64, "Zm9vY", "position 5"},  // a lone last digit
        {engine::OutputEncoding::Base64, "Zg==Zg==", "'Z' after the padding at position 5"},
        {engine::OutputEncoding::Base64, "Zg===", "padding"},
        {engine::OutputEncoding::Base64, "Zm8==", "padding"},
        {engine::OutputEncoding::Base64, "Zm9v\x01", "(byte 0x01) at position 5"},
        {engine::OutputEncoding::Hex, "66g6", "'g' at position 3"},
        {engine::OutputEncoding::Hex, "666", "position 3"},
        {engine::OutputEncoding::Hex, "66 6", "position 4"},
    };
    for (const auto& c : cases) {
        std::string description;
        EXPECT_EQ(kindOf([&] { root->NewEncoder(c.encoding)->DecodeText(c.text); }, &description),
                  ErrorKind::InvalidInput)
            << c.text;
        EXPECT_NE(description.find(c.expected), std::string::npos) << c.text << ": " << description;
    }
}

TEST_F(EncoderTest, OnlyTheThreeEncodingsExist) {
    EXPECT_EQ(kindOf([&] { root->NewEncoder(static_cast<engine::OutputEncoding>(3)); }),
              ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { root->NewEncoder(static_cast<engine::OutputEncoding>(-1)); }),
              ErrorKind::InvalidInput);
}

// Streaming gives the same answer, and the same error positions, whatever the pieces.
TEST(StreamingCodec, AnySplitGivesTheWholeResult) {
    std::mt19937 random(5);
    for (Encoding encoding : {Encoding::Base64, Encoding::Hex}) {
        for (size_t size : {0u, 1u, 2u, 3u, 4u, 5u, 100u, 1001u}) {
            const std::string plain = pseudoRandom(size, static_cast<uint32_t>(size));
            std::string encoded = engine::detail::encode(encoding, plain);
            // Blanks in random places.
            for (int i = 0; i < 5 && !encoded.empty(); ++i)
                encoded.insert(random() % encoded.size(), i % 2 ? "\n" : " ");
            for (int round = 0; round < 20; ++round) {
                engine::detail::StreamEncoder encoder(encoding);
                engine::detail::StreamDecoder decoder(encoding);
                std::string reEncoded, decoded;
                for (size_t at = 0; at < plain.size();) {
                    const size_t n = std::min<size_t>(random() % 7, plain.size() - at);
                    encoder.update(reinterpret_cast<const uint8_t*>(plain.data()) + at, n, reEncoded);
                    at += n;
                }
                encoder.finish(reEncoded);
                for (size_t at = 0; at < encoded.size();) {
                    const size_t n = std::min<size_t>(random() % 7, encoded.size() - at);
                    decoder.update(encoded.data() + at, n, decoded);
                    at += n;
                }
                decoder.finish(decoded);
                ASSERT_EQ(reEncoded, engine::detail::encode(encoding, plain));
                ASSERT_EQ(decoded, plain) << engine::detail::encodingName(encoding) << " " << size;
            }
        }
    }
}

TEST(StreamingCodec, ErrorPositionsCountAcrossPieces) {
    const std::string text = "Zm9vYmFy\nZm9vYmFy\nZm9v!mFy";
    for (size_t split = 0; split <= text.size(); ++split) {
        engine::detail::StreamDecoder decoder(Encoding::Base64);
        std::string out;
        try {
            decoder.update(text.data(), split, out);
            decoder.update(text.data() + split, text.size() - split, out);
            decoder.finish(out);
            ADD_FAILURE() << "no error at split " << split;
        } catch (const engine::EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("position 23"), std::string::npos)
                << split << ": " << e.what();
        }
    }
}

// Blanks after an unfinished group were once held back with it and scanned
// again with every piece: time grew with their square, memory with their number.
TEST(StreamingCodec, BlanksAfterAnUnfinishedGroupAreNotHeldBack) {
    std::string blanks(4096, ' ');
    for (size_t i = 0; i < blanks.size(); i += 61) blanks[i] = i % 2 ? '\n' : '\t';
    for (Encoding encoding : {Encoding::Base64, Encoding::Hex}) {
        engine::detail::StreamDecoder decoder(encoding);
        std::string out;
        decoder.update("a", 1, out);
        for (int piece = 0; piece < 256; ++piece) {
            decoder.update(blanks.data(), blanks.size(), out);
            ASSERT_EQ(decoder.heldBack(), 1u) << engine::detail::encodingName(encoding) << " piece " << piece;
        }
        const std::string rest = encoding == Encoding::Base64 ? "bcd" : "b";
        decoder.update(rest.data(), rest.size(), out);
        decoder.finish(out);
        EXPECT_EQ(out, engine::detail::decode(encoding, "a" + rest));
    }
}

TEST_F(EncoderTest, PositionsCountTheBlanksThatAreNotHeldBack) {
    const std::string blanks(100000, ' ');
    std::string description;
    auto b64 = root->NewEncoder(engine::OutputEncoding::Base64);
    EXPECT_EQ(kindOf([&] { b64->DecodeText("Zm9vY" + blanks + "!"); }, &description), ErrorKind::InvalidInput);
    EXPECT_NE(description.find("'!' at position 100006"), std::string::npos) << description;
    EXPECT_EQ(kindOf([&] { b64->DecodeText("Zm9vY" + blanks); }, &description), ErrorKind::InvalidInput);
    EXPECT_NE(description.find("incomplete group at position 5"), std::string::npos) << description;
    EXPECT_EQ(b64->DecodeText("Zm9vY" + blanks + "g\n=" + blanks + "="), "foob");
    auto hex = root->NewEncoder(engine::OutputEncoding::Hex);
    EXPECT_EQ(kindOf([&] { hex->DecodeText("666" + blanks); }, &description), ErrorKind::InvalidInput);
    EXPECT_NE(description.find("no partner at position 3"), std::string::npos) << description;
    EXPECT_EQ(hex->DecodeText("666" + blanks + "F"), "fo");
}

TEST(FormDetection, ALengthTellsTheFormOfAValueOfKnownSize) {
    const std::string value = pseudoRandom(64);
    EXPECT_EQ(engine::detail::detectByLength(value, 64), Encoding::Binary);
    const std::string hex = engine::detail::encode(Encoding::Hex, value);
    const std::string base64 = engine::detail::encode(Encoding::Base64, value);
    EXPECT_EQ(engine::detail::detectByLength(hex, 64), Encoding::Hex);
    EXPECT_EQ(engine::detail::detectByLength(base64 + "\n", 64), Encoding::Base64);
    EXPECT_EQ(engine::detail::detectByLength("abc", 64), std::nullopt);
    EXPECT_EQ(engine::detail::decodeByLength(hex, 64), value);
    std::string upper = hex;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    EXPECT_EQ(engine::detail::decodeByLength(upper, 64), value);
    EXPECT_EQ(engine::detail::decodeByLength(std::string(128, 'x'), 64), std::nullopt);
}

TEST(FormDetection, APrefixTellsTheFormOfAContainer) {
    const std::string magic("\x8FQRVC\x1A", 6);
    const std::string data = magic + "rest";
    auto detect = [&](const std::string& text) {
        return engine::detail::detectByPrefix(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                                              magic);
    };
    EXPECT_EQ(detect(data), Encoding::Binary);
    EXPECT_EQ(detect(" \n" + engine::detail::encode(Encoding::Base64, data)), Encoding::Base64);
    EXPECT_EQ(detect("8F515256431A00"), Encoding::Hex);
    EXPECT_EQ(detect("hello world"), std::nullopt);
    EXPECT_EQ(detect(""), std::nullopt);
}

// --- Files ---------------------------------------------------------------------------

TEST_F(EncoderTest, FilesRoundTripAcrossChunkBoundaries) {
    ScratchDir dir;
    const size_t chunk = 3 * 64 * 1024;
    for (engine::OutputEncoding code :
         {engine::OutputEncoding::Binary, engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
        auto encoder = root->NewEncoder(code);
        // The last size is large enough for the two-thread path.
        for (size_t size : {size_t{0}, size_t{1}, chunk - 1, chunk, chunk + 1, 2 * chunk + 2, 7 * chunk + 1}) {
            const std::string plain = pseudoRandom(size, static_cast<uint32_t>(size));
            writeAll(dir.file("plain"), plain);
            encoder->EncodeFile(dir.file("plain"), dir.file("encoded"));
            const std::string encoded = readAll(dir.file("encoded"));
            EXPECT_EQ(encoded, encoder->EncodeText(plain));
            encoder->DecodeFile(dir.file("encoded"), dir.file("decoded"));
            EXPECT_EQ(readAll(dir.file("decoded")), plain) << code << " " << size;
        }
    }
}

TEST_F(EncoderTest, FilesMatchCoreutilsAndReadItsWrappedLines) {
    if (!haveTool("base64") || !haveTool("basenc")) GTEST_SKIP() << "coreutils base64/basenc missing";
    ScratchDir dir;
    const std::string plain = pseudoRandom(1500001, 9);
    writeAll(dir.file("plain"), plain);
    auto b64 = root->NewEncoder(engine::OutputEncoding::Base64);
    b64->EncodeFile(dir.file("plain"), dir.file("ours.b64"));
    EXPECT_EQ(readAll(dir.file("ours.b64")), *run("base64 -w0 '" + dir.file("plain") + "'"));
    // coreutils wraps at 76 columns; the lines must not matter.
    ASSERT_EQ(std::system(("base64 '" + dir.file("plain") + "' > '" + dir.file("theirs.b64") + "'").c_str()),
              0);
    b64->DecodeFile(dir.file("theirs.b64"), dir.file("back"));
    EXPECT_EQ(readAll(dir.file("back")), plain);

    auto hex = root->NewEncoder(engine::OutputEncoding::Hex);
    std::string upper = *run("basenc --base16 -w0 '" + dir.file("plain") + "'");
    std::string lower = upper;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    hex->EncodeFile(dir.file("plain"), dir.file("ours.hex"));
    EXPECT_EQ(readAll(dir.file("ours.hex")), lower);
    writeAll(dir.file("theirs.hex"), upper);
    hex->DecodeFile(dir.file("theirs.hex"), dir.file("back2"));
    EXPECT_EQ(readAll(dir.file("back2")), plain);
}

TEST_F(EncoderTest, ABadFileNamesItselfAndWritesNothing) {
    ScratchDir dir;
    // Past the size where a second thread writes while the first decodes.
    writeAll(dir.file("bad.b64"), std::string(1200000, 'A') + "%AAA");
    writeAll(dir.file("target"), "keep me");
    std::string description;
    EXPECT_EQ(kindOf(
                  [&] {
                      root->NewEncoder(engine::OutputEncoding::Base64)
                          ->DecodeFile(dir.file("bad.b64"), dir.file("target"));
                  },
                  &description),
              ErrorKind::InvalidInput);
    EXPECT_NE(description.find(dir.file("bad.b64")), std::string::npos) << description;
    EXPECT_NE(description.find("position 1200001"), std::string::npos) << description;
    EXPECT_EQ(readAll(dir.file("target")), "keep me");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"bad.b64", "target"}));
}

}  // namespace
