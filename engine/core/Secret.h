// SPDX-License-Identifier: Apache-2.0
#pragma once
// Byte buffers for keys and secrets: locked where the system allows, wiped when released.

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace engine::detail {

// Overwrites memory in a way the compiler may not optimise away.
void scrubMemory(void* data, size_t length);

// Overwrites 64 KiB of the stack below the caller's frame: what the functions
// it called left there once they returned (a library's parser may copy a
// key's bytes into its frames).
void scrubStackBelow();

// Memory for secrets from Botan's locked pool (mlock) while it has room, else
// from the heap (always, under AddressSanitizer); zeroed. Freed wiped. Throws std::bad_alloc.
void* allocateSecret(size_t length);
void freeSecret(void* data, size_t length);

template <class T>
struct ScrubbingAllocator {
    using value_type = T;
    ScrubbingAllocator() = default;
    template <class U>
    ScrubbingAllocator(const ScrubbingAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(allocateSecret(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { freeSecret(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const ScrubbingAllocator<U>&) const {
        return true;
    }
    template <class U>
    bool operator!=(const ScrubbingAllocator<U>&) const {
        return false;
    }
};

using Bytes = std::vector<uint8_t>;
using SecretBytes = std::vector<uint8_t, ScrubbingAllocator<uint8_t>>;

}  // namespace engine::detail
