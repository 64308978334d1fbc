// SPDX-License-Identifier: Apache-2.0
#pragma once
// The block layer of containers: ECB or CBC over whole 16-byte blocks, no
// padding. AES runs on OpenSSL's libcrypto, Twofish on Botan (the figures
// behind the choice: docs/libraries.md).

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/container/CipherSettings.h"

namespace engine::detail {

class BlockCrypter {
public:
    // `key` as long as the cipher's key; `iv` 16 bytes for CBC, ignored for ECB.
    BlockCrypter(const DataCipher& cipher, const uint8_t* key, size_t keyLength, const uint8_t* iv,
                 bool encrypt);
    ~BlockCrypter();
    BlockCrypter(const BlockCrypter&) = delete;
    BlockCrypter& operator=(const BlockCrypter&) = delete;

    // `length` a multiple of 16; `in` and `out` may be the same buffer, but
    // must not overlap otherwise. CBC chains across calls.
    void process(const uint8_t* in, uint8_t* out, size_t length);
    // CBC goes on from `iv` (16 bytes) as if it were the cipher block before
    // the next one processed; ECB ignores it.
    void restart(const uint8_t* iv);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Encrypts the FIPS-197 block with both libraries' ciphers; throws
// EngineError(Internal) when one is missing or wrong. Part of the start-up self-test.
void blockCipherSelfTest();

}  // namespace engine::detail
