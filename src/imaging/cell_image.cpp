// CellImage: loading cell art, the keyed blit and the canvas resolve.
#include "cell_image.h"

#include "clip.h"
#include "grid.h"
#include "shade_canvas.h"
#include "shade_ramp.h"

#include <new>

bool CellImage::load(const Blob& blob, std::uint32_t w) {
    release();
    const std::uint32_t n = blob.size / 2;
    if (w == 0 || n / w == 0)
        return false;
    cells = new (std::nothrow) Cell[n]();
    if (!cells)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(n / w);
    for (std::uint32_t i = 0; i < n; ++i) {
        cells[i].character = blob.data[2 * i];
        cells[i].attributes = blob.data[2 * i + 1];
    }
    return true;
}

bool CellImage::allocate(int w, int h) {
    release();
    return allocateGrid(cells, width, height, w, h);
}

void CellImage::release() {
    releaseGrid(cells, width, height);
}

void CellImage::blitKeyed(const CellImage& source, std::uint16_t key, int sx, int sy, int dx,
                          int dy, int w, int h) {
    blitEach(*this, cells, source, source.cells, sx, sy, dx, dy, w, h,
             [key](Cell& d, const Cell& s) {
                 if (s.character != key)
                     d = s;
             });
}

void CellImage::resolve(const ShadeCanvas& source, int sx, int sy, int dx, int dy, int w, int h) {
    blitEach(*this, cells, source, source.pixels, sx, sy, dx, dy, w, h,
             [](Cell& d, const ShadePixel& s) {
                 if (!s.ramp)
                     return;
                 const float level = s.level;
                 int index = 0;
                 if (level < 0)
                     index = 0;
                 else if (level > 1)
                     index = 255;
                 else if (level == level) // a NaN level shows as the ramp's darkest cell
                     index = static_cast<int>(static_cast<double>(level) * 255.0);
                 d = s.ramp->cells[index];
             });
}
