// CanvasCells: cells to RGBA through the capture tool's cell renderer.
#include "platform/web/canvas_cells.h"

#include "cell_png.h"

#include <cstddef>

bool CanvasCells::reset(int w, int h) {
    width = height = 0;
    shown.clear();
    rgba.clear();
    if (w <= 0 || h <= 0 || w > 1000 || h > 1000)
        return false;
    width = w;
    height = h;
    shown.assign(static_cast<std::size_t>(w) * h, Cell{});
    rgba.assign(static_cast<std::size_t>(pixelWidth()) * pixelHeight() * 4, 0);
    drawAll = true;
    return true;
}

void CanvasCells::drawCell(int column, int row, const Cell& cell) {
    // The capture tool's renderer draws one cell as RGB; spread it to RGBA.
    std::uint8_t rgb[cellWidth * cellHeight * 3];
    renderCellsRgb(&cell, 1, 1, rgb, cellWidth * 3);
    const std::size_t stride = static_cast<std::size_t>(pixelWidth()) * 4;
    std::uint8_t* origin = rgba.data() + static_cast<std::size_t>(row) * cellHeight * stride +
                           static_cast<std::size_t>(column) * cellWidth * 4;
    const std::uint8_t* from = rgb;
    for (int y = 0; y < cellHeight; ++y) {
        std::uint8_t* to = origin + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < cellWidth; ++x, from += 3, to += 4) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to[3] = 255;
        }
    }
}
