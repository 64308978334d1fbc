// SPDX-License-Identifier: Apache-2.0
// Argon2id password containers: both libraries against RFC 9106, what new
// containers record, the cost bounds a header meets before any derivation,
// and a reader written from docs/password-container.md alone.

#include <argon2.h>
#include <fcntl.h>
#include <unistd.h>
#include <botan/argon2.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "EngineTestSupport.h"
#include "engine/container/Container.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;
using engine::detail::PasswordKdf;
using engine::detail::SecretBytes;

// RFC 9106, section 5.3: Argon2id, version 0x13, 32 KiB, 3 passes, 4 lanes.
const std::string kRfcPassword(32, '\x01'), kRfcSalt(16, '\x02'), kRfcSecret(8, '\x03'), kRfcAd(12, '\x04');
const char* const kRfcTag = "0d640df58d78766c08c037a34a8b53c9d01ef0452d75b65eb52520e96b01e659";

std::string hexOfBuffer(const uint8_t* data, size_t size) {
    return hexOf(std::string(reinterpret_cast<const char*>(data), size));
}

uint8_t* mutableBytes(const std::string& s) { return reinterpret_cast<uint8_t*>(const_cast<char*>(s.data())); }

// The reference library's work area as it is handed back to be freed.
struct HandedBack {
    static inline size_t bytes = 0;
    static inline bool allZero = false;
    static int allocate(uint8_t** memory, size_t size) {
        *memory = static_cast<uint8_t*>(std::malloc(size));
        return *memory ? ARGON2_OK : ARGON2_MEMORY_ALLOCATION_ERROR;
    }
    static void release(uint8_t* memory, size_t size) {
        bytes = size;
        allZero = std::all_of(memory, memory + size, [](uint8_t b) { return b == 0; });
        std::free(memory);
    }
};

TEST(Argon2Libraries, BothGiveRfc9106sArgon2idVectorAndTheReferenceWipesItsWorkArea) {
    uint8_t tag[32] = {};
    Botan::argon2(tag, sizeof tag, kRfcPassword.data(), kRfcPassword.size(), mutableBytes(kRfcSalt), kRfcSalt.size(),
                  mutableBytes(kRfcSecret), kRfcSecret.size(), mutableBytes(kRfcAd), kRfcAd.size(), 2, 4, 32, 3);
    EXPECT_EQ(hexOfBuffer(tag, sizeof tag), kRfcTag) << "Botan";

    std::memset(tag, 0, sizeof tag);
    argon2_context context{};
    context.out = tag;
    context.outlen = sizeof tag;
    context.pwd = mutableBytes(kRfcPassword);
    context.pwdlen = static_cast<uint32_t>(kRfcPassword.size());
    context.salt = mutableBytes(kRfcSalt);
    context.saltlen = static_cast<uint32_t>(kRfcSalt.size());
    context.secret = mutableBytes(kRfcSecret);
    context.secretlen = static_cast<uint32_t>(kRfcSecret.size());
    context.ad = mutableBytes(kRfcAd);
    context.adlen = static_cast<uint32_t>(kRfcAd.size());
    context.t_cost = 3;
    context.m_cost = 32;
    context.lanes = context.threads = 4;
    context.version = ARGON2_VERSION_13;
    context.allocate_cbk = &HandedBack::allocate;
    context.free_cbk = &HandedBack::release;
    ASSERT_EQ(argon2_ctx(&context, Argon2_id), ARGON2_OK);
    EXPECT_EQ(hexOfBuffer(tag, sizeof tag), kRfcTag) << "libargon2";
    EXPECT_EQ(HandedBack::bytes, 32u * 1024);
    EXPECT_TRUE(HandedBack::allZero) << "the work area holds what the password became";
}

// The password key block of a Binary container.
std::string keyBlockOf(const std::string& container) {
    const size_t kBlockLengthAt = 15 + static_cast<uint8_t>(container[14]);
    const size_t length = static_cast<uint8_t>(container[kBlockLengthAt]) << 8 |
                          static_cast<uint8_t>(container[kBlockLengthAt + 1]);
    return container.substr(kBlockLengthAt + 2, length);
}

std::string encryptWith(const engine::EngineOptions& options, const std::string& plain) {
    auto c = engine::CreateEngineRoot(options)->NewSymCipher(engine::SymAlgorithm::Aes, "pw", 256);
    configure(*c, 1, 1, 0, engine::OutputEncoding::Binary);
    return c->EncryptText(plain);
}

TEST(PasswordArgon2, NewContainersRecordArgon2idAtTheirCostAndPbkdf2OnesStillOpen) {
    auto reader = engine::CreateEngineRoot()->NewSymCipher(engine::SymAlgorithm::Aes, "pw", 256);
    const std::string byDefault = encryptWith({}, "default");
    // KDF 2, 65536 KiB, 3 passes, 4 lanes, 16 bytes of salt.
    EXPECT_EQ(hexOf(keyBlockOf(byDefault).substr(0, 11)), "0200010000000000030410");
    EXPECT_EQ(keyBlockOf(byDefault).size(), 27u);
    EXPECT_EQ(reader->DecryptText(byDefault), "default");

    engine::EngineOptions lowered;
    lowered.argon2MemoryKiB = 64;
    lowered.argon2Passes = 1;
    lowered.argon2Lanes = 2;
    const std::string cheap = encryptWith(lowered, "cheap");
    EXPECT_EQ(hexOf(keyBlockOf(cheap).substr(0, 11)), "0200000040000000010210");
    EXPECT_EQ(reader->DecryptText(cheap), "cheap");

    const std::string pbkdf2 = encryptWith(fastOptions(), "old kind");
    EXPECT_EQ(hexOf(keyBlockOf(pbkdf2).substr(0, 6)), "01000003e810");
    EXPECT_EQ(reader->DecryptText(pbkdf2), "old kind");

    lowered.argon2MemoryKiB = 256 * 1024 + 1;
    EXPECT_EQ(kindOf([&] { encryptWith(lowered, "x"); }), ErrorKind::InvalidInput);
    lowered.argon2MemoryKiB = 8;
    EXPECT_EQ(kindOf([&] { encryptWith(lowered, "x"); }), ErrorKind::InvalidInput) << "below 8 KiB a lane";
}

// Counts derivations instead of running them.
// Counts derivations instead of running them, or (`real`) as it runs them.
class CountingOpener : public engine::detail::PasswordKeyOpener {
public:
    explicit CountingOpener(bool real = false) : PasswordKeyOpener("pw"), m_real(real) {}
    int derivations = 0;
    PasswordKdf asked;

protected:
    SecretBytes deriveSecret(const std::string& password, const uint8_t* salt, size_t saltLength,
                             const PasswordKdf& kdf) override {
        ++derivations;
        asked = kdf;
        if (m_real) return PasswordKeyOpener::deriveSecret(password, salt, saltLength, kdf);
        return SecretBytes(32, 1);
    }

private:
    bool m_real;
};

std::string argon2Block(uint32_t memoryKiB, uint32_t passes, uint8_t lanes, uint8_t kdf = 2) {
    std::string block(1, static_cast<char>(kdf));
    for (uint32_t value : {memoryKiB, passes})
        for (int shift = 24; shift >= 0; shift -= 8) block.push_back(static_cast<char>(value >> shift));
    return block + static_cast<char>(lanes) + '\x10' + std::string(16, 's');
}

TEST(PasswordArgon2, HeadersOutsideTheBoundsAreRefusedWithoutDerivingAndTheWorstAcceptedIsDerived) {
    const struct {
        const char* what;
        std::string block;
        ErrorKind kind;
    } refused[] = {
        {"memory above 256 MiB", argon2Block(256 * 1024 + 1, 1, 1), ErrorKind::NotOurData},
        {"memory 4 GiB", argon2Block(0xFFFFFFFF, 1, 1), ErrorKind::NotOurData},
        {"11 passes", argon2Block(64, 11, 1), ErrorKind::NotOurData},
        {"9 lanes", argon2Block(128, 1, 9), ErrorKind::NotOurData},
        {"KDF 3", argon2Block(64, 1, 1, 3), ErrorKind::NotOurData},
        {"KDF 0", argon2Block(64, 1, 1, 0), ErrorKind::NotOurData},
        {"no pass", argon2Block(64, 0, 1), ErrorKind::WrongKeyOrDamaged},
        {"no lane", argon2Block(64, 1, 0), ErrorKind::WrongKeyOrDamaged},
        {"7 KiB a lane", argon2Block(28, 1, 4), ErrorKind::WrongKeyOrDamaged},
        {"cut in its cost", argon2Block(64, 1, 1).substr(0, 9), ErrorKind::WrongKeyOrDamaged},
        {"salt cut short", argon2Block(64, 1, 1).substr(0, 26), ErrorKind::WrongKeyOrDamaged},
        {"salt of 15 bytes", argon2Block(64, 1, 1).replace(10, 1, "\x0f").substr(0, 26), ErrorKind::WrongKeyOrDamaged},
    };
    for (const auto& c : refused) {
        CountingOpener opener;
        const auto* bytes = reinterpret_cast<const uint8_t*>(c.block.data());
        EXPECT_EQ(kindOf([&] { opener.openKeyBlock(bytes, c.block.size()); }), c.kind) << c.what;
        EXPECT_EQ(opener.derivations, 0) << c.what;
    }
    CountingOpener opener;
    const std::string worst = argon2Block(256 * 1024, 10, 8);
    opener.openKeyBlock(reinterpret_cast<const uint8_t*>(worst.data()), worst.size());
    EXPECT_EQ(opener.derivations, 1);
    EXPECT_EQ(opener.asked.memoryKiB, 256u * 1024);
    EXPECT_EQ(opener.asked.passes, 10u);
    EXPECT_EQ(opener.asked.lanes, 8u);

    // Through the engine: a header asking for more is refused as such.
    engine::EngineOptions cheap;
    cheap.argon2MemoryKiB = 64;
    cheap.argon2Passes = 1;
    cheap.argon2Lanes = 1;
    std::string sealed = encryptWith(cheap, "x");
    sealed[15 + 16 + 2 + 1] = 0x04;  // memory 64 MiB -> 4 GiB + 64 KiB
    auto reader = engine::CreateEngineRoot()->NewSymCipher(engine::SymAlgorithm::Aes, "pw", 256);
    std::string description;
    EXPECT_EQ(kindOf([&] { reader->DecryptText(sealed); }, &description), ErrorKind::NotOurData);
    EXPECT_NE(description.find("above the limit"), std::string::npos) << description;
}

// Decrypting to a descriptor reads the file twice (authenticate, then write)
// but derives its key once.
TEST(PasswordArgon2, DecryptingToADescriptorDerivesTheKeyOnce) {
    ScratchDir dir;
    engine::EngineOptions cheap;
    cheap.argon2MemoryKiB = 64;
    cheap.argon2Passes = 1;
    cheap.argon2Lanes = 1;
    const std::string plain = pseudoRandom(300000, 3);
    writeAll(dir.file("plain"), plain);
    engine::CreateEngineRoot(cheap)->NewSymCipher(engine::SymAlgorithm::Aes, "pw", 256)->EncryptFile(
        dir.file("plain"), dir.file("sealed"));
    const int fd = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    CountingOpener opener(true);
    engine::detail::openFileToStream({}, 0, dir.file("sealed"), fd, opener, {});
    ::close(fd);
    EXPECT_EQ(opener.derivations, 1);
    EXPECT_EQ(readAll(dir.file("out")), plain);
}

// tests/engine/read_container.py, written from the page: Argon2id by
// python3-argon2, then HKDF, HMAC-SHA-256 and AES by python3-cryptography.
TEST(PasswordArgon2, APythonReaderWrittenFromThePageOpensTheContainer) {
    const std::string python = "/usr/bin/python3";
    if (!run(python + " -c 'import argon2, cryptography' 2>/dev/null"))
        GTEST_SKIP() << "python3-argon2 or python3-cryptography is not installed";
    ScratchDir dir;
    const std::string plain = "Read from the page alone.\n" + pseudoRandom(100, 7);
    auto c = engine::CreateEngineRoot()->NewSymCipher(engine::SymAlgorithm::Aes, "correct horse", 192);
    for (int32_t mode : {0, 1}) {
        configure(*c, mode, 1, mode == 1 ? 6 : 0, engine::OutputEncoding::Binary);
        const std::string sealed = c->EncryptText(plain);
        ASSERT_EQ(keyBlockOf(sealed)[0], 2) << "Argon2id";
        writeAll(dir.file("sealed"), sealed);
        const auto out = run(python + " " + QUORVAL_TEST_DATA "/../engine/read_container.py 'correct horse' " +
                             dir.file("sealed") + " 2>&1");
        ASSERT_TRUE(out) << "mode " << mode;
        EXPECT_EQ(hexOf(*out), hexOf(plain)) << *out;
    }
}

}  // namespace
