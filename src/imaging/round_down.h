// Arithmetic rounded toward negative infinity, for the texture and raster
// primitives that compute under downward rounding. Not the floor conversions
// (float_env.h), which are exact in every mode.
//
// Native builds switch the processor's rounding mode for the whole primitive
// (DownwardScope is DownwardRounding) and DownFloat is plain float: the
// operations below are then the ordinary ones. A build without rounding-mode
// control (WebAssembly, where fesetround changes nothing) defines
// SHADESTRIP_SOFT_ROUNDING: each operation is done in nearest rounding, its
// exact error found by an error-free transformation, and the result stepped
// one unit in the last place down when the error is negative. Both give the
// same bits for every operation the primitives use.
#pragma once

#include "blend.h"
#include "float_env.h"
#include "texel.h"

#include <cmath>

#if SHADESTRIP_SOFT_ROUNDING

namespace rounddown {

inline float below(float v) {
    return std::nextafter(v, -HUGE_VALF);
}
inline double below(double v) {
    return std::nextafter(v, -HUGE_VAL);
}

// A double rounded down to float. NaN stays NaN; past the float range the
// result is the largest float, as the processor's downward conversion gives.
inline float toFloat(double d) {
    const float f = static_cast<float>(d);
    return static_cast<double>(f) > d ? below(f) : f;
}

// Sums. An exact zero is -0 unless both operands are +0, as in downward
// rounding; a positive overflow stops at the largest finite value; otherwise
// the error of the nearest sum (Knuth's two-sum, exact when nothing
// overflows) says whether the true sum lies below it.
template <class F> F add(F a, F b) {
    const F s = a + b;
    if (s == 0)
        return -((-a) + (-b));
    if (s == HUGE_VAL && a != HUGE_VAL && b != HUGE_VAL)
        return below(s);
    const F bVirtual = s - a;
    const F error = (a - (s - bVirtual)) + (b - bVirtual);
    return error < 0 ? below(s) : s;
}

// A product of two floats is exact in double.
inline float mul(float a, float b) {
    return toFloat(static_cast<double>(a) * static_cast<double>(b));
}
// A quotient or square root of floats computed in double never lands on a
// float unless it is one (its distance from any float is far above a double's
// rounding), so rounding the double down gives the downward float result.
inline float div(float a, float b) {
    return toFloat(static_cast<double>(a) / static_cast<double>(b));
}
inline float sqrt(float v) {
    return toFloat(std::sqrt(static_cast<double>(v)));
}

// Double products with the exact error from Dekker's split (no fused
// multiply-add in WebAssembly); exact for every magnitude the blend meets.
inline double mul(double a, double b) {
    const double p = a * b;
    if (p == HUGE_VAL && std::isfinite(a) && std::isfinite(b))
        return below(p);
    if (p == 0 || !std::isfinite(p))
        return p;
    constexpr double splitter = 134217729.0; // 2^27 + 1
    const double ca = splitter * a, cb = splitter * b;
    const double aHigh = ca - (ca - a), aLow = a - aHigh;
    const double bHigh = cb - (cb - b), bLow = b - bHigh;
    const double error = ((aHigh * bHigh - p) + aHigh * bLow + aLow * bHigh) + aLow * bLow;
    return error < 0 ? below(p) : p;
}

} // namespace rounddown

// A float whose arithmetic rounds downward. Conversions back to float are
// explicit (toFloat), so an operation cannot slip into nearest rounding.
class DownFloat {
  public:
    DownFloat() = default;
    constexpr DownFloat(float v) : v(v) {}
    constexpr float value() const { return v; }

  private:
    float v = 0;
};

inline DownFloat operator+(DownFloat a, DownFloat b) {
    return rounddown::add(a.value(), b.value());
}
inline DownFloat operator-(DownFloat a, DownFloat b) {
    return rounddown::add(a.value(), -b.value());
}
inline DownFloat operator*(DownFloat a, DownFloat b) {
    return rounddown::mul(a.value(), b.value());
}
inline DownFloat operator/(DownFloat a, DownFloat b) {
    return rounddown::div(a.value(), b.value());
}
inline DownFloat operator-(DownFloat a) {
    return -a.value();
}
inline bool operator<(DownFloat a, DownFloat b) {
    return a.value() < b.value();
}
inline bool operator>(DownFloat a, DownFloat b) {
    return a.value() > b.value();
}
inline bool operator<=(DownFloat a, DownFloat b) {
    return a.value() <= b.value();
}
inline bool operator>=(DownFloat a, DownFloat b) {
    return a.value() >= b.value();
}
inline bool operator==(DownFloat a, DownFloat b) {
    return a.value() == b.value();
}
inline bool operator!=(DownFloat a, DownFloat b) {
    return a.value() != b.value();
}

inline float toFloat(DownFloat v) {
    return v.value();
}
inline DownFloat downSqrt(DownFloat v) {
    return rounddown::sqrt(v.value());
}
// The float floor of float_env.h, named from the global namespace: this header
// may be included inside another namespace (the tests compare both roundings).
inline int floorToInt(DownFloat v) {
    return ::floorToInt(v.value());
}

// The texel rule of BlendMode::apply with every double operation rounded down.
// The products of two floats are exact in double and need no correction.
inline void downApply(const BlendMode& m, Texel& d, const Texel& s) {
    using rounddown::add;
    using rounddown::mul;
    const double sL = s.level, sA = s.alpha, dL = d.level, dA = d.alpha;
    const double mixed = add(double(m.k2) * sL, double(m.k3) * dL);
    const double level = add(add(mul(sA, mixed), double(m.k1) * dL), double(m.k0) * sL);
    const double alpha = add(add(double(m.k6) * sL, double(m.k5) * dA), double(m.k4) * sA);
    d.level = rounddown::toFloat(level);
    d.alpha = rounddown::toFloat(alpha);
}

// Nothing to switch: the operations round by themselves. Its own constructor
// and destructor keep a scope of it from reading as an unused variable.
class DownwardScope : NonCopyable {
  public:
    DownwardScope() {}
    ~DownwardScope() {}
};

#else

using DownFloat = float;
using DownwardScope = DownwardRounding;

inline float toFloat(float v) {
    return v;
}
inline float downSqrt(float v) {
    return std::sqrt(v);
}
inline void downApply(const BlendMode& m, Texel& d, const Texel& s) {
    m.apply(d, s);
}

#endif
