// SPDX-License-Identifier: Apache-2.0
#pragma once
// Figures shared by the in-process benchmark drivers.

#include <time.h>

#include <algorithm>
#include <vector>

namespace bench {

// The median of a set of timings (the mean of the middle two for an even count).
inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// CPU seconds of the whole process so far, every thread's.
inline double processCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace bench
