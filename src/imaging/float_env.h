// Rounding-mode control and floor conversions for the texture and raster
// primitives. Translation units that switch the mode are built with
// -frounding-math so the compiler keeps float arithmetic inside the switch.
#pragma once

#include <cfenv>
#include <cmath>

// Rounds every float operation toward negative infinity while in scope and
// restores the caller's mode on every way out.
class DownwardRounding {
  public:
    DownwardRounding() : saved(std::fegetround()) { std::fesetround(FE_DOWNWARD); }
    ~DownwardRounding() { std::fesetround(saved); }
    DownwardRounding(const DownwardRounding&) = delete;
    DownwardRounding& operator=(const DownwardRounding&) = delete;

  private:
    int saved;
};

// Float to int, rounding toward negative infinity also for negative values.
inline int floorToInt(float v) {
    return static_cast<int>(std::floor(v));
}
inline int floorToInt(double v) {
    return static_cast<int>(std::floor(v));
}
