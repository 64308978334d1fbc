// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where a container's key comes from: a key source turns a key block, which
// the header records, into the secret the data keys are derived from.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/Engine.h"
#include "engine/core/Secret.h"

namespace engine::detail {

// Largest key block (an RSA-wrapped secret for keys up to 16384 bits fits).
constexpr size_t kMaxKeyBlock = 4096;

// Password key derivations, as the key block records them. Derivation shows
// no progress and cannot be aborted, so every recorded cost is bounded.
constexpr uint8_t kKdfPbkdf2 = 1;
constexpr uint8_t kKdfArgon2id = 2;
// PBKDF2-HMAC-SHA-256 iterations: the default when PBKDF2 is asked for, and
// the most accepted (about a second here).
constexpr uint32_t kDefaultPbkdf2Iterations = 600000;
constexpr uint32_t kMaxPbkdf2Iterations = 4000000;
// Argon2id (RFC 9106, version 0x13): written by default at the RFC's second
// recommended setting (about 0.1 s here); the most accepted takes about 1.5 s.
constexpr uint32_t kDefaultArgon2MemoryKiB = 64 * 1024;
constexpr uint32_t kDefaultArgon2Passes = 3;
constexpr uint32_t kDefaultArgon2Lanes = 4;
constexpr uint32_t kMaxArgon2MemoryKiB = 256 * 1024;
constexpr uint32_t kMaxArgon2Passes = 10;
constexpr uint32_t kMaxArgon2Lanes = 8;

// A password derivation and its cost: iterations for PBKDF2; memory, passes
// and lanes for Argon2id.
struct PasswordKdf {
    uint8_t id = kKdfArgon2id;
    uint32_t iterations = 0;
    uint32_t memoryKiB = 0;
    uint32_t passes = 0;
    uint32_t lanes = 0;
};

PasswordKdf pbkdf2Kdf(uint32_t iterations);
// What new data derives with: the options' choice, 0s as the defaults.
PasswordKdf kdfForNewData(const EngineOptions& options);

enum class KeySourceKind : uint8_t { Password = 1, Rsa = 2 };

// Sealing side. One key block per container.
class KeySealer {
public:
    virtual ~KeySealer() = default;
    virtual KeySourceKind kind() const = 0;
    // Fills `block` (recorded verbatim in the header, at most kMaxKeyBlock
    // bytes; its layout belongs to the key source) and `secret` (at least 16
    // bytes, never recorded) from which the data keys are derived.
    virtual void makeKeyBlock(Bytes& block, SecretBytes& secret) = 0;
};

// Opening side. Called with the recorded key block before anything is
// authenticated, so it must treat the block as hostile: bound every cost, and
// never tell why a key does not fit. An RSA opener should return a random
// secret when unwrapping fails (as Botan's decrypt_or_random does): the
// header tag check then fails with the same WrongKeyOrDamaged words as any
// other wrong key. It may throw EngineError(NotOurData) for a block it cannot
// parse at all.
class KeyOpener {
public:
    virtual ~KeyOpener() = default;
    virtual KeySourceKind kind() const = 0;
    virtual SecretBytes openKeyBlock(const uint8_t* block, size_t length) = 0;
};

// Password key source. Key block: KDF id, its cost, salt (16 fresh random
// bytes per container); docs/password-container.md has the layout. The empty
// password is a password like any other. Each makes or opens one key block,
// and wipes its copy of the password once the key is derived (or when
// destroyed, on a failure before).
class PasswordKeySealer : public KeySealer {
public:
    // InvalidInput for a cost outside what opening accepts.
    PasswordKeySealer(const std::string& password, const PasswordKdf& kdf);
    // PBKDF2; iterations 0 means kDefaultPbkdf2Iterations.
    PasswordKeySealer(const std::string& password, uint32_t iterations)
        : PasswordKeySealer(password, pbkdf2Kdf(iterations)) {}
    ~PasswordKeySealer() override;
    KeySourceKind kind() const override { return KeySourceKind::Password; }
    void makeKeyBlock(Bytes& block, SecretBytes& secret) override;

private:
    std::string m_password;
    PasswordKdf m_kdf;
    bool m_spent = false;
};

class PasswordKeyOpener : public KeyOpener {
public:
    explicit PasswordKeyOpener(const std::string& password);
    ~PasswordKeyOpener() override;
    KeySourceKind kind() const override { return KeySourceKind::Password; }
    SecretBytes openKeyBlock(const uint8_t* block, size_t length) override;

protected:
    // The recorded derivation over the password and the recorded salt, its
    // cost checked before. The fuzzing harness puts a cheap function in its
    // place, to reach the rest of opening at a fuzzer's pace.
    virtual SecretBytes deriveSecret(const std::string& password, const uint8_t* salt, size_t saltLength,
                                     const PasswordKdf& kdf);

private:
    std::string m_password;
    bool m_spent = false;
};

}  // namespace engine::detail
