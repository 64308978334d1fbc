#pragma once
// The one place where public algorithm codes become the library's names.

#include <cstdint>
#include <string>

namespace engine::detail {

enum class HashAlgorithm : int32_t { Md5 = 0, Sha1 = 1, Tiger = 2 };

// Throw EngineError(InvalidInput) for codes outside the public range.
HashAlgorithm hashFromCode(int32_t code);
std::string hashLibraryName(HashAlgorithm algorithm);  // "MD5", "SHA-160", "Tiger(24,3)"
std::string hashDisplayName(HashAlgorithm algorithm);  // "MD5", "SHA-1", "Tiger"

}  // namespace engine::detail
