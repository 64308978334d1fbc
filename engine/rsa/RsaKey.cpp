// SPDX-License-Identifier: Apache-2.0
// RSA key objects: encryption through the container, signatures, and the
// key block that carries the container's secret.

#include "engine/rsa/RsaKey.h"

#include <botan/auto_rng.h>
#include <botan/pubkey.h>

#include <algorithm>
#include <vector>

#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/io/Files.h"
#include "engine/io/Streams.h"

namespace engine::detail {

namespace {

// Never wrap more than this: 256 bits of secret are all the data keys need.
constexpr size_t kMaxSecretLength = 32;

}  // namespace

RsaSchema rsaSchemaOf(EncryptionSchema schema) {
    switch (schema) {
        case EncryptionSchema::Pkcs1:
            return RsaSchema::Pkcs1v15;
        case EncryptionSchema::Oaep:
            return RsaSchema::Oaep;
    }
    throw EngineError(ErrorKind::InvalidInput, "Encryption schema " +
                                                   std::to_string(static_cast<int32_t>(schema)) +
                                                   " is not supported: use 1 (OAEP) or 0 (PKCS#1 v1.5).");
}

const char* rsaPaddingName(RsaSchema schema) {
    return schema == RsaSchema::Oaep ? "OAEP(SHA-160)" : "EME-PKCS1-v1_5";
}

size_t rsaSecretLength(const Botan::RSA_PublicKey& key, RsaSchema schema) {
    Botan::AutoSeeded_RNG rng;
    const Botan::PK_Encryptor_EME encryptor(key, rng, rsaPaddingName(schema));
    return std::min(kMaxSecretLength, encryptor.maximum_input_size());
}

// --- The key block ------------------------------------------------------------

void RsaKeySealer::makeKeyBlock(Bytes& block, SecretBytes& secret) {
    Botan::AutoSeeded_RNG rng;
    const Botan::PK_Encryptor_EME encryptor(m_key, rng, rsaPaddingName(m_schema));
    // The opening side computes the same length from the private key.
    const size_t length = rsaSecretLength(m_key, m_schema);
    if (length < 16) throw EngineError(ErrorKind::InvalidInput, "This RSA key is too short to encrypt with.");
    secret.assign(length, 0);
    rng.randomize(secret.data(), secret.size());
    const std::vector<uint8_t> wrapped = encryptor.encrypt(secret.data(), secret.size(), rng);
    block.clear();
    block.push_back(static_cast<uint8_t>(m_schema));
    block.insert(block.end(), wrapped.begin(), wrapped.end());
}

SecretBytes RsaKeyOpener::openKeyBlock(const uint8_t* block, size_t length) {
    if (length < 1 || block[0] > static_cast<uint8_t>(RsaSchema::Oaep)) throw notOurDataError();
    const auto schema = static_cast<RsaSchema>(block[0]);
    const size_t expected = rsaSecretLength(m_key, schema);

    Botan::AutoSeeded_RNG rng;
    SecretBytes secret(expected);
    // Whatever goes wrong (another key's size, a number above the modulus, bad
    // padding), the answer is a random secret: the header tag then fails like
    // for any wrong key, so nothing tells the causes apart.
    try {
        if (length - 1 == m_key.get_n().bytes()) {
            const Botan::PK_Decryptor_EME decryptor(m_key, rng, rsaPaddingName(schema));
            const Botan::secure_vector<uint8_t> opened =
                decryptor.decrypt_or_random(block + 1, length - 1, expected, rng);
            std::copy(opened.begin(), opened.end(), secret.begin());
            return secret;
        }
    } catch (const Botan::Exception&) {
    }
    rng.randomize(secret.data(), secret.size());
    return secret;
}

// --- The key object --------------------------------------------------------------

RsaKeyObject::RsaKeyObject(const EngineContext& context, int32_t hashCode,
                           std::shared_ptr<const Botan::RSA_PublicKey> publicKey,
                           std::shared_ptr<const Botan::RSA_PrivateKey> privateKey, RsaSchema schema)
    : m_context(context),
      m_hashCode(hashCode),
      m_public(std::move(publicKey)),
      m_private(std::move(privateKey)),
      m_schema(schema) {}

const Botan::RSA_PrivateKey& RsaKeyObject::privateKeyFor(const char* operation) const {
    if (!m_private)
        throw EngineError(ErrorKind::MissingKey,
                          std::string("This is a public key: ") + operation + " needs the private key.");
    return *m_private;
}

void RsaKeyObject::Compression(int16_t level) {
    if (level < -1 || level > 9)
        throw EngineError(ErrorKind::InvalidInput,
                          "Compression level " + std::to_string(level) + " is not supported: use -1 to 9.");
    m_compression = level;
}

void RsaKeyObject::Encoding(OutputEncoding encoding) { m_encoding = checkedEncoding(encoding); }

Text RsaKeyObject::EncryptText(const Text& text) {
    RsaKeySealer sealer(*m_public, m_schema);
    return sealText(m_context, m_hashCode, text, rsaSealSettings(m_compression, m_encoding), sealer);
}

void RsaKeyObject::EncryptFile(const Text& sourcePath, const Text& targetPath) {
    RsaKeySealer sealer(*m_public, m_schema);
    sealFile(m_context, m_hashCode, sourcePath, targetPath, rsaSealSettings(m_compression, m_encoding),
             sealer);
}

Text RsaKeyObject::DecryptText(const Text& text) {
    RsaKeyOpener opener(privateKeyFor("decrypting"));
    return openText(m_context, m_hashCode, text, opener, OpenRules{});
}

void RsaKeyObject::DecryptFile(const Text& sourcePath, const Text& targetPath) {
    RsaKeyOpener opener(privateKeyFor("decrypting"));
    openFile(m_context, m_hashCode, sourcePath, targetPath, opener, OpenRules{});
}

void RsaKeyObject::DecryptFileToStream(const Text& sourcePath, int fd) {
    RsaKeyOpener opener(privateKeyFor("decrypting"));
    openFileToStream(m_context, m_hashCode, sourcePath, fd, opener, OpenRules{});
}

void RsaKeyObject::SaveToFile(const Text& path) {
    saveRsaKey(m_context, m_hashCode, *m_public, m_private.get(), path);
}

// --- Signatures --------------------------------------------------------------------

Text RsaKeyObject::SignText(const Text& text) {
    const detail::Encoding encoding = m_encoding;
    const Botan::RSA_PrivateKey& key = privateKeyFor("signing");
    MemorySource source(text);
    return encode(encoding, sign(key, source, "Signing the text"));
}

Text RsaKeyObject::SignFile(const Text& path) {
    const detail::Encoding encoding = m_encoding;
    const Botan::RSA_PrivateKey& key = privateKeyFor("signing");
    InputFile file(path);
    FileSource source(file);
    return encode(encoding, sign(key, source, "Signing " + quotedPath(path)));
}

bool RsaKeyObject::VerifyText(const Text& text, const Text& signature) {
    MemorySource source(text);
    return verify(source, signature, "Verifying the signature");
}

bool RsaKeyObject::VerifyFile(const Text& path, const Text& signature) {
    InputFile file(path);
    FileSource source(file);
    return verify(source, signature, "Verifying the signature of " + quotedPath(path));
}

std::string RsaKeyObject::sign(const Botan::RSA_PrivateKey& key, ByteSource& source,
                               const std::string& context) {
    Progress progress(m_context.hub, m_hashCode, source.size());
    progress.begin();
    const std::vector<uint8_t> signature = translateErrors(context, [&] {
        Botan::AutoSeeded_RNG rng;
        Botan::PK_Signer signer(key, rng, kRsaSignatureScheme);
        feedPieces(source, kChunkSize, progress,
                   [&](const uint8_t* data, size_t length) { signer.update(data, length); });
        return signer.signature(rng);
    });
    progress.finish();
    return std::string(signature.begin(), signature.end());
}

bool RsaKeyObject::verify(ByteSource& source, const Text& signature, const std::string& context) {
    Progress progress(m_context.hub, m_hashCode, source.size());
    progress.begin();
    // The window verifies with a key whose Encoding it never sets: the
    // signature's length tells its form.
    const std::optional<std::string> raw = decodeByLength(signature, m_public->get_n().bytes());
    bool valid = false;
    if (raw) {
        valid = translateErrors(context, [&] {
            Botan::PK_Verifier verifier(*m_public, kRsaSignatureScheme);
            feedPieces(source, kChunkSize, progress,
                       [&](const uint8_t* data, size_t length) { verifier.update(data, length); });
            return verifier.check_signature(reinterpret_cast<const uint8_t*>(raw->data()), raw->size());
        });
    }
    progress.finish();
    return valid;
}

}  // namespace engine::detail
