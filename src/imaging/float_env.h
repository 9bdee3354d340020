// Rounding-mode control and floor conversions for the texture and raster
// primitives. Translation units that switch the mode are built with
// -frounding-math so the compiler keeps float arithmetic inside the switch.
#pragma once

#include "non_copyable.h"

#include <cfenv>
#include <climits>
#include <cmath>

// Rounds every float operation toward negative infinity while in scope and
// restores the caller's mode on every way out.
class DownwardRounding : NonCopyable {
  public:
    DownwardRounding() : saved(std::fegetround()) { std::fesetround(FE_DOWNWARD); }
    ~DownwardRounding() { std::fesetround(saved); }

  private:
    int saved;
};

// Float to int, rounding toward negative infinity also for negative values.
// Truncation, then one step down for negative fractions: the same result as
// std::floor for every float in the int range, in every rounding mode (the
// truncating conversion ignores the mode, and converting the truncated value
// back is exact), for a fraction of its cost. Beyond the range the result is
// the processor's, as it was with std::floor; it never goes below INT_MIN.
inline int floorToInt(float v) {
    const int truncated = static_cast<int>(v);
    return static_cast<float>(truncated) > v && truncated != INT_MIN ? truncated - 1 : truncated;
}
inline int floorToInt(double v) {
    return static_cast<int>(std::floor(v));
}

// floorToInt for a sample position. Positions outside the int range (or NaN)
// have no meaningful texel; they map to INT_MIN, like the hardware's "integer
// indefinite", instead of being undefined behaviour. The wrap masks keep any
// int a valid index.
inline int floorToTexel(float p) {
    if (!(p >= -2147483648.0f && p < 2147483648.0f))
        return INT_MIN;
    return floorToInt(p);
}
