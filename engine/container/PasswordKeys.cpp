// SPDX-License-Identifier: Apache-2.0
// The password key source: PBKDF2-HMAC-SHA-256 over the password and a salt.
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

}  // namespace

PasswordKeySealer::PasswordKeySealer(const std::string& password, uint32_t iterations)
    : m_password(password), m_iterations(iterations == 0 ? kDefaultPbkdf2Iterations : iterations) {
    if (m_iterations > kMaxPbkdf2Iterations)
        throw EngineError(ErrorKind::InvalidInput, "The key-derivation cost is above the limit.");
}

PasswordKeySealer::~PasswordKeySealer() { scrubMemory(&m_password[0], m_password.size()); }

void PasswordKeySealer::makeKeyBlock(Bytes& block, SecretBytes& secret) {
    checkUnspent(m_spent);
    Botan::AutoSeeded_RNG rng;
    Bytes salt(kSaltSize);
    rng.randomize(salt.data(), salt.size());
    block.clear();
    block.push_back(kKdfPbkdf2);
    putBigEndian(block, m_iterations, 4);
    block.push_back(static_cast<uint8_t>(salt.size()));
    block.insert(block.end(), salt.begin(), salt.end());
    secret.assign(kSecretSize, 0);
    Botan::PasswordHashFamily::create_or_throw("PBKDF2(SHA-256)")
        ->from_params(m_iterations)
        ->derive_key(secret.data(), secret.size(), m_password.data(), m_password.size(), salt.data(),
                     salt.size());
    spendPassword(m_password, m_spent);
}

PasswordKeyOpener::PasswordKeyOpener(const std::string& password) : m_password(password) {}

PasswordKeyOpener::~PasswordKeyOpener() { scrubMemory(&m_password[0], m_password.size()); }

SecretBytes PasswordKeyOpener::openKeyBlock(const uint8_t* block, size_t length) {
    checkUnspent(m_spent);
    if (length < 1) throw damagedError();
    if (block[0] != kKdfPbkdf2)
        throw EngineError(ErrorKind::NotOurData,
                          "This data uses a key derivation this program does not support.");
    if (length < 5) throw damagedError();
    const uint64_t iterations = getBigEndian(block + 1, 4);
    if (iterations == 0) throw damagedError();
    if (iterations > kMaxPbkdf2Iterations)
        throw EngineError(ErrorKind::NotOurData,
                          "This data asks for a key-derivation cost above the limit this program accepts.");
    constexpr size_t kSaltAt = 5;
    if (length < kSaltAt + 1) throw damagedError();
    const size_t saltLength = block[kSaltAt];
    if (saltLength < kMinSaltSize || saltLength > kMaxSaltSize || length != kSaltAt + 1 + saltLength)
        throw damagedError();
    SecretBytes secret =
        deriveSecret(m_password, block + kSaltAt + 1, saltLength, static_cast<uint32_t>(iterations));
    spendPassword(m_password, m_spent);
    return secret;
}

SecretBytes PasswordKeyOpener::deriveSecret(const std::string& password, const uint8_t* salt,
                                            size_t saltLength, uint32_t iterations) {
    SecretBytes secret(kSecretSize);
    Botan::PasswordHashFamily::create_or_throw("PBKDF2(SHA-256)")
        ->from_params(iterations)
        ->derive_key(secret.data(), secret.size(), password.data(), password.size(), salt, saltLength);
    return secret;
}

}  // namespace engine::detail
