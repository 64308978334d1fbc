// SPDX-License-Identifier: Apache-2.0
// Password encryption: the block ciphers' known answers, round trips over
// every setting, the container's forms, its compression layer, and every way
// decryption must fail.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"
#include "StoredZlib.h"
#include "engine/Engine.h"
#include "engine/container/Compression.h"
#include "engine/container/Container.h"
#include "engine/io/Streams.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;
using engine::detail::BlockMode;
using engine::detail::Bytes;
using engine::detail::CipherAlgorithm;
using engine::detail::DataCipher;
using engine::detail::PaddingScheme;

constexpr auto kAes = engine::SymAlgorithm::Aes, kTwofish = engine::SymAlgorithm::Twofish;
constexpr auto kEcb = engine::ModeOfOperation::Ecb, kCbc = engine::ModeOfOperation::Cbc;
constexpr auto kZeroPadding = engine::BlockPadding::Zeros, kPkcs7 = engine::BlockPadding::Pkcs7,
               kX923 = engine::BlockPadding::X923;

// Offsets in a Binary CBC container made with a password.
constexpr size_t kAlgorithmAt = 8, kModeAt = 10, kIvLengthAt = 14, kIvAt = 15;
constexpr size_t kIterationsAt = 15 + 16 + 2 + 1;

std::string hexOfBytes(const Bytes& bytes) { return hexOf(std::string(bytes.begin(), bytes.end())); }

// --- The block layer ----------------------------------------------------------

struct BlockVector {
    CipherAlgorithm algorithm;
    uint32_t keyBits;
    const char* key;
    const char* plain;
    const char* cipher;
};

TEST(BlockCipherKnownAnswers, EcbBlocksMatchThePublishedVectors) {
    const BlockVector vectors[] = {
        // FIPS-197, appendix C.1 to C.3.
        {CipherAlgorithm::Aes, 128, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
         "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {CipherAlgorithm::Aes, 192, "000102030405060708090a0b0c0d0e0f1011121314151617",
         "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {CipherAlgorithm::Aes, 256, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
        // The Twofish paper's known-answer tests (ecb_tbl.txt, I=1 of each key size).
        {CipherAlgorithm::Twofish, 128, "00000000000000000000000000000000",
         "00000000000000000000000000000000", "9f589f5cf6122c32b6bfec2f2ae8c35a"},
        {CipherAlgorithm::Twofish, 192, "0123456789abcdeffedcba98765432100011223344556677",
         "00000000000000000000000000000000", "cfd1d2e5a9be9cdf501f13b892bd2248"},
        {CipherAlgorithm::Twofish, 256, "0123456789abcdeffedcba987654321000112233445566778899aabbccddeeff",
         "00000000000000000000000000000000", "37527be0052334b89f0cfccae87cfa20"},
    };
    for (const auto& v : vectors) {
        const DataCipher cipher{v.algorithm, v.keyBits, BlockMode::Ecb, PaddingScheme::Zero};
        // Two equal blocks: ECB must give two equal cipher blocks.
        const Bytes plain = unhex(std::string(v.plain) + v.plain);
        const Bytes encrypted = engine::detail::cryptBlocks(cipher, unhex(v.key), {}, true, plain);
        EXPECT_EQ(hexOfBytes(encrypted), std::string(v.cipher) + v.cipher) << v.key;
        EXPECT_EQ(engine::detail::cryptBlocks(cipher, unhex(v.key), {}, false, encrypted), plain);
    }
}

TEST(BlockCipherKnownAnswers, CbcChainsAsSp800_38aSays) {
    // NIST SP 800-38A, F.2.1 CBC-AES128.Encrypt, first two blocks.
    const DataCipher cipher{CipherAlgorithm::Aes, 128, BlockMode::Cbc, PaddingScheme::Zero};
    const Bytes key = unhex("2b7e151628aed2a6abf7158809cf4f3c");
    const Bytes iv = unhex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = unhex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    const Bytes encrypted = engine::detail::cryptBlocks(cipher, key, iv, true, plain);
    EXPECT_EQ(hexOfBytes(encrypted), "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2");
    EXPECT_EQ(engine::detail::cryptBlocks(cipher, key, iv, false, encrypted), plain);
}

// --- Round trips ---------------------------------------------------------------

class SymmetricTest : public ::testing::Test {
protected:
    std::shared_ptr<engine::EngineSymCipher> cipher(engine::SymAlgorithm algorithm = kAes, int32_t bits = 256,
                                                    const std::string& password = "secret") {
        return root->NewSymCipher(algorithm, password, bits);
    }
    std::string binaryContainer(const std::string& plain, engine::ModeOfOperation mode = kCbc) {
        auto c = cipher();
        configure(*c, mode, kPkcs7, 0, engine::OutputEncoding::Binary);
        return c->EncryptText(plain);
    }

    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot(fastOptions());
};

TEST_F(SymmetricTest, EveryCombinationOfSettingsRoundTripsAtBlockEdgeSizes) {
    const size_t sizes[] = {0, 1, 15, 16, 17, 4099};
    int runs = 0;
    for (engine::SymAlgorithm algorithm : {kAes, kTwofish})
        for (int32_t bits : {128, 192, 256}) {
            auto c = cipher(algorithm, bits);
            for (engine::ModeOfOperation mode : {kEcb, kCbc})
                for (engine::BlockPadding padding : {kZeroPadding, kPkcs7, kX923})
                    for (int16_t compression : {-1, 0, 1, 9})
                        for (engine::OutputEncoding encoding :
                             {engine::OutputEncoding::Binary, engine::OutputEncoding::Base64,
                              engine::OutputEncoding::Hex})
                            for (size_t size : sizes) {
                                // Trailing zero bytes are what zero padding could lose.
                                std::string plain = pseudoRandom(size, static_cast<uint32_t>(size + runs));
                                if (size > 2) plain[size - 1] = plain[size - 2] = '\0';
                                configure(*c, mode, padding, compression, encoding);
                                const std::string sealed = c->EncryptText(plain);
                                ASSERT_EQ(c->DecryptText(sealed), plain)
                                    << "algorithm " << algorithm << " bits " << bits << " mode " << mode
                                    << " padding " << padding << " compression " << compression
                                    << " encoding " << encoding << " size " << size;
                                ++runs;
                            }
        }
    EXPECT_EQ(runs, 2 * 3 * 2 * 3 * 4 * 3 * 6);
}

TEST_F(SymmetricTest, LargeTextsRoundTripAcrossInternalBuffers) {
    const std::string plain = pseudoRandom((1 << 20) + 17, 3) + std::string(100000, 'z');
    for (engine::SymAlgorithm algorithm : {kAes, kTwofish})
        for (engine::ModeOfOperation mode : {kEcb, kCbc})
            for (engine::BlockPadding padding : {kZeroPadding, kPkcs7, kX923})
                for (int16_t compression : {0, 6}) {
                    auto c = cipher(algorithm, 192);
                    configure(*c, mode, padding, compression, engine::OutputEncoding::Base64);
                    ASSERT_EQ(c->DecryptText(c->EncryptText(plain)), plain)
                        << algorithm << " " << mode << " " << padding << " " << compression;
                }
}

TEST_F(SymmetricTest, TheEncodingSetsTheFormOfTheCipherText) {
    auto c = cipher();
    configure(*c, kCbc, kPkcs7, 0, engine::OutputEncoding::Base64);
    const std::string base64 = c->EncryptText("hello");
    EXPECT_TRUE(std::all_of(base64.begin(), base64.end(), [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || ch == '+' || ch == '/' || ch == '=';
    }));
    EXPECT_EQ(base64.size() % 4, 0u);
    c->Encoding(engine::OutputEncoding::Hex);
    const std::string hex = c->EncryptText("hello");
    EXPECT_TRUE(std::all_of(hex.begin(), hex.end(), [](char ch) {
        return std::isxdigit(static_cast<unsigned char>(ch)) && !std::isupper(static_cast<unsigned char>(ch));
    }));
    c->Encoding(engine::OutputEncoding::Binary);
    EXPECT_EQ(c->EncryptText("hello").size() * 2, hex.size());
}

TEST_F(SymmetricTest, DecryptionRecognisesEveryFormWhateverTheEncodingSetting) {
    auto c = cipher();
    configure(*c, kCbc, kPkcs7, 0, engine::OutputEncoding::Binary);
    const std::string plain = "Form does not matter";
    const std::string binary = c->EncryptText(plain);
    auto base64 = root->NewEncoder(engine::OutputEncoding::Base64)->EncodeText(binary);
    std::string hexUpper = hexOf(binary);
    std::transform(hexUpper.begin(), hexUpper.end(), hexUpper.begin(), ::toupper);
    // Line breaks and blanks, as a mail program might add them.
    std::string wrapped = base64;
    for (size_t at = 64; at < wrapped.size(); at += 66) wrapped.insert(at, "\r\n");
    for (engine::OutputEncoding setting :
         {engine::OutputEncoding::Binary, engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
        c->Encoding(setting);
        EXPECT_EQ(c->DecryptText(binary), plain);
        EXPECT_EQ(c->DecryptText(base64), plain);
        EXPECT_EQ(c->DecryptText("  \n" + wrapped + "\n"), plain);
        EXPECT_EQ(c->DecryptText(hexUpper + "\n"), plain);
    }
}

TEST_F(SymmetricTest, DecryptionTakesModePaddingCompressionAndIvFromTheData) {
    auto encrypting = cipher(kTwofish, 128);
    configure(*encrypting, kEcb, kX923, 9, engine::OutputEncoding::Hex, "some iv");
    const std::string plain(5000, 'q');
    const std::string sealed = encrypting->EncryptText(plain);
    auto decrypting = cipher(kTwofish, 128);
    configure(*decrypting, kCbc, kZeroPadding, 0, engine::OutputEncoding::Binary, "another iv");
    EXPECT_EQ(decrypting->DecryptText(sealed), plain);
}

// The window lets the user change settings while a call runs (its progress
// handler yields to the message queue): the running call keeps those it
// started with, and the next call takes the new ones.
TEST_F(SymmetricTest, SettingsWrittenDuringACallApplyFromTheNextCall) {
    auto c = cipher();
    configure(*c, kCbc, kPkcs7, 0, engine::OutputEncoding::Binary);
    int changes = 0;
    root->SetOnProcess([&](int32_t position, int32_t, bool&) {
        if (position == 0) {
            // Makes the next chance to report, once the header is written, due at once.
            waitForNextReport();
        } else if (position <= 100 && changes++ == 0) {
            configure(*c, kEcb, kZeroPadding, 9, engine::OutputEncoding::Hex, "another IV");
        }
    });
    const std::string plain = pseudoRandom(1000);
    const std::string sealed = c->EncryptText(plain);
    ASSERT_EQ(changes, 1);
    root->SetOnProcess(nullptr);
    EXPECT_EQ(sealed.substr(0, 6), std::string("\x8FQRVC\x1A", 6));  // still Binary
    EXPECT_EQ(c->DecryptText(sealed), plain);
    const std::string next = c->EncryptText(plain);
    EXPECT_EQ(next.substr(0, 12), "8f515256431a");
    EXPECT_EQ(c->DecryptText(next), plain);
}

TEST_F(SymmetricTest, CompressionShrinksRepetitiveDataAndLevelZeroStoresIt) {
    auto c = cipher();
    const std::string plain(100000, 'a');
    configure(*c, kCbc, kPkcs7, 9, engine::OutputEncoding::Binary);
    const size_t compressed = c->EncryptText(plain).size();
    c->Compression(0);
    const size_t stored = c->EncryptText(plain).size();
    EXPECT_LT(compressed, 1000u);
    EXPECT_GT(stored, plain.size());
}

TEST_F(SymmetricTest, EveryEncryptionUsesAFreshSaltAndTheEmptyPasswordWorks) {
    auto c = cipher(kAes, 128, "");
    configure(*c, kEcb, kPkcs7, 0, engine::OutputEncoding::Binary);
    const std::string a = c->EncryptText("same text");
    const std::string b = c->EncryptText("same text");
    EXPECT_NE(a, b);
    EXPECT_EQ(c->DecryptText(a), "same text");
    EXPECT_EQ(kindOf([&] { cipher(kAes, 128, " ")->DecryptText(a); }), ErrorKind::WrongKeyOrDamaged);
}

TEST_F(SymmetricTest, TheIvTextIsHashedIntoTheIvAndAnEmptyOneGivesAFreshIv) {
    auto c = cipher();
    configure(*c, kCbc, kPkcs7, 0, engine::OutputEncoding::Binary, "my iv");
    const std::string a = c->EncryptText("x");
    const std::string b = c->EncryptText("x");
    ASSERT_EQ(static_cast<uint8_t>(a[kIvLengthAt]), 16);
    EXPECT_EQ(a.substr(kIvAt, 16), b.substr(kIvAt, 16));
    if (haveTool("sha256sum")) {
        const auto digest = run("printf 'my iv' | sha256sum");
        ASSERT_TRUE(digest);
        EXPECT_EQ(hexOf(a.substr(kIvAt, 16)), digest->substr(0, 32));
    }
    c->IV("");
    EXPECT_NE(c->EncryptText("x").substr(kIvAt, 16), c->EncryptText("x").substr(kIvAt, 16));
    // Any text is an acceptable IV, the empty one and binary bytes included.
    c->IV(std::string("\0\xff\x80", 3));
    EXPECT_EQ(c->DecryptText(c->EncryptText("y")), "y");
}

TEST_F(SymmetricTest, EcbRecordsNoIvAndShowsRepeatedBlocks) {
    auto c = cipher();
    configure(*c, kEcb, kZeroPadding, 0, engine::OutputEncoding::Binary, "ignored");
    const std::string sealed = c->EncryptText(std::string(32, 'A'));
    EXPECT_EQ(sealed[kIvLengthAt], 0);
    EXPECT_EQ(sealed[kModeAt], 0);
    c->CipherMode(kCbc);
    EXPECT_EQ(c->EncryptText("A")[kModeAt], 1);
}

// --- Failures ---------------------------------------------------------------------

TEST_F(SymmetricTest, AWrongPasswordIsReportedNotReturnedAsGarbage) {
    const std::string sealed = binaryContainer("attack at dawn");
    EXPECT_EQ(kindOf([&] { cipher(kAes, 256, "Secret")->DecryptText(sealed); }),
              ErrorKind::WrongKeyOrDamaged);
}

TEST_F(SymmetricTest, DataOfAnotherAlgorithmOrKeyLengthIsRefusedNamingWhatItNeeds) {
    auto twofish = cipher(kTwofish, 192);
    configure(*twofish, kCbc, kPkcs7, 0, engine::OutputEncoding::Base64);
    const std::string sealed = twofish->EncryptText("x");
    std::string description;
    EXPECT_EQ(kindOf([&] { cipher(kAes, 192)->DecryptText(sealed); }, &description),
              ErrorKind::WrongSettings);
    EXPECT_NE(description.find("Twofish"), std::string::npos) << description;
    EXPECT_NE(description.find("192"), std::string::npos) << description;
    EXPECT_EQ(kindOf([&] { cipher(kTwofish, 256)->DecryptText(sealed); }), ErrorKind::WrongSettings);
}

TEST_F(SymmetricTest, AnyChangedByteIsCaught) {
    const std::string plain = "sixteen byte msg and more";
    const std::string sealed = binaryContainer(plain);
    auto c = cipher();
    for (size_t i = 0; i < sealed.size(); ++i) {
        for (uint8_t flip : {0x01, 0x80}) {
            // A high bit in the recorded cost would only make this test slow.
            if (flip == 0x80 && i >= kIterationsAt && i < kIterationsAt + 4) continue;
            std::string damaged = sealed;
            damaged[i] = static_cast<char>(damaged[i] ^ flip);
            const ErrorKind kind = kindOf([&] { c->DecryptText(damaged); });
            // A header byte may also read as another format or setting; never as plain text.
            EXPECT_TRUE(kind == ErrorKind::WrongKeyOrDamaged || kind == ErrorKind::NotOurData ||
                        kind == ErrorKind::WrongSettings)
                << "byte " << i;
            if (i >= 60) {
                EXPECT_EQ(kind, ErrorKind::WrongKeyOrDamaged) << "byte " << i;
            }
        }
    }
}

TEST_F(SymmetricTest, TruncatedOrExtendedDataIsCaught) {
    const std::string sealed = binaryContainer("some plain text");
    auto c = cipher();
    for (size_t length = 6; length < sealed.size(); ++length)
        EXPECT_EQ(kindOf([&] { c->DecryptText(sealed.substr(0, length)); }), ErrorKind::WrongKeyOrDamaged)
            << "length " << length;
    EXPECT_EQ(kindOf([&] { c->DecryptText(sealed + "x"); }), ErrorKind::WrongKeyOrDamaged);
}

TEST_F(SymmetricTest, TruncatedBase64OrHexIsDamagedDataNotBadInput) {
    auto c = cipher();
    for (engine::OutputEncoding encoding : {engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
        configure(*c, kCbc, kPkcs7, 0, encoding);
        const std::string sealed = c->EncryptText("some plain text");
        // Cut anywhere after the magic, even inside a Base64 group or a hex digit pair;
        // Base64 without its padding loses nothing.
        for (size_t length = 12; sealed.find_first_not_of('=', length) != std::string::npos; ++length)
            EXPECT_EQ(kindOf([&] { c->DecryptText(sealed.substr(0, length)); }), ErrorKind::WrongKeyOrDamaged)
                << "encoding " << encoding << " length " << length;
    }
}

TEST_F(SymmetricTest, DataThatIsNotOursIsSaidToBeSo) {
    auto c = cipher();
    for (const std::string& text :
         {std::string(), std::string("hello world"), std::string("SGVsbG8gd29ybGQ="),
          std::string("00112233445566778899"), pseudoRandom(200)}) {
        EXPECT_EQ(kindOf([&] { c->DecryptText(text); }), ErrorKind::NotOurData) << text;
    }
    std::string newer = binaryContainer("x");
    newer[6] = 2;
    EXPECT_EQ(kindOf([&] { c->DecryptText(newer); }), ErrorKind::NotOurData);
}

TEST_F(SymmetricTest, InvalidBase64OrHexInAContainerIsReportedWithItsPosition) {
    auto c = cipher();
    configure(*c, kCbc, kPkcs7, 0, engine::OutputEncoding::Base64);
    std::string base64 = c->EncryptText("x");
    base64[20] = '*';
    std::string description;
    EXPECT_EQ(kindOf([&] { c->DecryptText(base64); }, &description), ErrorKind::InvalidInput);
    EXPECT_NE(description.find("position 21"), std::string::npos) << description;
    c->Encoding(engine::OutputEncoding::Hex);
    std::string hex = c->EncryptText("x");
    hex[30] = 'g';
    EXPECT_EQ(kindOf([&] { c->DecryptText(hex); }), ErrorKind::InvalidInput);
}

TEST_F(SymmetricTest, AKeyDerivationCostAboveTheLimitIsRefusedBeforeAnyWork) {
    // Above 4 000 000 PBKDF2 iterations: more than about a second with no progress to show.
    for (uint32_t iterations : {4000001u, 0xFFFFFFFFu}) {
        std::string sealed = binaryContainer("x");
        for (size_t i = 0; i < 4; ++i)
            sealed[kIterationsAt + i] = static_cast<char>(iterations >> (24 - 8 * i));
        EXPECT_EQ(kindOf([&] { cipher()->DecryptText(sealed); }), ErrorKind::NotOurData) << iterations;
    }
    engine::EngineOptions costly;
    costly.kdfIterations = 4000001;
    auto c = engine::CreateEngineRoot(costly)->NewSymCipher(kAes, "secret", 256);
    EXPECT_EQ(kindOf([&] { c->EncryptText("x"); }), ErrorKind::InvalidInput);
}

TEST_F(SymmetricTest, AnArgon2idKeyBlockPutInAnotherContainerIsDerivedAndFailsItsHeaderTag) {
    std::string sealed = binaryContainer("x");
    constexpr size_t kBlockLengthAt = kIvAt + 16, kBlockAt = kBlockLengthAt + 2, kPbkdf2BlockLength = 22;
    // KDF 2, 8 KiB of memory, 1 pass, 1 lane, 16 bytes of salt.
    const std::string argon2 =
        std::string("\x02\x00\x00\x00\x08\x00\x00\x00\x01\x01\x10", 11) + std::string(16, 's');
    sealed.replace(kBlockAt, kPbkdf2BlockLength, argon2);
    sealed[kBlockLengthAt] = 0;
    sealed[kBlockLengthAt + 1] = static_cast<char>(argon2.size());
    EXPECT_EQ(kindOf([&] { cipher()->DecryptText(sealed); }), ErrorKind::WrongKeyOrDamaged);
}

TEST_F(SymmetricTest, ATextResultAboveTheLimitIsRefused) {
    auto c = cipher();
    configure(*c, kCbc, kPkcs7, 1, engine::OutputEncoding::Binary);
    // Only a file can be encrypted that large.
    ScratchDir dir;
    std::ofstream(dir.file("zeros")).close();
    fs::resize_file(dir.file("zeros"), engine::detail::kMaxTextResult + 1);
    c->EncryptFile(dir.file("zeros"), dir.file("sealed"));
    const std::string sealed = readAll(dir.file("sealed"));
    EXPECT_LT(sealed.size(), 1u << 20);
    EXPECT_EQ(kindOf([&] { c->DecryptText(sealed); }), ErrorKind::TooLarge);
}

TEST_F(SymmetricTest, SettingsOutOfRangeAreRefused) {
    EXPECT_EQ(kindOf([&] { root->NewSymCipher(static_cast<engine::SymAlgorithm>(2), "p", 256); }),
              ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { root->NewSymCipher(kAes, "p", 0); }), ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { root->NewSymCipher(kAes, "p", 512); }), ErrorKind::InvalidInput);
    auto c = cipher();
    EXPECT_EQ(kindOf([&] { c->CipherMode(static_cast<engine::ModeOfOperation>(2)); }),
              ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { c->Padding(static_cast<engine::BlockPadding>(3)); }), ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { c->Compression(10); }), ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { c->Compression(-2); }), ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([&] { c->Encoding(static_cast<engine::OutputEncoding>(-1)); }), ErrorKind::InvalidInput);
}

// --- Key sources -------------------------------------------------------------------

// Whether the bytes an object occupied still hold `secret` once it is destroyed.
template <class Object, class... Args>
bool leavesBehind(const std::string& secret, Args&&... args) {
    alignas(Object) unsigned char storage[sizeof(Object)];
    auto* object = new (storage) Object(std::forward<Args>(args)...);
    object->~Object();
    return std::string(reinterpret_cast<const char*>(storage), sizeof storage).find(secret) !=
           std::string::npos;
}

TEST(PasswordKeySources, TheirCopyOfThePasswordIsWipedWithThem) {
    // Short enough to be kept inside the object rather than on the heap.
    const std::string password = "tiger-lily-42";
    EXPECT_FALSE((leavesBehind<engine::detail::PasswordKeySealer>(password, password, 1000u)));
    EXPECT_FALSE((leavesBehind<engine::detail::PasswordKeyOpener>(password, password)));
}

TEST(PasswordKeySources, TheirCopyOfThePasswordIsWipedOnceTheKeyIsDerived) {
    const std::string password = "tiger-lily-42";
    engine::detail::PasswordKeySealer sealer(password, 1000);
    Bytes block;
    engine::detail::SecretBytes secret;
    sealer.makeKeyBlock(block, secret);
    const std::string bytes(reinterpret_cast<const char*>(&sealer), sizeof sealer);
    EXPECT_EQ(bytes.find(password), std::string::npos);
    EXPECT_EQ(kindOf([&] { sealer.makeKeyBlock(block, secret); }), ErrorKind::Internal);
    engine::detail::PasswordKeyOpener opener(password);
    EXPECT_EQ(opener.openKeyBlock(block.data(), block.size()), secret);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&opener), sizeof opener).find(password),
              std::string::npos);
}

// A key source of the other kind, as RSA encryption has.
class FixedSecret : public engine::detail::KeySealer, public engine::detail::KeyOpener {
public:
    engine::detail::KeySourceKind kind() const override { return engine::detail::KeySourceKind::Rsa; }
    void makeKeyBlock(Bytes& block, engine::detail::SecretBytes& secret) override {
        block.assign(8, 7);
        secret.assign(32, 9);
    }
    engine::detail::SecretBytes openKeyBlock(const uint8_t*, size_t) override {
        return engine::detail::SecretBytes(32, 9);
    }
};

TEST(PasswordKeySources, DataSealedForAnotherKindOfKeyIsRefusedAsSuch) {
    engine::detail::EngineContext context;
    FixedSecret other;
    const std::string sealed = engine::detail::sealText(
        context, 1, "x", engine::detail::rsaSealSettings(-1, engine::detail::Encoding::Hex), other);
    EXPECT_EQ(engine::detail::openText(context, 1, sealed, other, {}), "x");
    engine::detail::PasswordKeyOpener password("pw");
    EXPECT_EQ(kindOf([&] { engine::detail::openText(context, 1, sealed, password, {}); }),
              ErrorKind::WrongSettings);
}

// --- The compression layer ---------------------------------------------------------

using engine::detail::zlibCompress;
using engine::detail::zlibDecompress;

Bytes joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A stream exactly `length` bytes long: random data is stored as it is, plus a few bytes.
Bytes streamOfLength(size_t length) {
    for (size_t size = length - 64; size < length; ++size) {
        Bytes stream = zlibCompress(bytesOf(pseudoRandom(size, static_cast<uint32_t>(size))), 1);
        if (stream.size() == length) return stream;
    }
    ADD_FAILURE() << "no stream of " << length << " bytes";
    return {};
}

TEST(Decompression, OneStreamComesBackWhateverPiecesItArrivesIn) {
    const Bytes plain = bytesOf(pseudoRandom(40000, 5) + std::string(300000, 'r') + pseudoRandom(9000, 6));
    const Bytes stream = zlibCompress(plain, 6);
    std::mt19937 generator(11);
    for (int run = 0; run < 12; ++run) {
        // Single bytes, small pieces, then pieces around the size fed to zlib at a time.
        std::vector<size_t> pieces;
        for (size_t total = 0; total < stream.size(); total += pieces.back())
            pieces.push_back(run == 0 ? 1 : 1 + generator() % (run < 6 ? 64 : 20000));
        ASSERT_EQ(zlibDecompress(stream, pieces), plain) << "run " << run;
    }
}

TEST(Decompression, AnythingButExactlyOneWholeStreamIsDamagedData) {
    const Bytes first = zlibCompress(bytesOf("first stream"), 6);
    const Bytes second = zlibCompress(bytesOf("second stream"), 6);
    // Ends exactly where a piece fed to zlib does.
    const Bytes pieceSized = streamOfLength(8192);
    const Bytes header = {0x78, 0x9C};
    struct Case {
        const char* what;
        Bytes data;
        size_t firstEnds;
    };
    const Case cases[] = {
        {"a piece-sized stream and more", joined(pieceSized, header), pieceSized.size()},
        {"a piece-sized stream and a second stream", joined(pieceSized, second), pieceSized.size()},
        {"two streams", joined(first, second), first.size()},
        {"a stream and garbage", joined(first, {1, 2, 3}), first.size()},
        {"a stream and one more byte", joined(first, {0x78}), first.size()},
        {"a cut stream", Bytes(first.begin(), first.end() - 1), first.size() - 1},
        {"nothing", {}, 0},
    };
    for (const auto& c : cases) {
        std::vector<size_t> splits{0, c.firstEnds - 1, c.firstEnds, c.firstEnds + 1};
        // Short ones are split at every position.
        for (size_t at = 1; c.data.size() < 100 && at < c.data.size(); ++at) splits.push_back(at);
        for (size_t at : splits)
            EXPECT_EQ(kindOf([&] { zlibDecompress(c.data, {at}); }), ErrorKind::WrongKeyOrDamaged)
                << c.what << ", split at " << at;
    }
}

// Decryption inflates before the tag is checked: what a forged body can make
// the hidden output grow to is bounded by deflate's own ratio, step by step.
TEST(Decompression, OutputStaysWithinDeflatesRatioToTheInputAtEveryStep) {
    struct Measured : engine::detail::ByteSink {
        void write(const uint8_t*, size_t length) override {
            written += length;
            worst = std::max(worst, static_cast<double>(written) / static_cast<double>(fed));
        }
        uint64_t fed = 0, written = 0;
        double worst = 0;
    };
    // Zeros at level 9 expand about as far as deflate allows.
    const Bytes bomb = zlibCompress(Bytes(16 << 20, 0), 9);
    for (uint64_t ratio : {engine::detail::kMaxInflateRatio, uint64_t{100}}) {
        SCOPED_TRACE("ratio " + std::to_string(ratio));
        Measured sink;
        engine::detail::Inflater inflater(sink, nullptr, ratio);
        auto inflate = [&] {
            for (size_t at = 0; at < bomb.size(); at += 1000) {
                const size_t n = std::min<size_t>(1000, bomb.size() - at);
                sink.fed += n;
                inflater.write(bomb.data() + at, n);
            }
            inflater.finish();
        };
        if (ratio == engine::detail::kMaxInflateRatio) {
            inflate();
            EXPECT_EQ(sink.written, 16u << 20);
            EXPECT_GT(sink.worst, 1000.0) << "the bound is deflate's, no looser";
        } else {
            EXPECT_EQ(kindOf(inflate), ErrorKind::WrongKeyOrDamaged);
        }
        EXPECT_LE(sink.worst, static_cast<double>(ratio) + 1.0) << "nothing written beyond the bound";
    }
}

// Stored data full of byte pairs that could start a zlib header once made the
// decompressor probe before each pair: two bytes a step.
TEST(Decompression, DataThatLooksLikeZlibHeadersTakesNoMoreStepsThanOtherData) {
    Bytes looksLikeHeaders;
    for (size_t i = 0; i < 64 * 1024; ++i) looksLikeHeaders.insert(looksLikeHeaders.end(), {0x78, 0x01});
    const Bytes random = bytesOf(pseudoRandom(looksLikeHeaders.size(), 3));
    for (const Bytes* data : {static_cast<const Bytes*>(&looksLikeHeaders), &random}) {
        const Bytes stream = storedStream(*data);
        // In the pieces decryption hands over.
        const std::vector<size_t> pieces(stream.size() / (48 * 1024) + 1, 48 * 1024);
        size_t steps = 0;
        ASSERT_EQ(zlibDecompress(stream, pieces, &steps), *data);
        EXPECT_LE(steps, stream.size() / 4096) << (data == &random ? "random" : "78 01");
        const Bytes trailing = joined(stream, {0x78, 0x01});
        EXPECT_EQ(kindOf([&] { zlibDecompress(trailing, pieces); }), ErrorKind::WrongKeyOrDamaged);
    }
}

// --- A cipher text made once and kept -----------------------------------------------

TEST_F(SymmetricTest, TheCommittedCipherTextStillDecrypts) {
    const std::string vector = readAll(std::string(QUORVAL_TEST_DATA) + "/aes256-cbc-pkcs7.b64");
    ASSERT_FALSE(vector.empty());
    auto c = cipher(kAes, 256, "Quorval test vector");
    EXPECT_EQ(c->DecryptText(vector), "The quick brown fox jumps over the lazy dog.\n");
}

}  // namespace
