// Anti-aliased lines (two texels per step along the major axis, the coverage
// split by the exact minor coordinate) and the 16-segment ellipse outline built
// on them. The walk is not clipped: plot skips texels outside the texture.
#include "imaging/det_math.h"
#include "imaging/float_env.h"
#include "imaging/round_down.h"
#include "imaging/texture.h"

#include <cmath>
#include <utility>

namespace {

// Ends farther out than this are not drawn: floats there no longer resolve the
// half texels the walk measures from, and the column and row counters would
// come near the limits of int. No caller gets within a factor of 1000 of it.
constexpr float maxCoordinate = 4194304.0f; // 2^22

bool isDrawable(float v) {
    return std::fabs(v) <= maxCoordinate; // false for NaN as well
}

// Walks a line along its major axis a (from a0 to a1, da > 0) with the minor
// coordinate b. plotPair(major, minor, level, alpha of the texel at minor,
// alpha of the texel at minor + 1) paints one step. The minor fraction is kept
// in (0, 1]: a fraction landing on exactly 0 becomes 1 one texel lower.
template <class PlotPair>
void walkLine(DownFloat a0, DownFloat b0, DownFloat a1, DownFloat da, DownFloat db, DownFloat level,
              DownFloat alpha, DownFloat dL, DownFloat dA, PlotPair plotPair) {
    const DownFloat slope = db / da;
    const DownFloat stepL = dL / da;
    const DownFloat stepA = dA / da;
    const DownFloat p0 = a0 + 0.5f;
    const int m0 = floorToInt(p0);
    const DownFloat f0 = p0 - static_cast<float>(m0);
    const DownFloat p1 = a1 + 0.5f;
    const int m1 = floorToInt(p1);
    const DownFloat f1 = p1 - static_cast<float>(m1);

    // Move the minor coordinate, level and alpha to the centre of the first texel.
    const DownFloat b = b0 + slope * 0.5f - slope * f0;
    level = level + stepL * (0.5f - f0);
    alpha = alpha + stepA * (0.5f - f0);
    int n = floorToInt(b);
    DownFloat fb = b - static_cast<float>(n);

    if (m0 == m1) {
        const DownFloat w = f1 - f0;
        plotPair(m0, n, level, (1.0f - fb) * w * alpha, fb * w * alpha);
        return;
    }

    const DownFloat gap = 1.0f - f0;
    plotPair(m0, n, level, (1.0f - fb) * gap * alpha, fb * gap * alpha);
    int m = m0;
    for (;;) {
        fb = fb + slope;
        ++m;
        level = level + stepL;
        alpha = alpha + stepA;
        if (fb >= 1.0f) {
            fb = fb - 1.0f;
            ++n;
        }
        if (fb <= 0.0f) {
            fb = fb + 1.0f;
            --n;
        }
        if (m >= m1)
            break;
        plotPair(m, n, level, (1.0f - fb) * alpha, fb * alpha);
    }
    plotPair(m1, n, level, (1.0f - fb) * alpha * f1, fb * alpha * f1);
}

} // namespace

void Texture::plot(int c, int r, const Texel& source, const BlendMode& blend) {
    if (c < 0 || c >= width || r < 0 || r >= height)
        return;
    // The step of the downward primitives: the blend rounds as they do.
    downApply(blend, texels[r * width + c], source);
}

void Texture::drawLine(const Texel& from, const Texel& to, const BlendMode& blend, float x0,
                       float y0, float x1, float y1) {
    // Equal ends have no direction (the slope would be 0/0): nothing to draw.
    if (x0 == x1 && y0 == y1)
        return;
    if (!isDrawable(x0) || !isDrawable(y0) || !isDrawable(x1) || !isDrawable(y1))
        return;
    DownwardScope rounding;

    // Orient every line so that dx + dy >= 0, and take the differences from the
    // oriented ends: a segment then paints the same texels with the same weights
    // whichever end it is given from (except at exactly 45 degrees up-right,
    // which is x-major one way and y-major the other).
    const Texel* start = &from;
    const Texel* end = &to;
    DownFloat ax = x0, ay = y0, bx = x1, by = y1;
    if (bx - ax < -(by - ay)) {
        std::swap(ax, bx);
        std::swap(ay, by);
        std::swap(start, end);
    }
    const DownFloat dx = bx - ax;
    const DownFloat dy = by - ay;
    const DownFloat dL = DownFloat(end->level) - start->level;
    const DownFloat dA = DownFloat(end->alpha) - start->alpha;
    const DownFloat level = start->level;
    const DownFloat alpha = start->alpha;

    if (dy < dx) {
        walkLine(ax, ay, bx, dx, dy, level, alpha, dL, dA,
                 [&](int c, int r, DownFloat l, DownFloat aNear, DownFloat aFar) {
                     plot(c, r, Texel{toFloat(l), toFloat(aNear)}, blend);
                     plot(c, r + 1, Texel{toFloat(l), toFloat(aFar)}, blend);
                 });
    } else {
        walkLine(ay, ax, by, dy, dx, level, alpha, dL, dA,
                 [&](int r, int c, DownFloat l, DownFloat aNear, DownFloat aFar) {
                     plot(c, r, Texel{toFloat(l), toFloat(aNear)}, blend);
                     plot(c + 1, r, Texel{toFloat(l), toFloat(aFar)}, blend);
                 });
    }
}

void Texture::drawEllipseOutline(const Texel& texel, const BlendMode& blend, float cx, float cy,
                                 float rx, float ry) {
    // The angle is accumulated in single precision, so the last point lands
    // within rounding of the first: the outline is not forced closed.
    const float step = 0.125f * 3.1415927f;
    float angle = 0.0f;
    float prevX = rx;
    float prevY = 0.0f;
    for (int i = 0; i < 16; ++i) {
        angle = angle + step;
        const float nextX = rx * detmath::cos(angle);
        const float nextY = ry * detmath::sin(angle);
        drawLine(texel, texel, blend, cx + prevX, cy + prevY, cx + nextX, cy + nextY);
        prevX = nextX;
        prevY = nextY;
    }
}
