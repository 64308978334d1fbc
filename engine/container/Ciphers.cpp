// SPDX-License-Identifier: Apache-2.0
#include "engine/container/Ciphers.h"

#include <botan/block_cipher.h>
#include <botan/cipher_mode.h>
#include <botan/mem_ops.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "engine/container/Container.h"
#include "engine/core/Errors.h"

namespace engine::detail {

namespace {

constexpr size_t kCipherBlockSize = 16;

const EVP_CIPHER* opensslAes(uint32_t keyBits, BlockMode mode) {
    const bool cbc = mode == BlockMode::Cbc;
    switch (keyBits) {
        case 128:
            return cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb();
        case 192:
            return cbc ? EVP_aes_192_cbc() : EVP_aes_192_ecb();
        case 256:
            return cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb();
    }
    return nullptr;
}

}  // namespace

struct BlockCrypter::State {
    struct CipherContextFree {
        void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
    };
    bool encrypt = true;
    // AES: OpenSSL, which also wipes the key schedule when the context is freed.
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> evp;
    // Twofish: Botan's block cipher for ECB (it has no ECB mode object) and
    // for CBC decryption, its CBC mode for CBC encryption.
    std::unique_ptr<Botan::BlockCipher> block;
    std::unique_ptr<Botan::Cipher_Mode> mode;
    // CBC decryption: the cipher block before the next one.
    bool cbcDecrypt = false;
    uint8_t chain[kCipherBlockSize] = {};
    SecretBytes scratch;  // a copy of the cipher text decrypted in place: plain text
};

BlockCrypter::BlockCrypter(const DataCipher& cipher, const uint8_t* key, size_t keyLength, const uint8_t* iv,
                           bool encrypt)
    : m_state(std::make_unique<State>()) {
    m_state->encrypt = encrypt;
    if (keyLength * 8 != cipher.keyBits)
        throw EngineError(ErrorKind::InvalidInput, "The key does not fit the cipher.");
    if (cipher.algorithm == CipherAlgorithm::Aes) {
        const EVP_CIPHER* type = opensslAes(cipher.keyBits, cipher.mode);
        m_state->evp.reset(EVP_CIPHER_CTX_new());
        // Padding off: the container's paddings are its own.
        if (!type || !m_state->evp ||
            EVP_CipherInit_ex(m_state->evp.get(), type, nullptr, key,
                              cipher.mode == BlockMode::Cbc ? iv : nullptr, encrypt ? 1 : 0) != 1 ||
            EVP_CIPHER_CTX_set_padding(m_state->evp.get(), 0) != 1) {
            ERR_clear_error();
            throw EngineError(ErrorKind::Internal, "The AES cipher could not be started.");
        }
    } else if (cipher.mode == BlockMode::Ecb || !encrypt) {
        m_state->block = Botan::BlockCipher::create_or_throw("Twofish");
        m_state->block->set_key(key, keyLength);
        m_state->cbcDecrypt = cipher.mode == BlockMode::Cbc;
        if (m_state->cbcDecrypt) std::memcpy(m_state->chain, iv, kCipherBlockSize);
    } else {
        m_state->mode = Botan::Cipher_Mode::create_or_throw("Twofish/CBC/NoPadding", Botan::ENCRYPTION);
        m_state->mode->set_key(key, keyLength);
        m_state->mode->start(iv, kCipherBlockSize);
    }
}

BlockCrypter::~BlockCrypter() = default;

void BlockCrypter::process(const uint8_t* in, uint8_t* out, size_t length) {
    if (length % kCipherBlockSize != 0)
        throw EngineError(ErrorKind::Internal, "The block layer was given part of a block.");
    if (m_state->evp) {
        // OpenSSL counts in int.
        constexpr size_t kMaxStep = (INT_MAX / kCipherBlockSize) * kCipherBlockSize;
        for (size_t done = 0; done < length;) {
            const size_t n = std::min(length - done, kMaxStep);
            int written = 0;
            if (EVP_CipherUpdate(m_state->evp.get(), out + done, &written, in + done, static_cast<int>(n)) !=
                    1 ||
                static_cast<size_t>(written) != n) {
                ERR_clear_error();
                throw EngineError(ErrorKind::Internal, "The AES cipher failed.");
            }
            done += n;
        }
        return;
    }
    if (length == 0) return;
    if (m_state->cbcDecrypt) {
        // Botan's CBC mode would decrypt 4 blocks a call; the whole run at
        // once, then the chaining, takes a tenth less time.
        if (in == out) {
            m_state->scratch.assign(in, in + length);
            in = m_state->scratch.data();
        }
        m_state->block->decrypt_n(in, out, length / kCipherBlockSize);
        Botan::xor_buf(out, m_state->chain, kCipherBlockSize);
        Botan::xor_buf(out + kCipherBlockSize, in, length - kCipherBlockSize);
        std::memcpy(m_state->chain, in + length - kCipherBlockSize, kCipherBlockSize);
        return;
    }
    // Botan's modes work in place.
    if (in != out) std::memcpy(out, in, length);
    if (m_state->mode)
        m_state->mode->process(out, length);
    else if (m_state->encrypt)
        m_state->block->encrypt_n(out, out, length / kCipherBlockSize);
    else
        m_state->block->decrypt_n(out, out, length / kCipherBlockSize);
}

void BlockCrypter::restart(const uint8_t* iv) {
    if (m_state->evp) {
        if (EVP_CIPHER_CTX_get_mode(m_state->evp.get()) != EVP_CIPH_CBC_MODE) return;
        if (EVP_CipherInit_ex(m_state->evp.get(), nullptr, nullptr, nullptr, iv, -1) != 1) {
            ERR_clear_error();
            throw EngineError(ErrorKind::Internal, "The AES cipher could not be started.");
        }
    } else if (m_state->mode) {
        m_state->mode->start(iv, kCipherBlockSize);
    } else if (m_state->cbcDecrypt) {
        std::memcpy(m_state->chain, iv, kCipherBlockSize);
    }
}

void blockCipherSelfTest() {
    // FIPS-197 appendix C.1, and the Twofish paper's first 128-bit table entry.
    struct Vector {
        CipherAlgorithm algorithm;
        uint8_t key[16];
        uint8_t plain[16];
        uint8_t cipher[16];
    };
    const Vector vectors[] = {
        {CipherAlgorithm::Aes,
         {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f},
         {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff},
         {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a}},
        {CipherAlgorithm::Twofish,
         {},
         {},
         {0x9f, 0x58, 0x9f, 0x5c, 0xf6, 0x12, 0x2c, 0x32, 0xb6, 0xbf, 0xec, 0x2f, 0x2a, 0xe8, 0xc3, 0x5a}},
    };
    for (const auto& v : vectors) {
        const DataCipher cipher{v.algorithm, 128, BlockMode::Ecb, PaddingScheme::Zero};
        uint8_t block[kCipherBlockSize];
        BlockCrypter(cipher, v.key, sizeof v.key, nullptr, true).process(v.plain, block, kCipherBlockSize);
        if (std::memcmp(block, v.cipher, kCipherBlockSize) != 0)
            throw EngineError(ErrorKind::Internal,
                              std::string(algorithmName(v.algorithm)) + " gives a wrong cipher text.");
    }
}

const char* algorithmName(CipherAlgorithm algorithm) {
    return algorithm == CipherAlgorithm::Aes ? "AES" : "Twofish";
}

Bytes cryptBlocks(const DataCipher& cipher, const Bytes& key, const Bytes& iv, bool encrypt,
                  const Bytes& data) {
    if (data.size() % kCipherBlockSize != 0)
        throw EngineError(ErrorKind::InvalidInput, "Data must be a whole number of blocks.");
    if (cipher.mode == BlockMode::Cbc && iv.size() != kCipherBlockSize)
        throw EngineError(ErrorKind::InvalidInput, "CBC needs a 16-byte IV.");
    Bytes out(data.size());
    BlockCrypter crypter(cipher, key.data(), key.size(), iv.data(), encrypt);
    crypter.process(data.data(), out.data(), data.size());
    return out;
}

}  // namespace engine::detail
