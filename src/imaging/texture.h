// Texture: a power-of-two float picture with precomputed wrap masks, and every
// operation that paints into it or samples it. The container and its loaders are
// in texture.cpp, painting in texture_paint.cpp, sampling in texture_sample.cpp,
// lines and ellipses in the raster layer (src/raster).
#pragma once

#include "blend.h"
#include "blob.h"
#include "non_copyable.h"
#include "texel.h"

#include <cstdint>

class Texture : NonCopyable {
  public:
    Texture() = default;
    ~Texture() { release(); }

    // --- Container (texture.cpp) ---

    // Stores the sizes, float sizes and masks; false (and an empty texture) when
    // a side is not a power of two.
    bool setSize(int w, int h);
    // w x h texels, all {0, 0}. Sides must be positive powers of two.
    bool allocate(int w, int h);
    // One byte per texel, `width` bytes per row: level = byte / 255, alpha given.
    bool loadLevels(const Blob& blob, float alpha, std::uint32_t width);
    // One byte per texel: alpha = byte / 255, level given.
    bool loadAlpha(float level, const Blob& blob, std::uint32_t width);
    void release();

    Texel& at(int x, int y) { return texels[y * width + x]; }
    const Texel& at(int x, int y) const { return texels[y * width + x]; }

    // --- Painting (texture_paint.cpp) ---

    void blit(const Texture& source, const BlendMode& mode, int sx, int sy, int dx, int dy, int w,
              int h);
    void fill(const Texel& source, const BlendMode& mode, int x, int y, int w, int h);
    // Smoothstep-shaped noise from the shared random generator, row by row.
    void fillNoise(const BlendMode& mode, int x, int y, int w, int h);
    // Soft ellipse whose weight falls off as 1 - r^2; rounds downward throughout.
    void brushEllipse(const Texel& source, const BlendMode& mode, float cx, float cy, float rx,
                      float ry);

    // --- Sampling (texture_sample.cpp) ---

    // Bilinear, wrapping sample at texture units (u, v).
    void sample(Texel& out, float u, float v) const;
    // Same, with smoothstep weights (the noise cloud's sampler).
    void sampleSmooth(Texel& out, float u, float v) const;
    // The levels sampleSmooth gives along one row, `count` samples at
    // (u + uOffset, v) with u starting at uStart and growing by du (float
    // additions, one per sample). Sample i goes to out[i].level, or is added
    // to it with `add`; alphas are left alone. The same values, bit for bit,
    // as sampleSmooth's levels, for a fraction of the cost: the rows and their
    // weight are found once.
    void sampleSmoothRow(Texel* out, int count, float uStart, float du, float uOffset, float v,
                         bool add) const;
    // Walks `source` from (uStart, vStart) to (uEnd, vEnd) over the rectangle and
    // blends every sample into this texture.
    void fillSampled(const Texture& source, const BlendMode& mode, float uStart, float vStart,
                     float uEnd, float vEnd, int x, int y, int w, int h);

    // --- Rasterisation (src/raster) ---

    // Blends `source` into texel (c, r) through `blend` when it lies inside;
    // otherwise nothing.
    void plot(int c, int r, const Texel& source, const BlendMode& blend);
    // Anti-aliased line from (x0, y0) with `from` to (x1, y1) with `to`.
    void drawLine(const Texel& from, const Texel& to, const BlendMode& blend, float x0, float y0,
                  float x1, float y1);
    // Closed outline of 16 straight segments.
    void drawEllipseOutline(const Texel& texel, const BlendMode& blend, float cx, float cy,
                            float rx, float ry);
    // Solid anti-aliased axis-aligned ellipse.
    void fillEllipse(const Texel& texel, const BlendMode& blend, float cx, float cy, float rx,
                     float ry);

  private:
    void blendNeighbours(Texel& out, int ix, int iy, float gx, float gy) const;
    bool loadBytes(const Blob& blob, float constant, std::uint32_t width, bool levelsFromBytes);

  public:
    int width = 0;           // columns, a power of two
    int height = 0;          // rows, a power of two
    Texel* texels = nullptr; // row-major, owned
    float widthF = 0;        // width as float
    float heightF = 0;       // height as float
    std::int32_t xMask = 0;  // width - 1
    std::int32_t yMask = 0;  // width * (height - 1)
};
