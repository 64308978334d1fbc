// Each padding code against an outside reference: the cipher text of a
// container, decrypted by the openssl tool with its padding off, ends in the
// pad bytes the code stands for, and PKCS#7 cipher text is byte for byte what
// openssl writes with its own padding. The keys come from openssl too
// (PBKDF2, then HKDF with both steps, no salt, the label as info), as
// docs/password-container.md describes them.

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>

#include "EngineTestSupport.h"

namespace {

using namespace enginetest;

constexpr int32_t kEcb = 0, kCbc = 1;
constexpr int32_t kZeroPadding = 0, kPkcs7 = 1, kX923 = 2;

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

// The hex digits of an `openssl kdf` answer ("AB:CD:…").
std::string kdf(const std::string& arguments) {
    const auto out = openssl("kdf -keylen 32 -kdfopt digest:SHA256 " + arguments);
    EXPECT_TRUE(out) << arguments;
    std::string hex;
    for (char c : out.value_or("")) {
        if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(c);
    }
    return hex;
}

// The parts of a Binary password container that openssl needs.
struct Parts {
    std::string iv, salt, cipherText;
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
    const size_t cipherAt = blockAt + blockLength + 32;
    parts.cipherText = container.substr(cipherAt, container.size() - 40 - cipherAt);
    return parts;
}

TEST(PaddingReference, EachPaddingCodeGivesItsOwnBytesAsOpensslReadsThem) {
    if (!haveTool("openssl")) GTEST_SKIP() << "openssl is not installed";
    ScratchDir dir;
    const std::string password = "padding reference";
    auto cipher = engine::CreateEngineRoot(fastOptions())->NewSymCipher(0, password, 256);
    for (int32_t mode : {kEcb, kCbc}) {
        for (int32_t code : {kZeroPadding, kPkcs7, kX923}) {
            for (size_t length : {5u, 16u, 31u}) {
                SCOPED_TRACE("mode " + std::to_string(mode) + ", padding " + std::to_string(code) + ", " +
                             std::to_string(length) + " bytes");
                const std::string plain = pseudoRandom(length, static_cast<uint32_t>(length));
                configure(*cipher, mode, code, 0, engine::Binary, "an IV text");
                const Parts parts = partsOf(cipher->EncryptText(plain));

                const std::string secret = kdf("-kdfopt pass:'" + password + "' -kdfopt hexsalt:" + hexOf(parts.salt) +
                                               " -kdfopt iter:" + std::to_string(parts.iterations) + " PBKDF2");
                const std::string key =
                    kdf("-kdfopt hexkey:" + secret + " -kdfopt 'info:Quorval container 1 cipher key' HKDF");
                const std::string algorithm = mode == kCbc ? "-aes-256-cbc -iv " + hexOf(parts.iv) : "-aes-256-ecb";
                writeAll(dir.file("cipher"), parts.cipherText);
                const auto padded = openssl("enc -d -nopad " + algorithm + " -K " + key + " -in " + dir.file("cipher"));
                ASSERT_TRUE(padded);
                EXPECT_EQ(hexOf(*padded), hexOf(plain + padFor(code, length)));

                if (code == kPkcs7) {
                    writeAll(dir.file("plain"), plain);
                    EXPECT_EQ(openssl("enc " + algorithm + " -K " + key + " -in " + dir.file("plain")),
                              parts.cipherText);
                }
            }
        }
    }
}

}  // namespace
