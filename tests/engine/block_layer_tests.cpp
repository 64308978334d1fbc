// SPDX-License-Identifier: Apache-2.0
// The block layer on its two libraries: the published CBC vectors at every
// AES key length, and chaining that does not depend on how the data is split
// into calls or whether it is processed in place.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "EngineTestSupport.h"
#include "engine/container/Ciphers.h"
#include "engine/container/Container.h"

namespace {

using namespace enginetest;
using engine::detail::BlockCrypter;
using engine::detail::BlockMode;
using engine::detail::Bytes;
using engine::detail::CipherAlgorithm;
using engine::detail::cryptBlocks;
using engine::detail::DataCipher;
using engine::detail::PaddingScheme;

TEST(BlockLayer, AesCbcMatchesSp800_38aAtEveryKeyLength) {
    // NIST SP 800-38A, F.2.1, F.2.3 and F.2.5 (first two blocks).
    const Bytes iv = unhex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = unhex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    const struct {
        uint32_t bits;
        const char* key;
        const char* cipher;
    } vectors[] = {
        {128, "2b7e151628aed2a6abf7158809cf4f3c",
         "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"},
        {192, "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
         "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"},
        {256, "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"},
    };
    for (const auto& v : vectors) {
        const DataCipher cipher{CipherAlgorithm::Aes, v.bits, BlockMode::Cbc, PaddingScheme::Zero};
        const Bytes encrypted = cryptBlocks(cipher, unhex(v.key), iv, true, plain);
        EXPECT_EQ(encrypted, unhex(v.cipher)) << v.bits;
        EXPECT_EQ(cryptBlocks(cipher, unhex(v.key), iv, false, encrypted), plain) << v.bits;
    }
}

TEST(BlockLayer, ChainingDoesNotDependOnHowTheDataIsSplitOrWhetherItIsInPlace) {
    const Bytes plain = bytesOf(pseudoRandom(16 * 999, 8));
    std::mt19937 generator(5);
    for (CipherAlgorithm algorithm : {CipherAlgorithm::Aes, CipherAlgorithm::Twofish})
        for (uint32_t bits : {128u, 192u, 256u})
            for (BlockMode mode : {BlockMode::Ecb, BlockMode::Cbc}) {
                const DataCipher cipher{algorithm, bits, mode, PaddingScheme::Pkcs7};
                const Bytes key = bytesOf(pseudoRandom(bits / 8, bits));
                const Bytes iv = bytesOf(pseudoRandom(16, 77));
                const Bytes whole = cryptBlocks(cipher, key, iv, true, plain);
                ASSERT_NE(whole, plain);
                for (bool encrypt : {true, false}) {
                    const Bytes& from = encrypt ? plain : whole;
                    const Bytes& expected = encrypt ? whole : plain;
                    for (bool inPlace : {false, true}) {
                        BlockCrypter crypter(cipher, key.data(), key.size(), iv.data(), encrypt);
                        Bytes out = inPlace ? from : Bytes(from.size());
                        for (size_t at = 0; at < from.size();) {
                            const size_t n = std::min<size_t>(16 * (generator() % 40), from.size() - at);
                            crypter.process((inPlace ? out.data() : from.data()) + at, out.data() + at, n);
                            at += n;
                        }
                        EXPECT_EQ(out, expected)
                            << engine::detail::algorithmName(algorithm) << bits << " mode "
                            << static_cast<int>(mode) << " encrypt " << encrypt << " in place " << inPlace;
                    }
                }
                // Decryption in two parts at once: the second starts from the cipher block before it.
                const size_t split = 16 * 500;
                BlockCrypter first(cipher, key.data(), key.size(), iv.data(), false);
                BlockCrypter second(cipher, key.data(), key.size(), plain.data(), false);
                second.restart(whole.data() + split - 16);
                Bytes out(whole.size());
                second.process(whole.data() + split, out.data() + split, whole.size() - split);
                first.process(whole.data(), out.data(), split);
                EXPECT_EQ(out, plain) << engine::detail::algorithmName(algorithm) << bits << " mode "
                                      << static_cast<int>(mode) << " in two parts";
            }
}

}  // namespace
