// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where a container's key comes from: a key source turns a key block, which
// the header records, into the secret the data keys are derived from.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/core/Secret.h"

namespace engine::detail {

// Largest key block (an RSA-wrapped secret for keys up to 16384 bits fits).
constexpr size_t kMaxKeyBlock = 4096;
// PBKDF2-HMAC-SHA-256 iterations: written by default, and the most accepted
// (key derivation shows no progress and cannot be aborted: about a second here).
constexpr uint32_t kDefaultPbkdf2Iterations = 600000;
constexpr uint32_t kMaxPbkdf2Iterations = 4000000;

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

// Password key source. Key block: KDF id (PBKDF2 only; any other is
// NotOurData), its iterations, salt (16 fresh random bytes per container). The
// empty password is a password like any other. Each makes or opens one key
// block, and wipes its copy of the password once the key is derived (or when
// destroyed, on a failure before).
class PasswordKeySealer : public KeySealer {
public:
    // iterations 0 means kDefaultPbkdf2Iterations.
    PasswordKeySealer(const std::string& password, uint32_t iterations);
    ~PasswordKeySealer() override;
    KeySourceKind kind() const override { return KeySourceKind::Password; }
    void makeKeyBlock(Bytes& block, SecretBytes& secret) override;

private:
    std::string m_password;
    uint32_t m_iterations;
    bool m_spent = false;
};

class PasswordKeyOpener : public KeyOpener {
public:
    explicit PasswordKeyOpener(const std::string& password);
    ~PasswordKeyOpener() override;
    KeySourceKind kind() const override { return KeySourceKind::Password; }
    SecretBytes openKeyBlock(const uint8_t* block, size_t length) override;

protected:
    // PBKDF2 over the password and the recorded salt, with the recorded cost
    // (checked first). The fuzzing harness puts a cheap function in its place,
    // to reach the rest of opening at a fuzzer's pace.
    virtual SecretBytes deriveSecret(const std::string& password, const uint8_t* salt, size_t saltLength,
                                     uint32_t iterations);

private:
    std::string m_password;
    bool m_spent = false;
};

}  // namespace engine::detail
