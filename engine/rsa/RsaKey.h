// SPDX-License-Identifier: Apache-2.0
#pragma once
// The RSA key object behind EngineAsymKey, and the pieces the RSA sources
// share (internal to the engine: this header includes Botan).

#include <botan/rng.h>
#include <botan/rsa.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "engine/codec/Codec.h"
#include "engine/container/Container.h"
#include "engine/core/Context.h"

namespace engine::detail {

class ByteSource;

// The public schema codes, as the key block of a container records them.
enum class RsaSchema : uint8_t { Pkcs1v15 = 0, Oaep = 1 };

// The schema for Pkcs1 or Oaep; any other value throws EngineError(InvalidInput).
RsaSchema rsaSchemaOf(EncryptionSchema schema);
// Botan's name of the encryption padding: "EME-PKCS1-v1_5" or "OAEP(SHA-160)".
const char* rsaPaddingName(RsaSchema schema);
// PKCS#1 v1.5 with SHA-256: fits every key size we make, 512 bits included.
constexpr const char* kRsaSignatureScheme = "EMSA3(SHA-256)";

// Key sizes accepted from key files: below 512 bits OAEP cannot carry the
// secret; far above 16384 bits every operation would take minutes.
constexpr size_t kMinRsaBits = 512;
constexpr size_t kMaxRsaBits = 16384;

// Bytes of the fresh secret that RSA protects for one container: as much as
// the padding lets the key carry, up to 32 (22 for OAEP on a 512-bit key).
size_t rsaSecretLength(const Botan::RSA_PublicKey& key, RsaSchema schema);

// Key source of RSA containers. Key block: the schema code (1 byte), then the
// secret encrypted with the public key (exactly as long as the modulus).
class RsaKeySealer : public KeySealer {
public:
    RsaKeySealer(const Botan::RSA_PublicKey& key, RsaSchema schema) : m_key(key), m_schema(schema) {}
    KeySourceKind kind() const override { return KeySourceKind::Rsa; }
    void makeKeyBlock(Bytes& block, SecretBytes& secret) override;

private:
    const Botan::RSA_PublicKey& m_key;
    RsaSchema m_schema;
};

class RsaKeyOpener : public KeyOpener {
public:
    explicit RsaKeyOpener(const Botan::RSA_PrivateKey& key) : m_key(key) {}
    KeySourceKind kind() const override { return KeySourceKind::Rsa; }
    // A block made for another key gives a random secret, never a reason.
    SecretBytes openKeyBlock(const uint8_t* block, size_t length) override;

private:
    const Botan::RSA_PrivateKey& m_key;
};

// One RSA key as the window sees it: a private key (which can also encrypt
// and verify) or a public key alone.
class RsaKeyObject final : public EngineAsymKey {
public:
    // `privateKey` may be null; `publicKey` never is.
    RsaKeyObject(const EngineContext& context, int32_t hashCode,
                 std::shared_ptr<const Botan::RSA_PublicKey> publicKey,
                 std::shared_ptr<const Botan::RSA_PrivateKey> privateKey, RsaSchema schema);

    Text EncryptText(const Text& text) override;
    Text DecryptText(const Text& text) override;
    void EncryptFile(const Text& sourcePath, const Text& targetPath) override;
    void DecryptFile(const Text& sourcePath, const Text& targetPath) override;
    void DecryptFileToStream(const Text& sourcePath, int fd) override;
    void Compression(int16_t level) override;
    void Encoding(OutputEncoding encoding) override;

    void SaveToFile(const Text& path) override;
    Text SignFile(const Text& path) override;
    Text SignText(const Text& text) override;
    bool VerifyFile(const Text& path, const Text& signature) override;
    bool VerifyText(const Text& text, const Text& signature) override;

    bool hasPrivateKey() const { return m_private != nullptr; }

private:
    const Botan::RSA_PrivateKey& privateKeyFor(const char* operation) const;
    // One path for texts and files; `context` starts a failure's description.
    std::string sign(const Botan::RSA_PrivateKey& key, ByteSource& source, const std::string& context);
    bool verify(ByteSource& source, const Text& signature, const std::string& context);

    EngineContext m_context;
    int32_t m_hashCode;
    std::shared_ptr<const Botan::RSA_PublicKey> m_public;
    std::shared_ptr<const Botan::RSA_PrivateKey> m_private;
    RsaSchema m_schema;
    detail::Encoding m_encoding = detail::Encoding::Binary;
    int16_t m_compression = 0;
};

// Key files (RsaKeyFile.cpp). Writes PKCS#8 PEM (mode 0600) for a private key,
// X.509 SubjectPublicKeyInfo PEM for a public key, atomically.
void saveRsaKey(const EngineContext& context, int32_t hashCode, const Botan::RSA_PublicKey& publicKey,
                const Botan::RSA_PrivateKey* privateKey, const std::string& path);

}  // namespace engine::detail
