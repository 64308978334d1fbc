// SPDX-License-Identifier: Apache-2.0
#pragma once
// A running message digest, computed by the library measured fastest for its
// algorithm (docs/libraries.md): OpenSSL for MD5, Botan for SHA-1 and Tiger.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/core/Secret.h"
#include "engine/digest/Algorithms.h"

namespace engine::detail {

class Digest {
public:
    virtual ~Digest() = default;
    virtual void update(const uint8_t* data, size_t length) = 0;
    // The digest of everything fed since the start; the object is not reused.
    virtual Bytes final() = 0;
};

// Throws EngineError(Internal) when the library lacks the algorithm.
std::unique_ptr<Digest> newDigest(HashAlgorithm algorithm);

}  // namespace engine::detail
