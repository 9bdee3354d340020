// The smoothstep-weighted wrapping sampler of the noise cloud: the bilinear
// sampler's neighbours and wrapping with weights 3t^2 - 2t^3, so that the
// cells of a coarse noise texture blend without visible creases.
#include "float_env.h"
#include "texture.h"

#include <cstdint>

namespace {

float smoothstep(float t) {
    const float t2 = t * t;
    return 3.0f * t2 - 2.0f * (t2 * t);
}

} // namespace

void Texture::sampleSmooth(Texel& out, float u, float v) const {
    const float fx = u * widthF;
    const float fy = v * heightF;
    const int ix = floorToTexel(fx);
    const int iy = floorToTexel(fy);
    const float wx = smoothstep(fx - static_cast<float>(ix));
    const float wy = smoothstep(fy - static_cast<float>(iy));

    blendNeighbours(out, ix, iy, wx, wy);
}

void Texture::sampleSmoothRow(Texel* out, int count, float uStart, float du, float uOffset, float v,
                              bool add) const {
    // The row half of sampleSmooth, once for the whole row.
    const float fy = v * heightF;
    const int iy = floorToTexel(fy);
    const float wy = smoothstep(fy - static_cast<float>(iy));
    const std::uint32_t y0 = static_cast<std::uint32_t>(iy);
    const std::uint32_t w = static_cast<std::uint32_t>(width);
    const std::uint32_t xm = static_cast<std::uint32_t>(xMask);
    const std::uint32_t ym = static_cast<std::uint32_t>(yMask);
    const Texel* row0 = texels + ((w * y0) & ym);
    const Texel* row1 = texels + ((w * (y0 + 1u)) & ym);
    const double gy = wy;

    float u = uStart;
    for (int i = 0; i < count; ++i, u += du) {
        const float fx = (u + uOffset) * widthF;
        const int ix = floorToTexel(fx);
        const float wx = smoothstep(fx - static_cast<float>(ix));
        const std::uint32_t x0 = static_cast<std::uint32_t>(ix);
        const std::uint32_t c0 = x0 & xm;
        const std::uint32_t c1 = (x0 + 1u) & xm;
        const double gx = wx;
        const float level =
            static_cast<float>((1.0 - gy) * ((1.0 - gx) * row0[c0].level + gx * row0[c1].level) +
                               gy * ((1.0 - gx) * row1[c0].level + gx * row1[c1].level));
        out[i].level = add ? out[i].level + level : level;
    }
}
