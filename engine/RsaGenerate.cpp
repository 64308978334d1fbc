// New RSA key pairs: the root's NewKeyPair.

#include <botan/auto_rng.h>
#include <botan/bigint.h>
#include <botan/numthry.h>
#include <botan/rsa.h>

#include "engine/Errors.h"
#include "engine/Progress.h"
#include "engine/Rsa.h"
#include "engine/RsaKey.h"

namespace engine::detail {

namespace {

constexpr size_t kPublicExponent = 65537;
// Drawing two primes almost never fails to give the exact size; give up rather than loop forever.
constexpr int kMaxAttempts = 64;

// The system-seeded generator, with a progress report (and so a chance to
// abort) each time the prime search asks for randomness, which it does at
// every candidate and every Miller-Rabin round.
class ReportingRng final : public Botan::RandomNumberGenerator {
public:
    ReportingRng(Botan::RandomNumberGenerator& inner, Progress& progress)
        : m_inner(inner), m_progress(progress) {}

    void randomize(uint8_t output[], size_t length) override {
        m_progress.poll();
        m_inner.randomize(output, length);
    }
    bool accepts_input() const override { return m_inner.accepts_input(); }
    void add_entropy(const uint8_t input[], size_t length) override { m_inner.add_entropy(input, length); }
    std::string name() const override { return m_inner.name(); }
    void clear() override { m_inner.clear(); }
    bool is_seeded() const override { return m_inner.is_seeded(); }

private:
    Botan::RandomNumberGenerator& m_inner;
    Progress& m_progress;
};

// The library refuses to generate keys below this size.
constexpr size_t kLibraryMinimumBits = 1024;

// A key below the library's minimum, from two primes of half the size each.
std::shared_ptr<Botan::RSA_PrivateKey> smallKey(Botan::RandomNumberGenerator& rng, size_t bits,
                                                Progress& progress) {
    const Botan::BigInt e(kPublicExponent);
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        // random_prime sets the two top bits, so two halves give a modulus of exactly `bits`;
        // the coprime argument keeps e invertible.
        Botan::BigInt p = Botan::random_prime(rng, bits / 2, e);
        progress.advance(1);
        Botan::BigInt q = Botan::random_prime(rng, bits - bits / 2, e);
        progress.advance(1);
        if (p == q || (p * q).bits() != bits) continue;
        auto key = std::make_shared<Botan::RSA_PrivateKey>(p, q, e);
        if (key->check_key(rng, false)) return key;
    }
    return nullptr;
}

void checkKeyBits(int32_t keyBits) {
    if (keyBits != 512 && keyBits != 1024 && keyBits != 2048)
        throw EngineError(ErrorKind::InvalidInput,
                          "Key length " + std::to_string(keyBits) +
                              " bits is not supported: choose 512, 1024 or 2048 bits.");
}

}  // namespace

std::shared_ptr<EngineAsymKey> NewRsaKeyPair(const EngineContext& context, int32_t keyKind, int32_t keyBits,
                                             const Text& seed, int32_t schema,
                                             std::shared_ptr<EngineAsymKey>& publicKey) {
    if (keyKind != KeyPair)
        throw EngineError(ErrorKind::InvalidInput, "Key kind " + std::to_string(keyKind) +
                                                       " cannot be generated: only key pairs (2) can.");
    checkKeyBits(keyBits);
    const RsaSchema rsaSchema = rsaSchemaFromCode(schema);

    const int32_t hashCode = newHashCode();
    Progress progress(context.hub, hashCode, 2);  // two primes
    progress.begin();

    return translateErrors("Generating an RSA key pair", [&]() -> std::shared_ptr<EngineAsymKey> {
        Botan::AutoSeeded_RNG systemRng;
        // The seed only adds to the system's randomness; it never replaces it.
        if (!seed.empty()) systemRng.add_entropy(reinterpret_cast<const uint8_t*>(seed.data()), seed.size());
        ReportingRng rng(systemRng, progress);

        const size_t bits = static_cast<size_t>(keyBits);
        std::shared_ptr<Botan::RSA_PrivateKey> key;
        if (bits >= kLibraryMinimumBits) {
            // The library's own generator is the fastest path where it accepts the size.
            key = std::make_shared<Botan::RSA_PrivateKey>(rng, bits, kPublicExponent);
            progress.advance(2);
        } else {
            key = smallKey(rng, bits, progress);
        }
        if (!key || key->get_n().bits() != bits || key->get_e() != Botan::BigInt(kPublicExponent))
            throw EngineError(ErrorKind::Internal,
                              "Generating an RSA key pair failed: no valid key was found.");

        progress.finish();
        auto publicHalf = std::make_shared<const Botan::RSA_PublicKey>(key->get_n(), key->get_e());
        publicKey = std::make_shared<RsaKeyObject>(context, newHashCode(), publicHalf, nullptr, rsaSchema);
        return std::make_shared<RsaKeyObject>(context, hashCode, key, key, rsaSchema);
    });
}

}  // namespace engine::detail
