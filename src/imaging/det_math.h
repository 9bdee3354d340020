// Transcendental functions that give the same bits on every platform and C
// library: the show's pictures must be identical on Linux and Windows, and the
// C libraries' sin, cos and atan2 differ in their last bits. Plain double
// arithmetic only (sqrt is exact in IEEE arithmetic); accurate to about 1e-16.
#pragma once

#include <cmath>

namespace detmath {

constexpr double pi = 3.14159265358979311600e+00;
constexpr double halfPi = 1.57079632679489655800e+00;

// Argument reduction: x = n * pi/2 + r, |r| <= pi/4 (Cody-Waite, two parts).
inline double reduce(double x, long long& n) {
    const double invHalfPi = 6.36619772367581382433e-01;
    const double halfPi1 = 1.57079632673412561417e+00;
    const double halfPi1t = 6.07710050650619224932e-11;
    const double q = std::floor(x * invHalfPi + 0.5);
    n = static_cast<long long>(q);
    return (x - q * halfPi1) - q * halfPi1t;
}

inline double kernelSin(double x) {
    const double s1 = -1.66666666666666324348e-01, s2 = 8.33333333332248946124e-03,
                 s3 = -1.98412698298579493134e-04, s4 = 2.75573137070700676789e-06,
                 s5 = -2.50507602534068634195e-08, s6 = 1.58969099521155010221e-10;
    const double z = x * x;
    const double v = z * x;
    const double r = s2 + z * (s3 + z * (s4 + z * (s5 + z * s6)));
    return x + v * (s1 + z * r);
}

inline double kernelCos(double x) {
    const double c1 = 4.16666666666666019037e-02, c2 = -1.38888888888741095749e-03,
                 c3 = 2.48015872894767294178e-05, c4 = -2.75573143513906633035e-07,
                 c5 = 2.08757232129817482790e-09, c6 = -1.13596475577881948265e-11;
    const double z = x * x;
    const double r = z * (c1 + z * (c2 + z * (c3 + z * (c4 + z * (c5 + z * c6)))));
    const double hz = 0.5 * z;
    const double w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + z * r);
}

// sin of r plus n quarter turns.
inline double quarterTurns(double r, long long n) {
    switch (n & 3) {
    case 0:
        return kernelSin(r);
    case 1:
        return kernelCos(r);
    case 2:
        return -kernelSin(r);
    default:
        return -kernelCos(r);
    }
}

inline double sin(double x) {
    long long n = 0;
    const double r = reduce(x, n);
    return quarterTurns(r, n);
}

// A quarter turn ahead of sin: the same kernels, with the same signs.
inline double cos(double x) {
    long long n = 0;
    const double r = reduce(x, n);
    return quarterTurns(r, (n & 3) + 1);
}

// atan for |x| <= 1: two half-angle reductions bring |x| below 0.2, where the
// series converges past double precision in 13 terms.
inline double atanUnit(double x) {
    double t = x / (1.0 + std::sqrt(1.0 + x * x));
    t = t / (1.0 + std::sqrt(1.0 + t * t));
    const double t2 = t * t;
    double sum = 0.0;
    for (int k = 25; k >= 3; k -= 2)
        sum = t2 * (1.0 / k - sum);
    return 4.0 * (t - t * sum);
}

inline double atan2(double y, double x) {
    if (x == 0.0 && y == 0.0)
        return 0.0;
    if (std::fabs(y) <= std::fabs(x)) {
        const double a = atanUnit(y / x);
        if (x > 0.0)
            return a;
        return y >= 0.0 ? a + pi : a - pi;
    }
    const double a = atanUnit(x / y);
    return (y > 0.0 ? halfPi : -halfPi) - a;
}

inline float sin(float x) {
    return static_cast<float>(sin(static_cast<double>(x)));
}
inline float cos(float x) {
    return static_cast<float>(cos(static_cast<double>(x)));
}
inline float atan2(float y, float x) {
    return static_cast<float>(atan2(static_cast<double>(y), static_cast<double>(x)));
}

} // namespace detmath
