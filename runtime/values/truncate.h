// Double to 32-bit integer truncation toward zero that is defined for every input:
// NaN gives 0, values beyond the int32 range saturate.
#pragma once

#include <cmath>
#include <cstdint>

namespace rt {

inline int32_t truncate_to_int32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace rt
