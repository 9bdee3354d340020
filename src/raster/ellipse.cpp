// Solid anti-aliased axis-aligned ellipses, row by row: the boundary is sampled
// once per row boundary, the top and bottom rows are tent-shaped caps, and the
// rows between have a sloped left edge, an interior of alpha 1 and a sloped
// right edge. Every texel goes through Texture::plot.
#include "imaging/float_env.h"
#include "imaging/round_down.h"
#include "imaging/texture.h"

#include <cmath>

namespace {

// As for lines: centres and radii beyond this are not drawn, so that every
// column and row index stays far inside int.
constexpr float maxCoordinate = 4194304.0f; // 2^22

bool isDrawable(float v) {
    return std::fabs(v) <= maxCoordinate; // false for NaN as well
}

struct EllipseRows {
    Texture& texture;
    const Texel& texel;
    const BlendMode& blend;
    DownFloat centreX; // centre shifted by half a texel: texel c spans [c, c + 1)

    void plot(int c, int r, DownFloat alpha) {
        texture.plot(c, r, Texel{texel.level, toFloat(alpha)}, blend);
    }

    // A cap row: the ellipse reaches `capHeight` into row r from the boundary
    // where it is `halfWidth` wide. The covered height rises linearly from the
    // left end to the centre column and falls again to the right end.
    void cap(int r, DownFloat halfWidth, DownFloat capHeight) {
        if (std::isnan(toFloat(halfWidth)))
            return;
        const DownFloat xl = centreX - halfWidth;
        const DownFloat xr = centreX + halfWidth;
        const int cl = floorToInt(xl);
        const int cm = floorToInt(centreX);
        const int cr = floorToInt(xr);
        if (cl == cr)
            return;
        const DownFloat alpha = texel.alpha;
        const DownFloat s = capHeight / halfWidth;

        const DownFloat g = static_cast<float>(cl + 1) - xl;
        const DownFloat h = s * g;
        plot(cl, r, 0.5f * g * h * alpha);
        DownFloat hPrev = h;
        DownFloat hNext = h + s;
        int c = cl + 1;
        while (c < cm) {
            plot(c, r, 0.5f * (hPrev + hNext) * alpha);
            hPrev = hNext;
            hNext = hNext + s;
            ++c;
        }

        // hNext is the rising height at the apex column's right boundary, so the
        // falling side starts one step s above the mirror of the rising side.
        const DownFloat apex = static_cast<float>(c);
        const DownFloat hApex = hNext + s * (centreX - apex) - s * (apex + 1.0f - centreX);
        plot(c, r, 0.5f * (hPrev + hApex) * alpha);
        hPrev = hApex;
        hNext = hApex - s;
        ++c;
        while (c < cr) {
            plot(c, r, 0.5f * (hPrev + hNext) * alpha);
            hPrev = hNext;
            hNext = hNext - s;
            ++c;
        }
        // With cr = cl + 1 this column lies right of xr and its coverage is
        // negative; a later composite clamps the alpha it reads.
        plot(c, r, 0.5f * (xr - static_cast<float>(c)) * hPrev * alpha);
    }

    // A row between the caps, `prev` wide at its upper boundary and `next` at
    // its lower one.
    void middle(int r, DownFloat prev, DownFloat next) {
        const DownFloat outer = next > prev ? next : prev;
        const DownFloat inner = next > prev ? prev : next;
        if (std::isnan(toFloat(outer)) || std::isnan(toFloat(inner)))
            return;
        const DownFloat alpha = texel.alpha;
        // Rate at which the covered fraction of the row changes across an edge;
        // infinite (and unused) when both widths are equal.
        const DownFloat k = 1.0f / (outer - inner);
        const DownFloat l0 = centreX - outer;
        const DownFloat l1 = centreX - inner;
        const DownFloat r0 = centreX + inner;
        const DownFloat r1 = centreX + outer;
        const int iL0 = floorToInt(l0);
        const int iL1 = floorToInt(l1);
        const int iR0 = floorToInt(r0);
        const int iR1 = floorToInt(r1);

        int c = iL0;
        if (iL0 == iL1) {
            plot(c, r, (static_cast<float>(iL0 + 1) - (l0 + l1) * 0.5f) * alpha);
        } else {
            const DownFloat d = static_cast<float>(iL0 + 1) - l0;
            const DownFloat g = k * d;
            plot(c, r, 0.5f * d * g * alpha);
            DownFloat gPrev = g;
            DownFloat gNext = g + k;
            c = iL0 + 1;
            while (c < iL1) {
                plot(c, r, 0.5f * (gPrev + gNext) * alpha);
                gPrev = gNext;
                gNext = gNext + k;
                ++c;
            }
            plot(c, r, (1.0f - 0.5f * (l1 - static_cast<float>(c)) * gPrev) * alpha);
        }

        // The interior takes alpha exactly 1, whatever the texel's alpha. Only
        // its columns inside the texture are visited (plot skips the others).
        ++c;
        if (c < iR0) {
            const int first = c > 0 ? c : 0;
            const int end = iR0 < texture.width ? iR0 : texture.width;
            for (int i = first; i < end; ++i)
                plot(i, r, 1.0f);
            c = iR0;
        }

        // When the left edge ended at or right of iR0 the right edge starts just
        // after it, so its columns can lie right of r1.
        if (iR0 == iR1) {
            plot(c, r, ((r0 + r1) * 0.5f - static_cast<float>(c)) * alpha);
        } else {
            const DownFloat d = static_cast<float>(c + 1) - r0;
            const DownFloat g = 1.0f - k * d;
            plot(c, r, (1.0f - 0.5f * d * g) * alpha);
            DownFloat gPrev = g;
            DownFloat gNext = g - k;
            ++c;
            while (c < iR1) {
                plot(c, r, 0.5f * (gPrev + gNext) * alpha);
                gPrev = gNext;
                gNext = gNext - k;
                ++c;
            }
            plot(c, r, (r1 - static_cast<float>(c)) * gPrev * alpha);
        }
    }
};

} // namespace

void Texture::fillEllipse(const Texel& texel, const BlendMode& blend, float cx, float cy, float rx,
                          float ry) {
    // Negative (or NaN) radii describe no ellipse.
    if (!(rx >= 0) || !(ry >= 0))
        return;
    if (!isDrawable(cx) || !isDrawable(cy) || !isDrawable(rx) || !isDrawable(ry))
        return;
    DownwardScope rounding;

    const DownFloat radiusX = rx, radiusY = ry;
    const DownFloat centreX = DownFloat(cx) + 0.5f;
    const DownFloat centreY = DownFloat(cy) + 0.5f;
    const DownFloat top = centreY - radiusY;
    const DownFloat bottom = centreY + radiusY;
    const int rowTop = floorToInt(top);
    const int rowBottom = floorToInt(bottom);
    const DownFloat ry2 = radiusY * radiusY;
    // Half-width at the shifted height y; NaN where y lies beyond the ellipse
    // (always so for an ellipse within one row).
    auto halfWidth = [&](int y) {
        const DownFloat d = static_cast<float>(y) - centreY;
        return radiusX * downSqrt(1.0f - d * d / ry2);
    };

    // Rows outside the texture are not visited: every row paints only itself
    // and its widths come from its own boundaries, so skipping one changes nothing.
    auto inside = [&](int row) { return row >= 0 && row < height; };
    EllipseRows rows{*this, texel, blend, centreX};
    DownFloat w = halfWidth(rowTop + 1);
    DownFloat wPrev = 0.0f;
    if (inside(rowTop))
        rows.cap(rowTop, w, static_cast<float>(rowTop + 1) - top);
    int r = rowTop + 1;
    for (; r < rowBottom; ++r) {
        wPrev = w;
        w = halfWidth(r + 1);
        if (inside(r))
            rows.middle(r, wPrev, w);
    }
    // The bottom cap's base is the upper boundary of the last middle row (0 when
    // there was none, which leaves the bottom row unpainted).
    if (inside(r))
        rows.cap(r, wPrev, bottom - static_cast<float>(r));
}
