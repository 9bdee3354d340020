// The shade canvas: per console cell a level and the ramp that will show it.
// Textures are composited onto it; CellImage::resolve turns it into cells.
#pragma once

#include "blend.h"
#include "non_copyable.h"

struct ShadeRamp;
class Texture;

struct ShadePixel {
    float level = 0;
    const ShadeRamp* ramp = nullptr; // not owned; null leaves the cell alone
};

class ShadeCanvas : NonCopyable {
  public:
    ShadeCanvas() = default;
    ~ShadeCanvas() { release(); }

    bool allocate(int w, int h);
    void release();

    ShadePixel& at(int x, int y) { return pixels[y * width + x]; }
    const ShadePixel& at(int x, int y) const { return pixels[y * width + x]; }

    // level = a*(k3*dL + k2*sL) + k0*sL + k1*dL with a = clamped source alpha;
    // pixels whose a exceeds `threshold` take `ramp` (which may be null).
    void composite(const Texture& source, const ShadeRamp* ramp, float threshold,
                   const BlendMode& mode, int sx, int sy, int dx, int dy, int w, int h);
    // level = k0*q.level + k1*dL; ramp = q.ramp.
    void fill(const ShadePixel& source, const BlendMode& mode, int x, int y, int w, int h);

    int width = 0;
    int height = 0;
    ShadePixel* pixels = nullptr; // row-major, owned
};
