// SPDX-License-Identifier: Apache-2.0
// New RSA key pairs: the root's NewKeyPair.

#include <botan/auto_rng.h>
#include <botan/bigint.h>
#include <botan/numthry.h>
#include <botan/rsa.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/rsa/Rsa.h"
#include "engine/rsa/RsaKey.h"

namespace engine::detail {

namespace {

constexpr size_t kPublicExponent = 65537;
// Measured per key in-process: OpenSSL 3.9 ms at 512 bits and 10.5 ms at 1024
// against Botan's 16 ms at 1024 (it refuses 512); Botan 95 ms at 2048 against
// OpenSSL's 250 ms, before its primes were searched for on two threads.
// (OpenSSL takes its slower FIPS 186-4 route from 2048 bits.)
constexpr size_t kBotanFasterFromBits = 2048;

// A generator that runs `before` each time Botan's prime search asks it for
// randomness, which it does at every candidate and every Miller-Rabin round:
// the calling thread reports progress there (and so can be aborted), the
// helper thread checks whether anyone still waits for it.
template <class Before>
class HookedRng final : public Botan::RandomNumberGenerator {
public:
    HookedRng(Botan::RandomNumberGenerator& inner, Before before) : m_inner(inner), m_before(std::move(before)) {}

    void randomize(uint8_t output[], size_t length) override {
        m_before();
        m_inner.randomize(output, length);
    }
    bool accepts_input() const override { return m_inner.accepts_input(); }
    void add_entropy(const uint8_t input[], size_t length) override { m_inner.add_entropy(input, length); }
    std::string name() const override { return m_inner.name(); }
    void clear() override { m_inner.clear(); }
    bool is_seeded() const override { return m_inner.is_seeded(); }

private:
    Botan::RandomNumberGenerator& m_inner;
    Before m_before;
};

// The system-seeded generator of one thread. The seed only adds to the
// system's randomness, as additional input; it never replaces it.
std::unique_ptr<Botan::AutoSeeded_RNG> seededRng(const Text& seed) {
    auto rng = std::make_unique<Botan::AutoSeeded_RNG>();
    if (!seed.empty()) rng->add_entropy(reinterpret_cast<const uint8_t*>(seed.data()), seed.size());
    return rng;
}

// Botan's generator asks for this much certainty that a prime is one.
constexpr size_t kPrimeTestProbability = 128;

// Thrown on the helper thread to end its search once nobody waits for it.
struct SearchStopped {};

// One prime of an RSA key, searched for on a thread of its own while the
// calling thread searches for the other. Leaving the scope stops and joins it.
// A mutex and a condition hand the prime over, not std::future: its shared
// state is also instantiated in Botan, which runs RSA's private operation
// through std::async, and a copy of ours would stand in for Botan's.
class PrimeSearch {
public:
    PrimeSearch(size_t bits, const Botan::BigInt& exponent, const Text& seed) {
        try {
            m_thread = std::thread([this, bits, exponent, seed] { search(bits, exponent, seed); });
        } catch (const std::system_error&) {
            // No thread to be had: the calling thread searches for this one too.
        }
    }
    ~PrimeSearch() {
        m_stop.store(true, std::memory_order_relaxed);
        if (m_thread.joinable()) m_thread.join();
    }
    PrimeSearch(const PrimeSearch&) = delete;
    PrimeSearch& operator=(const PrimeSearch&) = delete;

    // The prime, once found; meanwhile the calling thread keeps reporting,
    // and so can be aborted. Without a thread, `rng` finds it here.
    Botan::BigInt wait(Progress& progress, Botan::RandomNumberGenerator& rng, size_t bits,
                       const Botan::BigInt& exponent) {
        if (!m_thread.joinable())
            return Botan::generate_rsa_prime(rng, rng, bits, exponent, kPrimeTestProbability);
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_done) {
            if (m_ready.wait_for(lock, kWaitStep, [this] { return m_done; })) break;
            lock.unlock();
            progress.poll();
            lock.lock();
        }
        if (m_failure) std::rethrow_exception(m_failure);
        return std::move(*m_prime);
    }

private:
    // Short beside the pacing of reports, so that a report is never late by much.
    static constexpr std::chrono::milliseconds kWaitStep{5};

    void search(size_t bits, const Botan::BigInt& exponent, const Text& seed) {
        std::optional<Botan::BigInt> prime;
        std::exception_ptr failure;
        try {
            std::unique_ptr<Botan::AutoSeeded_RNG> systemRng = seededRng(seed);
            // Reports belong to the calling thread: this one stops at the
            // next candidate or test round once the call has ended.
            HookedRng rng(*systemRng, [this] {
                if (m_stop.load(std::memory_order_relaxed)) throw SearchStopped{};
            });
            prime = Botan::generate_rsa_prime(rng, rng, bits, exponent, kPrimeTestProbability);
        } catch (const SearchStopped&) {
            // Nobody waits: the call has ended.
            return;
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_prime = std::move(prime);
            m_failure = failure;
            m_done = true;
        }
        m_ready.notify_one();
    }

    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_done = false;  // under m_mutex, as the two below
    std::optional<Botan::BigInt> m_prime;
    std::exception_ptr m_failure;
    std::thread m_thread;
};

// Botan's generator, at the sizes where it is the faster library, as the
// library builds it (the same prime search and tests, the same numbers
// derived from the primes), but with the two primes searched for at once.
std::shared_ptr<Botan::RSA_PrivateKey> botanKey(size_t bits, const Text& seed, Progress& progress) {
    const Botan::BigInt exponent(kPublicExponent);
    const size_t pBits = (bits + 1) / 2;
    const size_t qBits = bits - pBits;
    std::unique_ptr<Botan::AutoSeeded_RNG> systemRng = seededRng(seed);
    HookedRng rng(*systemRng, [&progress] { progress.poll(); });
    while (true) {
        PrimeSearch second(qBits, exponent, seed);
        const Botan::BigInt p = Botan::generate_rsa_prime(rng, rng, pBits, exponent, kPrimeTestProbability);
        progress.advance(1);
        const Botan::BigInt q = second.wait(progress, rng, qBits, exponent);
        progress.advance(1);
        if (p == q)
            throw EngineError(ErrorKind::Internal, "Generating an RSA key pair failed: the random numbers repeat.");
        // With the top two bits of both primes set, p * q has the full length.
        if ((p * q).bits() == bits) return std::make_shared<Botan::RSA_PrivateKey>(p, q, exponent);
    }
}

struct PkeyContextFree {
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

// Called by OpenSSL at every prime candidate and test round. An abort (or any
// failure of the report) must not unwind through C code: it is kept, and the
// generation is stopped by returning 0.
struct GenerationReport {
    Progress& progress;
    std::exception_ptr failure;
};

int reportGeneration(EVP_PKEY_CTX* context) {
    auto* report = static_cast<GenerationReport*>(EVP_PKEY_CTX_get_app_data(context));
    try {
        // Event 3 marks a prime found.
        if (EVP_PKEY_CTX_get_keygen_info(context, 0) == 3)
            report->progress.advance(1);
        else
            report->progress.poll();
        return 1;
    } catch (...) {
        report->failure = std::current_exception();
        return 0;
    }
}

Botan::BigInt keyNumber(const EVP_PKEY* key, const char* name) {
    BIGNUM* number = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &number) != 1) {
        ERR_clear_error();
        throw EngineError(ErrorKind::Internal, "Generating an RSA key pair failed: the new key is incomplete.");
    }
    Botan::secure_vector<uint8_t> bytes(static_cast<size_t>(BN_num_bytes(number)));
    BN_bn2bin(number, bytes.data());
    BN_clear_free(number);
    return Botan::BigInt(bytes.data(), bytes.size());
}

// OpenSSL's generator, at the sizes where it is the faster library (512 and
// 1024 bits; Botan refuses 512). The key is handed to Botan, which does
// everything else with it.
std::shared_ptr<Botan::RSA_PrivateKey> opensslKey(size_t bits, const Text& seed, Progress& progress) {
    // The seed only adds to the system's randomness, as additional input to
    // the library's generator; it never replaces it.
    if (!seed.empty()) RAND_add(seed.data(), static_cast<int>(std::min<size_t>(seed.size(), INT32_MAX)), 0.0);

    std::unique_ptr<EVP_PKEY_CTX, PkeyContextFree> context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    GenerationReport report{progress, nullptr};
    std::unique_ptr<BIGNUM, decltype(&BN_free)> exponent(BN_new(), &BN_free);
    if (!context || !exponent || BN_set_word(exponent.get(), kPublicExponent) != 1 ||
        EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) != 1 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(context.get(), exponent.get()) != 1) {
        ERR_clear_error();
        throw EngineError(ErrorKind::Internal, "Generating an RSA key pair failed: the generator could not start.");
    }
    EVP_PKEY_CTX_set_app_data(context.get(), &report);
    EVP_PKEY_CTX_set_cb(context.get(), reportGeneration);

    EVP_PKEY* generated = nullptr;
    const int status = EVP_PKEY_generate(context.get(), &generated);
    std::unique_ptr<EVP_PKEY, PkeyFree> key(generated);
    if (report.failure) {
        ERR_clear_error();
        std::rethrow_exception(report.failure);
    }
    if (status != 1 || !key) {
        ERR_clear_error();
        throw EngineError(ErrorKind::Internal, "Generating an RSA key pair failed: no valid key was found.");
    }
    return std::make_shared<Botan::RSA_PrivateKey>(
        keyNumber(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR1), keyNumber(key.get(), OSSL_PKEY_PARAM_RSA_FACTOR2),
        keyNumber(key.get(), OSSL_PKEY_PARAM_RSA_E), keyNumber(key.get(), OSSL_PKEY_PARAM_RSA_D),
        keyNumber(key.get(), OSSL_PKEY_PARAM_RSA_N));
}

void checkKeyBits(int32_t keyBits) {
    if (keyBits != 512 && keyBits != 1024 && keyBits != 2048)
        throw EngineError(ErrorKind::InvalidInput,
                          "Key length " + std::to_string(keyBits) +
                              " bits is not supported: choose 512, 1024 or 2048 bits.");
}

}  // namespace

std::shared_ptr<EngineAsymKey> NewRsaKeyPair(const EngineContext& context, KeyKind keyKind, int32_t keyBits,
                                             const Text& seed, EncryptionSchema schema,
                                             std::shared_ptr<EngineAsymKey>& publicKey) {
    if (keyKind != KeyKind::KeyPair)
        throw EngineError(ErrorKind::InvalidInput, "Key kind " +
                                                       std::to_string(static_cast<int32_t>(keyKind)) +
                                                       " cannot be generated: only key pairs (2) can.");
    checkKeyBits(keyBits);
    const RsaSchema rsaSchema = rsaSchemaOf(schema);

    const int32_t hashCode = newHashCode();
    Progress progress(context.hub, hashCode, 2);  // two primes
    progress.begin();

    return translateErrors("Generating an RSA key pair", [&]() -> std::shared_ptr<EngineAsymKey> {
        const size_t bits = static_cast<size_t>(keyBits);
        std::shared_ptr<Botan::RSA_PrivateKey> key =
            bits >= kBotanFasterFromBits ? botanKey(bits, seed, progress) : opensslKey(bits, seed, progress);
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
