// ShadeCanvas: allocation, texture composite and constant fill.
#include "shade_canvas.h"

#include "clip.h"
#include "grid.h"
#include "texture.h"

bool ShadeCanvas::allocate(int w, int h) {
    release();
    return allocateGrid(pixels, width, height, w, h);
}

void ShadeCanvas::release() {
    releaseGrid(pixels, width, height);
}

void ShadeCanvas::composite(const Texture& source, const ShadeRamp* ramp, float threshold,
                            const BlendMode& mode, int sx, int sy, int dx, int dy, int w, int h) {
    const double k0 = mode.k0, k1 = mode.k1, k2 = mode.k2, k3 = mode.k3;
    blitEach(*this, pixels, source, source.texels, sx, sy, dx, dy, w, h,
             [=](ShadePixel& p, const Texel& s) {
                 float a = s.alpha;
                 if (a > 1)
                     a = 1;
                 else if (a < 0)
                     a = 0;
                 const double sL = s.level, dL = p.level;
                 p.level = static_cast<float>(a * (k3 * dL + k2 * sL) + k0 * sL + k1 * dL);
                 if (a > threshold)
                     p.ramp = ramp;
             });
}

void ShadeCanvas::fill(const ShadePixel& source, const BlendMode& mode, int x, int y, int w,
                       int h) {
    if (!clipRect(*this, x, y, w, h))
        return;
    const double k0 = mode.k0, k1 = mode.k1;
    const double sL = source.level;
    ShadePixel* p = pixels + y * width + x;
    const int pStep = width - w;
    for (int j = 0; j < h; ++j, p += pStep) {
        for (int i = 0; i < w; ++i, ++p) {
            p->level = static_cast<float>(k0 * sL + k1 * p->level);
            p->ramp = source.ramp;
        }
    }
}
