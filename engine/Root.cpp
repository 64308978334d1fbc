// SPDX-License-Identifier: Apache-2.0
#include "engine/Root.h"

#include <botan/hex.h>
#include <botan/version.h>

#include <exception>
#include <functional>
#include <mutex>
#include <new>
#include <string>

#include "engine/codec/Encoder.h"
#include "engine/container/Ciphers.h"
#include "engine/container/Compression.h"
#include "engine/container/SymCipher.h"
#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/digest/Algorithms.h"
#include "engine/digest/Digest.h"
#include "engine/digest/Hash.h"
#include "engine/rsa/Rsa.h"

namespace engine {

namespace detail {

namespace {

// Through the library each algorithm is computed by; newDigest names a missing one.
void expectHash(HashAlgorithm algorithm, const std::string& message, const char* expectedHex) {
    auto digest = newDigest(algorithm);
    digest->update(reinterpret_cast<const uint8_t*>(message.data()), message.size());
    if (Botan::hex_encode(digest->final(), false) != expectedHex)
        throw EngineError(ErrorKind::Internal, hashDisplayName(algorithm) + " gives a wrong digest.");
}

void runKnownAnswerTests() {
    if (Botan::version_major() != 2 || Botan::version_minor() < 19)
        throw EngineError(ErrorKind::Internal, "version " + std::to_string(Botan::version_major()) + "." +
                                                   std::to_string(Botan::version_minor()) +
                                                   " is found, 2.19 or a later 2.x is needed.");
    // RFC 1321 and the Tiger authors' vector for the empty text.
    expectHash(HashAlgorithm::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72");
    expectHash(HashAlgorithm::Tiger, "", "3293ac630c13f0245f92bbb1766e16167a4e58492dde73f3");
    blockCipherSelfTest();
    zlibSelfTest();
}

}  // namespace

void RunSelfTest() {
    std::string what;
    try {
        runKnownAnswerTests();
        return;
    } catch (const EngineError& e) {
        what = e.what();
    } catch (const std::bad_alloc&) {
        what = "there is not enough memory.";
    } catch (...) {
        what = "a known-answer test could not run.";
    }
    throw EngineError(ErrorKind::Internal, "The cryptography library failed its start-up self-test: " + what);
}

}  // namespace detail

namespace {

// The self-test runs when the first object is asked for, not when the root
// is made: most of its 3-4 ms go to the libraries setting themselves up
// (OpenSSL's provider, Botan's locked memory), which the window's start does
// not need. Every call that hands out an object to work with asks for its
// verdict first, so no data ever reaches libraries that failed it.
class SelfTest {
public:
    explicit SelfTest(std::function<void()> test) : m_test(std::move(test)) {}

    // Runs the test once; throws its failure every time it is asked.
    void require() {
        std::call_once(m_done, [this] {
            try {
                m_test();
            } catch (const std::exception& e) {
                m_failure = e.what();
            }
        });
        if (!m_failure.empty()) throw EngineError(ErrorKind::Internal, m_failure);
    }

private:
    std::function<void()> m_test;
    std::once_flag m_done;
    std::string m_failure;
};

class Root final : public EngineRoot {
public:
    Root(const EngineOptions& options, std::function<void()> selfTest)
        : m_selfTest(std::move(selfTest)), m_hub(std::make_shared<detail::ProgressHub>()), m_options(options) {}

    void SetOnProcess(OnProcessHandler handler) override { m_hub->setHandler(std::move(handler)); }

    std::shared_ptr<EngineHash> NewHash(HashAlgorithm algorithm) override {
        return detail::NewHashObject(context(), algorithm);
    }

    std::shared_ptr<EngineSymCipher> NewSymCipher(SymAlgorithm algorithm, const Text& password,
                                                  int32_t keyBits) override {
        return detail::NewSymCipherObject(context(), algorithm, password, keyBits);
    }

    std::shared_ptr<EngineAsymKey> NewKeyPair(KeyKind keyKind, int32_t keyBits, const Text& seed,
                                              EncryptionSchema schema,
                                              std::shared_ptr<EngineAsymKey>& publicKey) override {
        return detail::NewRsaKeyPair(context(), keyKind, keyBits, seed, schema, publicKey);
    }

    std::shared_ptr<EngineAsymKey> LoadKey(const Text& fileName, KeyKind keyKind,
                                           EncryptionSchema schema) override {
        return detail::LoadRsaKey(context(), fileName, keyKind, schema);
    }

    std::shared_ptr<EngineEncoder> NewEncoder(OutputEncoding encoding) override {
        return detail::NewEncoderObject(context(), encoding);
    }

private:
    // Every object comes from here: none is made before the self-test has passed.
    detail::EngineContext context() {
        m_selfTest.require();
        return detail::EngineContext{m_hub, m_options};
    }

    SelfTest m_selfTest;
    // Objects hold the hub weakly: once the root is gone their reports go nowhere.
    std::shared_ptr<detail::ProgressHub> m_hub;
    EngineOptions m_options;
};

}  // namespace

namespace detail {

std::shared_ptr<EngineRoot> NewRoot(const EngineOptions& options, std::function<void()> selfTest) {
    return std::make_shared<Root>(options, std::move(selfTest));
}

}  // namespace detail

std::shared_ptr<EngineRoot> CreateEngineRoot(const EngineOptions& options) {
    return detail::NewRoot(options, detail::RunSelfTest);
}

}  // namespace engine
