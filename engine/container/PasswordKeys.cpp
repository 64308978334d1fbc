// SPDX-License-Identifier: Apache-2.0
// The password key source: Argon2id (by default) or PBKDF2-HMAC-SHA-256 over
// the password and a salt.
#include <argon2.h>
#include <botan/auto_rng.h>
#include <botan/pwdhash.h>

#include "engine/container/Format.h"

namespace engine::detail {

namespace {

// A key source's copy of the password lives until its one key is derived.
void spendPassword(std::string& password, bool& spent) {
    scrubMemory(&password[0], password.size());
    password.clear();
    spent = true;
}

void checkUnspent(bool spent) {
    if (spent) throw EngineError(ErrorKind::Internal, "A password key source was used twice.");
}

enum class Cost { Fine, AboveLimit, Invalid };

// Above a bound first: such a header is refused as not ours, whatever else it holds.
Cost costOf(const PasswordKdf& kdf) {
    if (kdf.id == kKdfPbkdf2) {
        if (kdf.iterations > kMaxPbkdf2Iterations) return Cost::AboveLimit;
        return kdf.iterations == 0 ? Cost::Invalid : Cost::Fine;
    }
    if (kdf.memoryKiB > kMaxArgon2MemoryKiB || kdf.passes > kMaxArgon2Passes || kdf.lanes > kMaxArgon2Lanes)
        return Cost::AboveLimit;
    // Argon2's own minimums: a pass, a lane, and 8 KiB per lane.
    if (kdf.passes == 0 || kdf.lanes == 0 || kdf.memoryKiB < 8 * kdf.lanes) return Cost::Invalid;
    return Cost::Fine;
}

// libargon2, the reference implementation: its threads across the lanes make it
// the quicker here (docs/libraries.md). It wipes its work area before freeing it.
SecretBytes argon2id(const std::string& password, const uint8_t* salt, size_t saltLength, const PasswordKdf& kdf) {
    SecretBytes secret(kSecretSize);
    argon2_context context{};
    context.out = secret.data();
    context.outlen = static_cast<uint32_t>(secret.size());
    context.pwd = reinterpret_cast<uint8_t*>(const_cast<char*>(password.data()));
    context.pwdlen = static_cast<uint32_t>(password.size());
    context.salt = const_cast<uint8_t*>(salt);
    context.saltlen = static_cast<uint32_t>(saltLength);
    context.t_cost = kdf.passes;
    context.m_cost = kdf.memoryKiB;
    context.lanes = kdf.lanes;
    context.threads = kdf.lanes;
    context.version = ARGON2_VERSION_13;
    context.flags = ARGON2_DEFAULT_FLAGS;
    const int status = argon2_ctx(&context, Argon2_id);
    if (status == ARGON2_MEMORY_ALLOCATION_ERROR)
        throw EngineError(ErrorKind::Internal, "Not enough memory to derive the key (" +
                                                   std::to_string(kdf.memoryKiB / 1024) + " MiB).");
    if (status != ARGON2_OK)
        throw EngineError(ErrorKind::Internal, std::string("Key derivation failed: ") + argon2_error_message(status));
    return secret;
}

SecretBytes derive(const std::string& password, const uint8_t* salt, size_t saltLength, const PasswordKdf& kdf) {
    if (kdf.id == kKdfArgon2id) return argon2id(password, salt, saltLength, kdf);
    SecretBytes secret(kSecretSize);
    Botan::PasswordHashFamily::create_or_throw("PBKDF2(SHA-256)")
        ->from_params(kdf.iterations)
        ->derive_key(secret.data(), secret.size(), password.data(), password.size(), salt, saltLength);
    return secret;
}

}  // namespace

PasswordKdf pbkdf2Kdf(uint32_t iterations) {
    PasswordKdf kdf;
    kdf.id = kKdfPbkdf2;
    kdf.iterations = iterations == 0 ? kDefaultPbkdf2Iterations : iterations;
    return kdf;
}

PasswordKdf kdfForNewData(const EngineOptions& options) {
    if (options.kdfIterations != 0) return pbkdf2Kdf(options.kdfIterations);
    PasswordKdf kdf;
    kdf.memoryKiB = options.argon2MemoryKiB == 0 ? kDefaultArgon2MemoryKiB : options.argon2MemoryKiB;
    kdf.passes = options.argon2Passes == 0 ? kDefaultArgon2Passes : options.argon2Passes;
    kdf.lanes = options.argon2Lanes == 0 ? kDefaultArgon2Lanes : options.argon2Lanes;
    return kdf;
}

PasswordKeySealer::PasswordKeySealer(const std::string& password, const PasswordKdf& kdf)
    : m_password(password), m_kdf(kdf) {
    switch (costOf(m_kdf)) {
        case Cost::AboveLimit:
            throw EngineError(ErrorKind::InvalidInput, "The key-derivation cost is above the limit.");
        case Cost::Invalid:
            throw EngineError(ErrorKind::InvalidInput, "The key-derivation cost is below the minimum.");
        case Cost::Fine:
            break;
    }
}

PasswordKeySealer::~PasswordKeySealer() { scrubMemory(&m_password[0], m_password.size()); }

void PasswordKeySealer::makeKeyBlock(Bytes& block, SecretBytes& secret) {
    checkUnspent(m_spent);
    Botan::AutoSeeded_RNG rng;
    Bytes salt(kSaltSize);
    rng.randomize(salt.data(), salt.size());
    block.clear();
    block.push_back(m_kdf.id);
    if (m_kdf.id == kKdfPbkdf2) {
        putBigEndian(block, m_kdf.iterations, 4);
    } else {
        putBigEndian(block, m_kdf.memoryKiB, 4);
        putBigEndian(block, m_kdf.passes, 4);
        block.push_back(static_cast<uint8_t>(m_kdf.lanes));
    }
    block.push_back(static_cast<uint8_t>(salt.size()));
    block.insert(block.end(), salt.begin(), salt.end());
    secret = derive(m_password, salt.data(), salt.size(), m_kdf);
    spendPassword(m_password, m_spent);
}

PasswordKeyOpener::PasswordKeyOpener(const std::string& password) : m_password(password) {}

PasswordKeyOpener::~PasswordKeyOpener() { scrubMemory(&m_password[0], m_password.size()); }

SecretBytes PasswordKeyOpener::openKeyBlock(const uint8_t* block, size_t length) {
    checkUnspent(m_spent);
    if (length < 1) throw damagedError();
    PasswordKdf kdf;
    kdf.id = block[0];
    size_t saltAt = 0;
    if (kdf.id == kKdfPbkdf2) {
        saltAt = 5;
        if (length < saltAt) throw damagedError();
        kdf.iterations = static_cast<uint32_t>(getBigEndian(block + 1, 4));
    } else if (kdf.id == kKdfArgon2id) {
        saltAt = 10;
        if (length < saltAt) throw damagedError();
        kdf.memoryKiB = static_cast<uint32_t>(getBigEndian(block + 1, 4));
        kdf.passes = static_cast<uint32_t>(getBigEndian(block + 5, 4));
        kdf.lanes = block[9];
    } else {
        throw EngineError(ErrorKind::NotOurData, "This data uses a key derivation this program does not support.");
    }
    switch (costOf(kdf)) {
        case Cost::AboveLimit:
            throw EngineError(ErrorKind::NotOurData,
                              "This data asks for a key-derivation cost above the limit this program accepts.");
        case Cost::Invalid:
            throw damagedError();
        case Cost::Fine:
            break;
    }
    if (length < saltAt + 1) throw damagedError();
    const size_t saltLength = block[saltAt];
    if (saltLength < kMinSaltSize || saltLength > kMaxSaltSize || length != saltAt + 1 + saltLength)
        throw damagedError();
    SecretBytes secret = deriveSecret(m_password, block + saltAt + 1, saltLength, kdf);
    spendPassword(m_password, m_spent);
    return secret;
}

SecretBytes PasswordKeyOpener::deriveSecret(const std::string& password, const uint8_t* salt, size_t saltLength,
                                            const PasswordKdf& kdf) {
    return derive(password, salt, saltLength, kdf);
}

}  // namespace engine::detail
