// CellImage: a picture of console cells (cell art, and the console back buffer),
// with the keyed blit and the canvas resolve that draw into it.
#pragma once

#include "blob.h"
#include "cell.h"
#include "non_copyable.h"

#include <cstdint>

class ShadeCanvas;

class CellImage : NonCopyable {
  public:
    CellImage() = default;
    virtual ~CellImage() { release(); }

    // Two bytes per cell (character, attribute), row-major, `width` cells a row.
    // Width 0 fails. An odd trailing byte is ignored.
    bool load(const Blob& blob, std::uint32_t width);
    // width x height cells, all {0, 0}.
    bool allocate(int w, int h);
    void release();

    Cell& at(int x, int y) { return cells[y * width + x]; }
    const Cell& at(int x, int y) const { return cells[y * width + x]; }

    // Copies cells whose character is not `key` (the attributes are not compared).
    void blitKeyed(const CellImage& source, std::uint16_t key, int sx, int sy, int dx, int dy,
                   int w, int h);
    // Turns canvas pixels into cells through their ramps; pixels without a ramp
    // leave their cell alone.
    void resolve(const ShadeCanvas& source, int sx, int sy, int dx, int dy, int w, int h);

    int width = 0;
    int height = 0;
    Cell* cells = nullptr; // row-major, owned
};
