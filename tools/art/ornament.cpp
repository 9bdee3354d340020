// The rotozoom ornament: a medallion (beaded rings, eight petals, a small
// jewel at its heart) on a diagonal lattice, with small four-petal rosettes
// between the medallions. Every distance is measured around the wrap, so the
// picture tiles without a seam; every edge is a smooth ramp a texel or two
// wide, so it reads at every zoom. The medallion sits at (0.43, 0.5) of the
// picture, the point the show's final dive goes into.
#include "byte_maps.h"

#include "imaging/det_math.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double side = ornamentSide;
constexpr double centreX = 0.43 * side; // the dive's target
constexpr double centreY = 0.5 * side;

// Signed offset from a to b around the wrap, in -side/2 .. side/2.
double wrapped(double d) {
    return d - side * std::floor(d / side + 0.5);
}

// 1 inside, 0 outside, a smooth ramp of `soft` texels across the edge at 0.
double inside(double distance, double soft) {
    const double t = std::clamp(0.5 - distance / soft, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// A band of half-width `half` around 0.
double band(double offset, double half, double soft) {
    return inside(std::fabs(offset) - half, soft);
}

double over(double below, double above, double alpha) {
    return below + (above - below) * alpha;
}

// Angular distance to the nearest of `count` spokes starting at `phase`.
double spokeOffset(double angle, int count, double phase) {
    const double step = 2.0 * detmath::pi / count;
    const double a = angle - phase;
    return a - step * std::floor(a / step + 0.5);
}

// The diagonal lattice in the background: two families of bands 32 texels
// apart, brighter where they cross.
double lattice(double x, double y) {
    const double period = 32.0;
    const double u = x + y, v = x - y;
    const double du = u - period * std::floor(u / period + 0.5);
    const double dv = v - period * std::floor(v / period + 0.5);
    const double a = band(du, 1.6, 1.5), b = band(dv, 1.6, 1.5);
    double level = 0.10 + 0.30 * std::max(a, b);
    // A small diamond where two bands cross.
    const double cross = inside(std::fabs(du) + std::fabs(dv) - 3.5, 1.5);
    level = over(level, 0.72, cross);
    // Dots in the middle of each lattice cell.
    const double cu = du - std::copysign(period / 2, du), cv = dv - std::copysign(period / 2, dv);
    level = over(level, 0.38, inside(std::sqrt(cu * cu + cv * cv) / 1.4 - 2.2, 1.5));
    return level;
}

// A four-petal rosette of radius about 13 texels around the origin.
double rosette(double dx, double dy, double level) {
    const double r = std::sqrt(dx * dx + dy * dy);
    if (r > 18.0)
        return level;
    const double angle = detmath::atan2(dy, dx);
    level = over(level, 0.04, inside(r - 14.0, 2.0));
    const double off = spokeOffset(angle, 4, detmath::pi / 4);
    const double width = 4.2 * detmath::sin(detmath::pi * std::clamp((r - 2.0) / 11.0, 0.0, 1.0));
    const double petal = band(off * r, width, 1.3) * inside(r - 13.0, 1.5);
    level = over(level, 0.42 + 0.5 * (1.0 - r / 13.0), petal);
    level = over(level, 0.95, inside(r - 2.2, 1.2));
    level = over(level, 0.6, band(r - 15.5, 0.8, 1.2));
    return level;
}

// The medallion around the origin: dark ground, beaded outer ring, eight
// petals with smaller ones between them, an inner ring and the jewel.
double medallion(double dx, double dy, double level) {
    const double r = std::sqrt(dx * dx + dy * dy);
    if (r > 50.0)
        return level;
    const double angle = detmath::atan2(dy, dx);
    // Ground and the halo around it.
    level = over(level, 0.02, inside(r - 45.0, 3.0));
    level = over(level, 0.30, band(r - 46.5, 0.6, 1.2));
    // Beaded outer ring.
    level = over(level, 0.62, band(r - 41.5, 2.2, 1.3));
    const double beadAngle = spokeOffset(angle, 32, 0.0);
    const double bx = r * beadAngle, by = r - 41.5;
    level = over(level, 1.0, inside(std::sqrt(bx * bx + by * by) - 1.6, 1.2));
    level = over(level, 0.35, band(r - 36.5, 0.7, 1.1));
    // Eight main petals, brightest along their middle.
    const double main = spokeOffset(angle, 8, 0.0);
    const double s = std::clamp((r - 9.0) / 25.0, 0.0, 1.0);
    const double width = 6.5 * detmath::sin(detmath::pi * std::pow(s, 0.8));
    const double across = main * r;
    const double petal = band(across, width, 2.2) * inside(r - 34.0, 2.0);
    const double vein = 1.0 - std::min(1.0, std::fabs(across) / (width + 0.5));
    level = over(level, 0.35 + 0.5 * vein + 0.15 * (1.0 - s), petal);
    // Outline of the petals.
    level = over(level, 0.92, band(std::fabs(across) - width, 0.6, 1.6) * petal * (s > 0.02));
    // Shorter petals between them.
    const double minor = spokeOffset(angle, 8, detmath::pi / 8);
    const double s2 = std::clamp((r - 11.0) / 13.0, 0.0, 1.0);
    const double width2 = 3.6 * detmath::sin(detmath::pi * std::sqrt(s2));
    level = over(level, 0.48, band(minor * r, width2, 2.2) * inside(r - 24.0, 2.0) * (r > 11.0));
    // Inner ring and the jewel: rings that keep coming as the view dives in.
    level = over(level, 0.05, inside(r - 9.5, 1.2));
    level = over(level, 0.85, band(r - 8.5, 1.0, 1.1));
    level = over(level, 0.30, inside(r - 6.0, 1.2));
    level = over(level, 0.75, band(r - 4.2, 0.7, 1.0));
    // The dive ends here: a light dither of white on light cyan.
    level = over(level, 0.55 + 0.31 * (1.0 - r / 2.5), inside(r - 2.5, 1.0));
    return level;
}

} // namespace

std::vector<std::uint8_t> drawOrnament() {
    std::vector<std::uint8_t> bytes(ornamentSide * ornamentSide, 0);
    for (int y = 0; y < ornamentSide; ++y) {
        for (int x = 0; x < ornamentSide; ++x) {
            double level = lattice(x - centreX, y - centreY);
            // Rosettes halfway between the medallions, across and down.
            level = rosette(wrapped(x - centreX - side / 2), wrapped(y - centreY), level);
            level = rosette(wrapped(x - centreX), wrapped(y - centreY - side / 2), level);
            level =
                rosette(wrapped(x - centreX - side / 2), wrapped(y - centreY - side / 2), level);
            level = medallion(wrapped(x - centreX), wrapped(y - centreY), level);
            bytes[y * ornamentSide + x] =
                static_cast<std::uint8_t>(std::floor(std::clamp(level, 0.0, 1.0) * 255.0 + 0.5));
        }
    }
    return bytes;
}
