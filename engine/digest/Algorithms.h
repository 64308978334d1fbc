// SPDX-License-Identifier: Apache-2.0
#pragma once
// The one place where public algorithm codes become the library's names.

#include <string>

#include "engine/Engine.h"

namespace engine::detail {

using HashAlgorithm = engine::HashAlgorithm;

// The algorithm unchanged; EngineError(InvalidInput) for a value outside the public list.
HashAlgorithm checkedHash(HashAlgorithm algorithm);
std::string hashLibraryName(HashAlgorithm algorithm);  // "MD5", "SHA-160", "Tiger(24,3)"
std::string hashDisplayName(HashAlgorithm algorithm);  // "MD5", "SHA-1", "Tiger"

}  // namespace engine::detail
