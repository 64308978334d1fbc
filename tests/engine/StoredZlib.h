// SPDX-License-Identifier: Apache-2.0
#pragma once
// Crafted zlib input shared by the engine tests and bench/quorval_scaling:
// no test framework here, so the benchmark can include it too.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace enginetest {

// One zlib stream of stored blocks (RFC 1950 and RFC 1951, 3.2.4): the data as it is.
inline std::vector<uint8_t> storedStream(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out{0x78, 0x01};
    for (size_t at = 0;;) {
        const size_t n = std::min<size_t>(data.size() - at, 65535);
        const bool last = at + n == data.size();
        out.insert(out.end(), {static_cast<uint8_t>(last), static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                               static_cast<uint8_t>(~n), static_cast<uint8_t>(~n >> 8)});
        out.insert(out.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
        at += n;
        if (last) break;
    }
    uint32_t a = 1, b = 0;  // Adler-32
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(((b << 16) | a) >> shift));
    return out;
}

}  // namespace enginetest
