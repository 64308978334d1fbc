// SPDX-License-Identifier: Apache-2.0
// The password container, opened below the key derivation so that each input
// is cheap: the opener is the engine's, with a quick function in the place of
// PBKDF2 and Argon2id. Most inputs build a validly MACed container whose every
// field the fuzzer chooses (ContainerModel.cpp); the rest go to the opener as
// they are.
// Either way the outcome must be the reference opener's.
//
// Input: one byte (bit 7: raw; else bit 0: rules other than the container's
// own, from bits 1-3), then the container's fields, or the raw text.

#include "engine/container/Container.h"
#include "fuzz/ContainerModel.h"

using namespace fuzz;
using namespace engine::detail;

namespace {

class CheapOpener : public PasswordKeyOpener {
public:
    CheapOpener() : PasswordKeyOpener("fuzz") {}

protected:
    SecretBytes deriveSecret(const std::string&, const uint8_t* salt, size_t saltLength,
                             const PasswordKdf& kdf) override {
        const std::string secret =
            kdf.id == kKdfPbkdf2
                ? CheapPasswordSource::secretFor(salt, saltLength, kdf.id, kdf.iterations, 0, 0)
                : CheapPasswordSource::secretFor(salt, saltLength, kdf.id, kdf.memoryKiB, kdf.passes, kdf.lanes);
        return SecretBytes(secret.begin(), secret.end());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const uint8_t choice = in.byte();
    CheapPasswordSource model;
    std::string text;
    // The decrypting object's algorithm and key length: usually the container's own.
    int algorithm = (choice >> 1) & 1;
    uint32_t keyBits = 128 + 64 * ((choice >> 2) % 3);
    if (choice & 0x80) {
        text = in.rest();
    } else {
        const BuiltContainer built = buildContainer(in, model);
        text = built.text;
        if (!(choice & 1)) {
            algorithm = built.algorithm;
            keyBits = built.keyBits;
        }
    }
    const Expected expected = referenceOpen(text, model, algorithm, keyBits);
    CheapOpener opener;
    OpenRules rules;
    rules.algorithm = static_cast<CipherAlgorithm>(algorithm);
    rules.keyBits = keyBits;
    expectOutcome(expected, text, [&] { return openText(EngineContext{}, 1, text, opener, rules); });
    return 0;
}
