// Texture painting: texture blit, constant fill, noise fill and the soft
// elliptical brush. Every painter clips first and blends through the texel rule.
#include "clip.h"
#include "float_env.h"
#include "round_down.h"
#include "shared_random.h"
#include "texture.h"

#include <cmath>

void Texture::blit(const Texture& source, const BlendMode& mode, int sx, int sy, int dx, int dy,
                   int w, int h) {
    blitEach(*this, texels, source, source.texels, sx, sy, dx, dy, w, h,
             [&mode](Texel& d, const Texel& s) { mode.apply(d, s); });
}

void Texture::fill(const Texel& source, const BlendMode& mode, int x, int y, int w, int h) {
    if (!clipRect(*this, x, y, w, h))
        return;
    Texel* d = texels + y * width + x;
    const int dStep = width - w;
    for (int j = 0; j < h; ++j, d += dStep)
        for (int i = 0; i < w; ++i, ++d)
            mode.apply(*d, source);
}

void Texture::fillNoise(const BlendMode& mode, int x, int y, int w, int h) {
    if (!clipRect(*this, x, y, w, h))
        return;
    // 1/32767 as a float, so r = 32767 gives exactly 1.
    const float scale = 3.0518509e-05f;
    const double k0 = mode.k0, k1 = mode.k1, k4 = mode.k4, k5 = mode.k5;
    Texel* d = texels + y * width + x;
    const int dStep = width - w;
    for (int j = 0; j < h; ++j, d += dStep) {
        for (int i = 0; i < w; ++i, ++d) {
            const float f = static_cast<float>(sharedRandom()) * scale;
            const float f2 = f * f;
            const float n = 3.0f * f2 - 2.0f * (f2 * f);
            d->level = static_cast<float>(k1 * d->level + k0 * n);
            d->alpha = static_cast<float>(k5 * d->alpha + k4 * n);
        }
    }
}

void Texture::brushEllipse(const Texel& source, const BlendMode& mode, float cx, float cy, float rx,
                           float ry) {
    // A radius of 0 or less would make the inverse squares infinite: nothing to paint.
    if (!(rx > 0) || !(ry > 0))
        return;
    // The whole brush, its bounds and blends included, rounds downward.
    DownwardScope rounding;
    const DownFloat radiusX = rx, radiusY = ry;
    const DownFloat centreX = DownFloat(cx) + 0.5f;
    const DownFloat centreY = DownFloat(cy) + 0.5f;
    const float left = toFloat(centreX - radiusX);
    const float top = toFloat(centreY - radiusY);
    const float right = toFloat(centreX + radiusX);
    const float bottom = toFloat(centreY + radiusY);
    // Bounds that are not numbers, or so far out that the box size would not
    // fit an int, cannot be converted: such a brush paints nothing.
    const float limit = 536870912.0f; // 2^29
    if (!(std::fabs(left) <= limit && std::fabs(top) <= limit && std::fabs(right) <= limit &&
          std::fabs(bottom) <= limit))
        return;
    const int x0 = floorToInt(left);
    const int y0 = floorToInt(top);
    const int x1 = floorToInt(right);
    const int y1 = floorToInt(bottom);
    int x = x0, y = y0, w = x1 - x0 + 1, h = y1 - y0 + 1;
    if (!clipRect(*this, x, y, w, h))
        return;
    const DownFloat ix = 1.0f / (radiusX * radiusX);
    const DownFloat iy = 1.0f / (radiusY * radiusY);
    const DownFloat sourceAlpha = source.alpha;
    Texel s{source.level, 0.0f};
    for (int j = 0; j < h; ++j) {
        Texel* d = texels + (y + j) * width + x;
        const DownFloat dy = static_cast<float>(y + j) - centreY;
        const DownFloat dyTerm = dy * dy * iy;
        for (int i = 0; i < w; ++i, ++d) {
            const DownFloat dx = static_cast<float>(x + i) - centreX;
            DownFloat e = dx * dx * ix + dyTerm;
            if (e > 1.0f)
                e = 1.0f;
            s.alpha = toFloat((1.0f - e) * sourceAlpha);
            downApply(mode, *d, s);
        }
    }
}
