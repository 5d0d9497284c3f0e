// Conversions of real values into the integer widths of the records. Every
// conversion rounds to the nearest integer, halves to the even neighbour, and
// is defined for every input: values beyond the range are clamped and NaN
// gives 0, so no setting or sample can cause an undefined conversion.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <type_traits>

namespace corvane {

// pi in the two widths of the records. The real32 value is the one every
// real32 computation of the monitor uses (3.1415927).
inline constexpr double pi64 = std::numbers::pi;
inline constexpr float pi32 = static_cast<float>(std::numbers::pi);

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

// The nearest integer, halves to even, as std::nearbyint gives it in the
// default rounding mode, but without a library call: below 2^23 (real32) or
// 2^52 (real64), adding and removing that power of two leaves exactly the
// nearest integer; the sign of the input is kept. Larger magnitudes and NaN
// go through std::nearbyint. Used in the per-sample loops.
template <typename Real>
Real nearestinteger(Real x) {
    static_assert(std::is_same_v<Real, float> || std::is_same_v<Real, double>);
#if FLT_EVAL_METHOD == 0
    // 2^23 for real32, 2^52 for real64: the first magnitude without a fraction.
    constexpr Real big = std::is_same_v<Real, float> ? Real(8388608.0f) : Real(4503599627370496.0);
    const Real magnitude = std::fabs(x);
    if (magnitude < big) return std::copysign((magnitude + big) - big, x);
#endif
    return std::nearbyint(x);
}

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
