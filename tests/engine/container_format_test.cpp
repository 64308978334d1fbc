// SPDX-License-Identifier: Apache-2.0
// The container as docs/password-container.md describes it, checked against
// an outside reference: keys derived by the openssl tool (PBKDF2, then HKDF
// with both steps, no salt, the label as info) decrypt the cipher text and
// rebuild both tags; each padding code ends the data in its own pad bytes;
// and each out-of-range header field gets the error the page gives it.

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>

#include "EngineTestSupport.h"
#include "engine/container/Container.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

constexpr int32_t kEcb = 0, kCbc = 1;
constexpr int32_t kZeroPadding = 0, kPkcs7 = 1, kX923 = 2;
const std::string kPassword = "format reference";

// The pad bytes each code stands for, from the standards' definitions.
std::string padFor(int32_t code, size_t length) {
    const size_t n = 16 - length % 16;
    switch (code) {
        case kPkcs7:
            return std::string(n, static_cast<char>(n));
        case kX923:
            return std::string(n - 1, '\0') + static_cast<char>(n);
        default:
            return std::string(n % 16, '\0');
    }
}

std::optional<std::string> openssl(const std::string& arguments) {
    return run("openssl " + arguments + " 2>/dev/null");
}

// The hex digits of an openssl answer ("AB:CD:…" or "ABCD…").
std::string hexAnswer(const std::string& arguments) {
    const auto out = openssl(arguments);
    EXPECT_TRUE(out) << arguments;
    std::string hex;
    for (char c : out.value_or(""))
        if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(static_cast<char>(std::tolower(c)));
    return hex;
}

// The parts of a Binary password container.
struct Parts {
    size_t headerLength = 0;  // up to the header tag
    std::string iv, salt, headerTag, cipherText, dataLength, tag;
    uint32_t iterations = 0;
};

Parts partsOf(const std::string& container) {
    auto byte = [&](size_t at) { return static_cast<uint8_t>(container.at(at)); };
    Parts parts;
    const size_t ivLength = byte(14);
    parts.iv = container.substr(15, ivLength);
    const size_t blockAt = 17 + ivLength;
    const size_t blockLength = byte(15 + ivLength) << 8 | byte(16 + ivLength);
    parts.iterations = static_cast<uint32_t>(byte(blockAt + 1) << 24 | byte(blockAt + 2) << 16 |
                                             byte(blockAt + 3) << 8 | byte(blockAt + 4));
    parts.salt = container.substr(blockAt + 6, byte(blockAt + 5));
    parts.headerLength = blockAt + blockLength;
    parts.headerTag = container.substr(parts.headerLength, 32);
    const size_t cipherAt = parts.headerLength + 32;
    parts.cipherText = container.substr(cipherAt, container.size() - 40 - cipherAt);
    parts.dataLength = container.substr(container.size() - 40, 8);
    parts.tag = container.substr(container.size() - 32);
    return parts;
}

// The data keys as the page derives them, by openssl.
struct Keys {
    std::string cipher, mac;  // hex
};

Keys keysOf(const Parts& parts, size_t cipherKeyLength) {
    const std::string secret =
        hexAnswer("kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt pass:'" + kPassword + "' -kdfopt hexsalt:" +
                  hexOf(parts.salt) + " -kdfopt iter:" + std::to_string(parts.iterations) + " PBKDF2");
    auto expand = [&](size_t length, const std::string& label) {
        return hexAnswer("kdf -keylen " + std::to_string(length) + " -kdfopt digest:SHA256 -kdfopt hexkey:" + secret +
                         " -kdfopt 'info:" + label + "' HKDF");
    };
    return {expand(cipherKeyLength, "Quorval container 1 cipher key"), expand(32, "Quorval container 1 MAC key")};
}

class ContainerFormat : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveTool("openssl")) GTEST_SKIP() << "openssl is not installed";
    }
    // The raw bytes openssl `command` gives for `input`; its arguments follow the input file.
    std::string opensslOver(const std::string& input, const std::string& command, const std::string& arguments) {
        writeAll(dir.file("input"), input);
        const auto out = openssl(command + " -in " + dir.file("input") + " " + arguments);
        EXPECT_TRUE(out) << command << " " << arguments;
        return out.value_or("");
    }
    std::string hmac(const Keys& keys, const std::string& bytes) {
        return opensslOver(bytes, "mac", "-binary -digest SHA256 -macopt hexkey:" + keys.mac + " HMAC");
    }

    std::shared_ptr<engine::EngineSymCipher> cipher =
        engine::CreateEngineRoot(fastOptions())->NewSymCipher(engine::SymAlgorithm::Aes, kPassword, 256);
    ScratchDir dir;
};

TEST_F(ContainerFormat, EachPaddingCodeGivesItsOwnBytesAsOpensslReadsThem) {
    for (int32_t mode : {kEcb, kCbc}) {
        for (int32_t code : {kZeroPadding, kPkcs7, kX923}) {
            for (size_t length : {5u, 16u, 31u}) {
                SCOPED_TRACE("mode " + std::to_string(mode) + ", padding " + std::to_string(code) + ", " +
                             std::to_string(length) + " bytes");
                const std::string plain = pseudoRandom(length, static_cast<uint32_t>(length));
                configure(*cipher, mode, code, 0, engine::OutputEncoding::Binary, "an IV text");
                const Parts parts = partsOf(cipher->EncryptText(plain));
                const Keys keys = keysOf(parts, 32);
                const std::string algorithm =
                    mode == kCbc ? "-aes-256-cbc -iv " + hexOf(parts.iv) : "-aes-256-ecb";
                const std::string padded =
                    opensslOver(parts.cipherText, "enc", "-d -nopad " + algorithm + " -K " + keys.cipher);
                EXPECT_EQ(hexOf(padded), hexOf(plain + padFor(code, length)));
                if (code == kPkcs7) {
                    EXPECT_EQ(hexOf(opensslOver(plain, "enc", algorithm + " -K " + keys.cipher)),
                              hexOf(parts.cipherText));
                }
            }
        }
    }
}

TEST_F(ContainerFormat, TheTagsAndTheDataLengthAreAsThePageSaysAndTheLevelIsNotChecked) {
    const std::string plain = std::string(3000, 'a') + "compressible";
    configure(*cipher, kCbc, kPkcs7, 1, engine::OutputEncoding::Binary);
    std::string sealed = cipher->EncryptText(plain);
    const Parts parts = partsOf(sealed);
    const Keys keys = keysOf(parts, 32);
    EXPECT_EQ(hexOf(hmac(keys, sealed.substr(0, parts.headerLength))), hexOf(parts.headerTag));
    EXPECT_EQ(hexOf(hmac(keys, sealed.substr(0, sealed.size() - 32))), hexOf(parts.tag));

    // The data length counts the zlib stream, which the padding follows.
    const std::string padded =
        opensslOver(parts.cipherText, "enc", "-d -nopad -aes-256-cbc -iv " + hexOf(parts.iv) + " -K " + keys.cipher);
    uint64_t dataLength = 0;
    for (char c : parts.dataLength) dataLength = dataLength << 8 | static_cast<uint8_t>(c);
    ASSERT_LT(dataLength, padded.size());
    const std::string stream = padded.substr(0, dataLength);
    EXPECT_EQ(padded.substr(dataLength), padFor(kPkcs7, dataLength));
    const engine::detail::Bytes unpacked = engine::detail::zlibDecompress(bytesOf(stream), {});
    EXPECT_EQ(std::string(unpacked.begin(), unpacked.end()), plain);

    // Another level in range, the tags made again: zlib needs no level to decompress.
    sealed[13] = 9;
    sealed.replace(parts.headerLength, 32, hmac(keys, sealed.substr(0, parts.headerLength)));
    sealed.replace(sealed.size() - 32, 32, hmac(keys, sealed.substr(0, sealed.size() - 32)));
    EXPECT_EQ(cipher->DecryptText(sealed), plain);
}

// Only the key's owner can make these: both tags valid over a cipher text whose
// padding is not what its code says. Opening must still refuse them.
TEST_F(ContainerFormat, ValidTagsOverPaddingThatBreaksItsCodeAreRefusedAndWriteNothing) {
    for (int16_t level : {0, 1}) {
        for (int32_t code : {kZeroPadding, kPkcs7, kX923}) {
            SCOPED_TRACE("padding " + std::to_string(code) + ", compression " + std::to_string(level));
            configure(*cipher, kCbc, code, level, engine::OutputEncoding::Binary);
            const std::string sealed = cipher->EncryptText("abc");
            const Parts parts = partsOf(sealed);
            const Keys keys = keysOf(parts, 32);
            const engine::detail::Bytes stream = engine::detail::zlibCompress(bytesOf("abc"), 1);
            const std::string data = level == 0 ? "abc" : std::string(stream.begin(), stream.end());
            auto forge = [&](const std::string& pad) {
                std::string forged =
                    sealed.substr(0, parts.headerLength + 32) +
                    opensslOver(data + pad, "enc",
                                "-nopad -aes-256-cbc -iv " + hexOf(parts.iv) + " -K " + keys.cipher);
                for (int shift = 56; shift >= 0; shift -= 8)
                    forged.push_back(static_cast<char>(data.size() >> shift));
                return forged + hmac(keys, forged);
            };
            ASSERT_EQ(cipher->DecryptText(forge(padFor(code, data.size()))), "abc")
                << "forged as the owner would";
            std::string badPad = padFor(code, data.size());
            ASSERT_FALSE(badPad.empty());
            badPad[0] ^= 0x01;
            const std::string forged = forge(badPad);
            EXPECT_EQ(kindOf([&] { cipher->DecryptText(forged); }), ErrorKind::WrongKeyOrDamaged);
            writeAll(dir.file("forged"), forged);
            writeAll(dir.file("target"), "kept");
            EXPECT_EQ(kindOf([&] { cipher->DecryptFile(dir.file("forged"), dir.file("target")); }),
                      ErrorKind::WrongKeyOrDamaged);
            EXPECT_EQ(readAll(dir.file("target")), "kept");
            EXPECT_EQ(dir.names(), (std::vector<std::string>{"forged", "input", "target"}));
        }
    }
}

// Fields are checked as the header is read, before any key is derived.
TEST_F(ContainerFormat, EachOutOfRangeHeaderFieldGetsItsDocumentedError) {
    configure(*cipher, kCbc, kPkcs7, 0, engine::OutputEncoding::Binary);
    const std::string stored = cipher->EncryptText("x");
    cipher->Compression(6);
    const std::string compressed = cipher->EncryptText("x");
    configure(*cipher, kEcb, kPkcs7, 0, engine::OutputEncoding::Binary);
    const std::string ecb = cipher->EncryptText("x");
    constexpr size_t kBlockLengthAt = 31, kBlockAt = 33;  // in a CBC container

    const struct {
        const char* what;
        const std::string& container;
        size_t at;
        uint8_t value;
        ErrorKind kind;
    } cases[] = {
        {"magic", stored, 3, 0x00, ErrorKind::NotOurData},
        {"format version 2", stored, 6, 2, ErrorKind::NotOurData},
        {"key source 3", stored, 7, 3, ErrorKind::WrongKeyOrDamaged},
        {"key source RSA", stored, 7, 2, ErrorKind::WrongSettings},
        {"algorithm 2", stored, 8, 2, ErrorKind::WrongKeyOrDamaged},
        {"key length 20", stored, 9, 20, ErrorKind::WrongKeyOrDamaged},
        {"mode 2", stored, 10, 2, ErrorKind::WrongKeyOrDamaged},
        {"padding 3", stored, 11, 3, ErrorKind::WrongKeyOrDamaged},
        {"compression method 2", stored, 12, 2, ErrorKind::WrongKeyOrDamaged},
        {"a level without compression", stored, 13, 6, ErrorKind::WrongKeyOrDamaged},
        {"compression at level 0", compressed, 13, 0, ErrorKind::WrongKeyOrDamaged},
        {"level 10", compressed, 13, 10, ErrorKind::WrongKeyOrDamaged},
        {"level -2", compressed, 13, 0xFE, ErrorKind::WrongKeyOrDamaged},
        {"an IV in ECB", ecb, 14, 16, ErrorKind::WrongKeyOrDamaged},
        {"no IV in CBC", stored, 14, 0, ErrorKind::WrongKeyOrDamaged},
        {"key block of 4097 bytes", stored, kBlockLengthAt, 0x10, ErrorKind::WrongKeyOrDamaged},
        {"KDF 3", stored, kBlockAt, 3, ErrorKind::NotOurData},
        {"salt of 15 bytes", stored, kBlockAt + 5, 15, ErrorKind::WrongKeyOrDamaged},
        {"salt of 65 bytes", stored, kBlockAt + 5, 65, ErrorKind::WrongKeyOrDamaged},
    };
    for (const auto& c : cases) {
        std::string damaged = c.container;
        damaged[c.at] = static_cast<char>(c.value);
        if (c.at == kBlockLengthAt) damaged[kBlockLengthAt + 1] = 1;
        EXPECT_EQ(kindOf([&] { cipher->DecryptText(damaged); }), c.kind) << c.what;
    }
}

}  // namespace
