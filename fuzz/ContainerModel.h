// SPDX-License-Identifier: Apache-2.0
#pragma once
// A model of the encrypted container, written from docs/password-container.md
// and docs/rsa-encryption.md alone: a builder that lets the fuzzer choose every
// field and still computes valid MACs, and a reference opener that says what
// opening any text must give. The harnesses run the engine's opener on the same
// text and compare: the plain text, or the kind of refusal (and, for bad
// Base64 or Hex, the very words).

#include <functional>
#include <optional>
#include <string>

#include "fuzz/FuzzSupport.h"

namespace fuzz {

// A refusal the reference expects, thrown inside the model.
struct Refusal {
    ErrorKind kind;
    std::string message;  // checked only for InvalidInput
};

// The model of a key source.
class ModelKeySource {
public:
    virtual ~ModelKeySource() = default;
    virtual uint8_t kind() const = 0;  // the header's key source: 1 password, 2 RSA
    // A key block from the fuzzer's bytes, and the secret it carries.
    virtual std::string makeKeyBlock(Reader& in, std::string& secret) = 0;
    // What the engine must make of a recorded block: its secret, nullopt when
    // the key does not open it (the engine then goes on with a random secret),
    // or a Refusal.
    virtual std::optional<std::string> openKeyBlock(const std::string& block) = 0;
};

// The password source below the key derivation: the secret is SHA-256 of a
// fixed text, the KDF, its cost (PBKDF2's iterations, or Argon2id's memory,
// passes and lanes) and the salt, which the harness's opener computes in the
// place of the derivation.
class CheapPasswordSource : public ModelKeySource {
public:
    uint8_t kind() const override { return 1; }
    std::string makeKeyBlock(Reader& in, std::string& secret) override;
    std::optional<std::string> openKeyBlock(const std::string& block) override;
    static std::string secretFor(const uint8_t* salt, size_t saltLength, uint8_t kdf, uint32_t cost1, uint32_t cost2,
                                 uint32_t cost3);
};

struct Expected {
    bool ok = false;
    std::string plain;
    Refusal refusal{ErrorKind::Internal, {}};
    // A stream both whole-and-too-large and broken: either refusal is right.
    bool tooLargeOrDamaged = false;
};

struct BuiltContainer {
    std::string text;
    uint8_t algorithm = 0;  // as recorded: what rules that match it would name
    uint32_t keyBits = 0;
};

BuiltContainer buildContainer(Reader& in, ModelKeySource& key);

// What opening `text` must give. `rulesAlgorithm` < 0: no rules (RSA).
Expected referenceOpen(const std::string& text, ModelKeySource& key, int rulesAlgorithm,
                       uint32_t rulesKeyBits);

// Runs `open` and checks its outcome against `expected`; any mismatch aborts.
void expectOutcome(const Expected& expected, const std::string& text,
                   const std::function<std::string()>& open);

}  // namespace fuzz
