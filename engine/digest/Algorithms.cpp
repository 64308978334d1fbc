// SPDX-License-Identifier: Apache-2.0
#include "engine/digest/Algorithms.h"

#include "engine/Engine.h"

namespace engine::detail {

HashAlgorithm checkedHash(HashAlgorithm algorithm) {
    const auto code = static_cast<int32_t>(algorithm);
    if (code < 0 || code > 2)
        throw EngineError(ErrorKind::InvalidInput, "Unknown hash algorithm code " + std::to_string(code) +
                                                       " (0 MD5, 1 SHA-1, 2 Tiger).");
    return algorithm;
}

std::string hashLibraryName(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::Md5:
            return "MD5";
        case HashAlgorithm::Sha1:
            return "SHA-160";
        case HashAlgorithm::Tiger:
            // The original 192-bit, 3-pass Tiger.
            return "Tiger(24,3)";
    }
    return {};
}

std::string hashDisplayName(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::Md5:
            return "MD5";
        case HashAlgorithm::Sha1:
            return "SHA-1";
        case HashAlgorithm::Tiger:
            return "Tiger";
    }
    return {};
}

}  // namespace engine::detail
