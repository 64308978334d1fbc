// SPDX-License-Identifier: Apache-2.0
#pragma once
// How data is enciphered: the settings the block layer takes and a container
// records.

#include <cstdint>

namespace engine::detail {

enum class CipherAlgorithm : uint8_t { Aes = 0, Twofish = 1 };         // the public algorithm codes
enum class BlockMode : uint8_t { Ecb = 0, Cbc = 1 };                   // the public CipherMode codes
enum class PaddingScheme : uint8_t { Zero = 0, Pkcs7 = 1, X923 = 2 };  // the public Padding codes

const char* algorithmName(CipherAlgorithm algorithm);  // "AES", "Twofish"

struct DataCipher {
    CipherAlgorithm algorithm = CipherAlgorithm::Aes;
    uint32_t keyBits = 256;  // 128, 192 or 256
    BlockMode mode = BlockMode::Cbc;
    PaddingScheme padding = PaddingScheme::Pkcs7;
};

}  // namespace engine::detail
