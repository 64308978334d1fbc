// SPDX-License-Identifier: Apache-2.0
// RSA containers through the public interface: a private key loaded from a
// file decrypts texts that are mostly built validly, the secret wrapped with
// the key's own public half (ContainerModel.cpp, with a key block the fuzzer
// shapes), and otherwise taken as they come. The outcome must be the reference
// opener's, whose RSA step is the library's own decryption.
//
// Input: one byte (bit 0: the 1024-bit key instead of the 512-bit one; bit 7:
// raw), then the container's fields, or the raw text.

#include <botan/auto_rng.h>
#include <botan/data_src.h>
#include <botan/hmac_drbg.h>
#include <botan/mac.h>
#include <botan/pkcs8.h>
#include <botan/pubkey.h>
#include <botan/rsa.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "fuzz/ContainerModel.h"

using namespace fuzz;

namespace {

const char* const kPadding[] = {"EME-PKCS1-v1_5", "OAEP(SHA-160)"};

// The model of the RSA key block: a schema code, then the secret wrapped with
// the public key.
class RsaSource : public ModelKeySource {
public:
    explicit RsaSource(const std::string& pemPath) {
        const std::string pem = readFile(pemPath);
        Botan::DataSource_Memory source(pem);
        m_keyHolder = Botan::PKCS8::load_key(source);
        m_key = dynamic_cast<Botan::RSA_PrivateKey*>(m_keyHolder.get());
        if (!m_key) fail("not an RSA key: " + pemPath);
        m_engineKey = root()->LoadKey(pemPath, engine::KeyKind::PrivateKey, engine::EncryptionSchema::Oaep);
    }

    uint8_t kind() const override { return 2; }

    std::string makeKeyBlock(Reader& in, std::string& secret) override {
        const uint8_t choice = in.byte();
        const uint8_t schema = (choice & 1) ? in.byte() : (choice >> 1) & 1;
        const size_t length = (choice & 4) ? in.byte() % 64 : secretLength(schema % 2);
        secret = in.bytes(length);
        secret.resize(length, '\0');
        std::string wrapped;
        if (choice & 8) {
            wrapped = in.bytes(in.u16() % 300);
        } else {
            // The padding's randomness from a fixed seed: the same input builds the same block.
            Botan::HMAC_DRBG rng(Botan::MessageAuthenticationCode::create_or_throw("HMAC(SHA-256)"));
            static const char kSeed[] = "a fixed seed of thirty-two bytes";  // seeds it only from 256 bits on
            rng.initialize_with(reinterpret_cast<const uint8_t*>(kSeed), 32);
            try {
                const Botan::PK_Encryptor_EME encryptor(*m_key, rng, kPadding[schema % 2]);
                const auto bytes =
                    encryptor.encrypt(reinterpret_cast<const uint8_t*>(secret.data()), secret.size(), rng);
                wrapped.assign(bytes.begin(), bytes.end());
            } catch (const Botan::Exception& e) {
                if (std::getenv("QUORVAL_FUZZ_SHOW")) std::fprintf(stderr, "wrap: %s\n", e.what());
                wrapped = secret;  // too long for the key
            }
        }
        if ((choice & 16) && !wrapped.empty())
            wrapped[in.u16() % wrapped.size()] ^= static_cast<char>(in.byte() | 1);
        return std::string(1, static_cast<char>(schema)) + wrapped;
    }

    std::optional<std::string> openKeyBlock(const std::string& block) override {
        if (block.empty() || static_cast<uint8_t>(block[0]) > 1) throw Refusal{ErrorKind::NotOurData, {}};
        const uint8_t schema = block[0];
        if (block.size() - 1 != m_key->get_n().bytes()) return std::nullopt;
        try {
            Botan::AutoSeeded_RNG rng;
            const Botan::PK_Decryptor_EME decryptor(*m_key, rng, kPadding[schema]);
            const auto secret =
                decryptor.decrypt(reinterpret_cast<const uint8_t*>(block.data()) + 1, block.size() - 1);
            if (secret.size() != secretLength(schema)) return std::nullopt;
            return std::string(secret.begin(), secret.end());
        } catch (const Botan::Exception&) {
            return std::nullopt;
        }
    }

    engine::EngineAsymKey& engineKey() { return *m_engineKey; }

private:
    static std::shared_ptr<engine::EngineRoot> root() {
        static const auto made = engine::CreateEngineRoot();
        return made;
    }

    // As much as the padding lets the key carry, at most 32 bytes.
    size_t secretLength(uint8_t schema) const {
        Botan::AutoSeeded_RNG rng;
        const Botan::PK_Encryptor_EME encryptor(*m_key, rng, kPadding[schema]);
        return std::min<size_t>(32, encryptor.maximum_input_size());
    }

    std::unique_ptr<Botan::Private_Key> m_keyHolder;
    Botan::RSA_PrivateKey* m_key = nullptr;
    std::shared_ptr<engine::EngineAsymKey> m_engineKey;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RsaSource keys[] = {RsaSource(QUORVAL_TEST_DATA "/containers/rsa512-private.pem"),
                               RsaSource(QUORVAL_FUZZ_DATA "/rsa1024-private.pem")};
    Reader in(data, size);
    const uint8_t choice = in.byte();
    RsaSource& key = keys[choice & 1];
    const std::string text = (choice & 0x80) ? in.rest() : buildContainer(in, key).text;
    const Expected expected = referenceOpen(text, key, -1, 0);
    expectOutcome(expected, text, [&] { return key.engineKey().DecryptText(text); });
    return 0;
}
