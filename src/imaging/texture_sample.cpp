// Texture sampling: the wrapping bilinear sampler and the stepped rectangle
// fill that walks it across a source (scaled copies, mip levels).
#include "clip.h"
#include "float_env.h"
#include "texture.h"

#include <cstdint>

void Texture::sample(Texel& out, float u, float v) const {
    const float px = u * widthF;
    const float py = v * heightF;
    // The floor conversions round downward; nothing else in the sampler does.
    // floorToInt is exact in every rounding mode, so no mode switch is needed
    // around it (switching costs more than the rest of the sample).
    const int ix = floorToTexel(px);
    const int iy = floorToTexel(py);
    const float fx = px - static_cast<float>(ix);
    const float fy = py - static_cast<float>(iy);

    blendNeighbours(out, ix, iy, fx, fy);
}

// The four texels around (ix, iy), wrapped by the masks and mixed with weights
// gx across and gy down in double precision. Shared by both samplers.
void Texture::blendNeighbours(Texel& out, int ix, int iy, float gxF, float gyF) const {
    // Wrapping by masks, in unsigned arithmetic so negative and extreme
    // positions wrap modulo 2^32 like the two's complement they are.
    const std::uint32_t x0 = static_cast<std::uint32_t>(ix);
    const std::uint32_t y0 = static_cast<std::uint32_t>(iy);
    const std::uint32_t w = static_cast<std::uint32_t>(width);
    const std::uint32_t xm = static_cast<std::uint32_t>(xMask);
    const std::uint32_t ym = static_cast<std::uint32_t>(yMask);
    const std::uint32_t c0 = x0 & xm;
    const std::uint32_t c1 = (x0 + 1u) & xm;
    const std::uint32_t r0 = (y0 * w) & ym;
    const std::uint32_t r1 = ((y0 + 1u) * w) & ym;
    const Texel& t00 = texels[r0 + c0];
    const Texel& t10 = texels[r0 + c1];
    const Texel& t01 = texels[r1 + c0];
    const Texel& t11 = texels[r1 + c1];

    const double gx = gxF, gy = gyF;
    out.level = static_cast<float>((1.0 - gy) * ((1.0 - gx) * t00.level + gx * t10.level) +
                                   gy * ((1.0 - gx) * t01.level + gx * t11.level));
    out.alpha = static_cast<float>((1.0 - gy) * ((1.0 - gx) * t00.alpha + gx * t10.alpha) +
                                   gy * ((1.0 - gx) * t01.alpha + gx * t11.alpha));
}

void Texture::fillSampled(const Texture& source, const BlendMode& mode, float uStart, float vStart,
                          float uEnd, float vEnd, int x, int y, int w, int h) {
    // An empty request draws nothing; it would also make the steps divide by 0.
    if (w <= 0 || h <= 0)
        return;
    // Steps come from the requested size, so clipping never changes where a
    // destination texel samples.
    const float du = (uEnd - uStart) / static_cast<float>(w);
    const float dv = (vEnd - vStart) / static_cast<float>(h);
    const int requestedX = x, requestedY = y;
    if (!clipRect(*this, x, y, w, h))
        return;
    const float uFirst =
        uStart + static_cast<float>(std::int64_t{x} - std::int64_t{requestedX}) * du;
    float v = vStart + static_cast<float>(std::int64_t{y} - std::int64_t{requestedY}) * dv;

    // Coordinates advance by float additions, so long rows carry the rounding
    // of every step (the mip levels depend on it).
    Texel s;
    Texel* d = texels + y * width + x;
    const int dStep = width - w;
    for (int j = 0; j < h; ++j, d += dStep) {
        float u = uFirst;
        for (int i = 0; i < w; ++i, ++d) {
            source.sample(s, u, v);
            mode.apply(*d, s);
            u = u + du;
        }
        v = v + dv;
    }
}
