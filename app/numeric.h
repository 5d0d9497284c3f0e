// Conversions of real values into the integer widths of the records. Every
// conversion rounds to the nearest integer, halves to the even neighbour, and
// is defined for every input: values beyond the range are clamped and NaN
// gives 0, so no setting or sample can cause an undefined conversion.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace corvane {

template <typename Int>
Int roundclamp(double value) {
    if (std::isnan(value)) return 0;
    double r = std::nearbyint(value);
    if (r <= static_cast<double>(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
    if (r >= static_cast<double>(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
    return static_cast<Int>(r);
}

inline std::int16_t toint16(double value) { return roundclamp<std::int16_t>(value); }
inline std::int32_t toint32(double value) { return roundclamp<std::int32_t>(value); }
inline std::int64_t toint64(double value) { return roundclamp<std::int64_t>(value); }

// Floor into an integer width, clamped; NaN gives 0.
template <typename Int>
Int floorclamp(double value) {
    return roundclamp<Int>(std::floor(value));
}

// A real64 stored into a real32 field: values beyond the real32 range are
// clamped to its largest magnitude.
inline float toreal32(double value) {
    constexpr double big = std::numeric_limits<float>::max();
    if (value > big) return std::numeric_limits<float>::max();
    if (value < -big) return -std::numeric_limits<float>::max();
    return static_cast<float>(value);
}

}  // namespace corvane
