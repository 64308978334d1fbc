// SPDX-License-Identifier: Apache-2.0
#include "engine/digest/Digest.h"

#include <botan/hash.h>
#include <openssl/evp.h>

#include "engine/Engine.h"

namespace engine::detail {

namespace {

class BotanDigest final : public Digest {
public:
    explicit BotanDigest(HashAlgorithm algorithm) : m_hash(Botan::HashFunction::create(hashLibraryName(algorithm))) {
        if (!m_hash) throw EngineError(ErrorKind::Internal, hashDisplayName(algorithm) + " is not available.");
    }
    void update(const uint8_t* data, size_t length) override { m_hash->update(data, length); }
    Bytes final() override {
        Bytes digest(m_hash->output_length());
        m_hash->final(digest.data());
        return digest;
    }

private:
    std::unique_ptr<Botan::HashFunction> m_hash;
};

struct MdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
struct MdContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Fetched once: fetching looks the algorithm up in the providers every time.
const EVP_MD* fetchedMd5() {
    static const std::unique_ptr<EVP_MD, MdFree> md5(EVP_MD_fetch(nullptr, "MD5", nullptr));
    return md5.get();
}

class OpenSslDigest final : public Digest {
public:
    OpenSslDigest(HashAlgorithm algorithm, const EVP_MD* md) : m_context(EVP_MD_CTX_new()) {
        if (!md || !m_context || EVP_DigestInit_ex2(m_context.get(), md, nullptr) != 1)
            throw EngineError(ErrorKind::Internal, hashDisplayName(algorithm) + " is not available.");
    }
    void update(const uint8_t* data, size_t length) override {
        if (EVP_DigestUpdate(m_context.get(), data, length) != 1) failed();
    }
    Bytes final() override {
        Bytes digest(static_cast<size_t>(EVP_MD_CTX_get_size(m_context.get())));
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(m_context.get(), digest.data(), &length) != 1 || length != digest.size()) failed();
        return digest;
    }

private:
    [[noreturn]] static void failed() { throw EngineError(ErrorKind::Internal, "The hash function failed."); }

    std::unique_ptr<EVP_MD_CTX, MdContextFree> m_context;
};

}  // namespace

std::unique_ptr<Digest> newDigest(HashAlgorithm algorithm) {
    if (algorithm == HashAlgorithm::Md5) return std::make_unique<OpenSslDigest>(algorithm, fetchedMd5());
    return std::make_unique<BotanDigest>(algorithm);
}

}  // namespace engine::detail
