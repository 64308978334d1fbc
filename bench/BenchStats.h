#pragma once
// Figures shared by the in-process benchmark drivers.

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

}  // namespace bench
