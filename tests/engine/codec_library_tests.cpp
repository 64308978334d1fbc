// SPDX-License-Identifier: Apache-2.0
// The codecs and digests the engine takes from OpenSSL or writes itself give
// what Botan's gave before: the same text, the same bytes, on random input;
// and the engine's own checking pass still names the first bad character
// wherever it sits in a long run of digits.

#include <botan/base64.h>
#include <botan/hash.h>
#include <botan/hex.h>
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/codec/Codec.h"
#include "engine/digest/Digest.h"

namespace {

using namespace enginetest;
using engine::detail::decode;
using engine::detail::encode;
using engine::detail::Encoding;

std::string withRandomBlanks(std::string text, std::mt19937& random, int count) {
    static const char blanks[] = {' ', '\t', '\r', '\n'};
    for (int i = 0; i < count; ++i) text.insert(text.empty() ? 0 : random() % (text.size() + 1), 1, blanks[random() % 4]);
    return text;
}

std::string botanBytes(const Botan::secure_vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(LibraryCodecs, AllByteValuesKeepTheirKnownEncodings) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    // Python's base64.b64encode(bytes(range(256))).
    const std::string base64 =
        "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9Q"
        "UVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6Ch"
        "oqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy"
        "8/T19vf4+fr7/P3+/w==";
    EXPECT_EQ(encode(Encoding::Base64, bytes), base64);
    EXPECT_EQ(decode(Encoding::Base64, base64), bytes);
    EXPECT_EQ(encode(Encoding::Hex, bytes), hexOf(bytes));
    EXPECT_EQ(decode(Encoding::Hex, hexOf(bytes)), bytes);
}

TEST(LibraryCodecs, HexAgreesWithBotanOnRandomInput) {
    std::mt19937 random(12);
    for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{7}, size_t{8}, size_t{9}, size_t{100}, size_t{4099},
                        size_t{(1 << 20) + 3}}) {
        for (int round = 0; round < 3; ++round) {
            const std::string plain = pseudoRandom(size, static_cast<uint32_t>(size * 3 + round));
            const auto* data = reinterpret_cast<const uint8_t*>(plain.data());
            const std::string lower = Botan::hex_encode(data, plain.size(), false);
            const std::string upper = Botan::hex_encode(data, plain.size(), true);
            ASSERT_EQ(encode(Encoding::Hex, plain), lower) << size;
            EXPECT_EQ(decode(Encoding::Hex, upper), plain) << size;
            const std::string spaced = withRandomBlanks(lower, random, 9);
            EXPECT_EQ(decode(Encoding::Hex, spaced), botanBytes(Botan::hex_decode_locked(spaced))) << size;
        }
    }
}

TEST(LibraryCodecs, Base64AgreesWithBotanOnRandomInput) {
    std::mt19937 random(13);
    for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{11}, size_t{12}, size_t{13},
                        size_t{1000}, size_t{(1 << 20) + 2}}) {
        for (int round = 0; round < 3; ++round) {
            const std::string plain = pseudoRandom(size, static_cast<uint32_t>(size * 5 + round));
            const std::string text =
                Botan::base64_encode(reinterpret_cast<const uint8_t*>(plain.data()), plain.size());
            ASSERT_EQ(encode(Encoding::Base64, plain), text) << size;
            EXPECT_EQ(decode(Encoding::Base64, text), plain) << size;
            const std::string spaced = withRandomBlanks(text, random, 9);
            EXPECT_EQ(decode(Encoding::Base64, spaced), botanBytes(Botan::base64_decode(spaced))) << size;
        }
    }
    // Last groups whose unused bits are not zero decode as they always did.
    for (const char* text : {"Zh==", "Zm9=", "Zm9vYh==", "/w==", "//8=", "Zm9vYmE"})
        EXPECT_EQ(decode(Encoding::Base64, text), botanBytes(Botan::base64_decode(std::string(text)))) << text;
}

// A bad character is found by the run-at-a-time pass at every offset, in a
// piece of its own or split from the digits before it.
TEST(LibraryCodecs, TheFirstBadCharacterOfALongRunIsNamed) {
    const std::string base64Run = encode(Encoding::Base64, pseudoRandom(48, 3));  // 64 digits
    const std::string hexRun = encode(Encoding::Hex, pseudoRandom(32, 4));        // 64 digits
    struct Case {
        Encoding encoding;
        const std::string& run;
        std::string bad;
        std::string shown;
    };
    const Case cases[] = {
        {Encoding::Base64, base64Run, "*", "'*'"},
        {Encoding::Base64, base64Run, "\xC3", "(byte 0xC3)"},
        {Encoding::Base64, base64Run, std::string(1, '\0'), "(byte 0x00)"},
        {Encoding::Base64, base64Run, "-", "'-'"},  // Base64url
        {Encoding::Base64, base64Run, "_", "'_'"},
        {Encoding::Hex, hexRun, "g", "'g'"},
        {Encoding::Hex, hexRun, "\xFF", "(byte 0xFF)"},
        {Encoding::Hex, hexRun, "=", "'='"},
    };
    for (const auto& c : cases) {
        for (size_t at = 0; at < c.run.size(); ++at) {
            std::string text = c.run;
            text[at] = c.bad[0];
            text += text;  // a second bad character must not be the one named
            for (size_t split : {text.size(), at / 2}) {
                engine::detail::StreamDecoder decoder(c.encoding);
                std::string out;
                try {
                    decoder.update(text.data(), split, out);
                    decoder.update(text.data() + split, text.size() - split, out);
                    decoder.finish(out);
                    ADD_FAILURE() << "no error for " << c.shown << " at " << at;
                } catch (const engine::EngineError& e) {
                    EXPECT_EQ(e.kind(), engine::ErrorKind::InvalidInput);
                    const std::string expected = c.shown + " at position " + std::to_string(at + 1) + ".";
                    EXPECT_NE(std::string(e.what()).find(expected), std::string::npos)
                        << e.what() << " (split " << split << ")";
                }
            }
        }
    }
}

TEST(LibraryCodecs, PaddingInsideARunEndsTheText) {
    const std::string run(40, 'A');
    std::string description;
    // 21 digits, then '=': the text ends there, and the digits after it are refused.
    EXPECT_EQ(kindOf([&] { decode(Encoding::Base64, run.substr(0, 21) + "=" + run.substr(22)); }, &description),
              engine::ErrorKind::InvalidInput);
    EXPECT_NE(description.find("'A' after the padding at position 23"), std::string::npos) << description;
    EXPECT_EQ(decode(Encoding::Base64, run.substr(0, 22) + "==\n"), std::string(16, '\0'));
    EXPECT_EQ(kindOf([&] { decode(Encoding::Base64, run.substr(0, 22) + "=\n"); }, &description),
              engine::ErrorKind::InvalidInput);
    EXPECT_NE(description.find("padding at position 23"), std::string::npos) << description;
}

TEST(LibraryDigests, EveryAlgorithmAgreesWithBotanInAnyPieces) {
    using engine::detail::HashAlgorithm;
    std::mt19937 random(14);
    for (HashAlgorithm algorithm : {HashAlgorithm::Md5, HashAlgorithm::Sha1, HashAlgorithm::Tiger}) {
        auto reference = Botan::HashFunction::create_or_throw(engine::detail::hashLibraryName(algorithm));
        for (size_t size : {size_t{0}, size_t{1}, size_t{55}, size_t{56}, size_t{64}, size_t{65}, size_t{100000}}) {
            const std::string data = pseudoRandom(size, static_cast<uint32_t>(size + 1));
            const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
            auto digest = engine::detail::newDigest(algorithm);
            for (size_t at = 0; at < size;) {
                const size_t n = std::min<size_t>(random() % 200, size - at);
                digest->update(bytes + at, n);
                at += n;
            }
            reference->update(bytes, size);
            const auto expected = reference->final();
            const auto value = digest->final();
            EXPECT_TRUE(std::equal(value.begin(), value.end(), expected.begin(), expected.end()))
                << engine::detail::hashDisplayName(algorithm) << " " << size;
        }
    }
}

}  // namespace
