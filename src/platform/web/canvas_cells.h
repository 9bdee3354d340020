// CanvasCells: the pure part of the canvas console. Keeps the cells last
// drawn, turns the cells that changed into RGBA pixels with the PNG captures'
// font and palette, and says which pixel rectangles to copy to the canvas.
// No browser calls: the console hands the rectangles on.
#pragma once

#include "imaging/cell.h"

#include <cstdint>
#include <vector>

class CanvasCells {
  public:
    static constexpr int cellWidth = 9;
    static constexpr int cellHeight = 16;

    // width x height cells, all to be drawn on the first update. False when
    // the size is not positive (or too large to hold).
    bool reset(int width, int height);
    // Draws the cells that differ from the last update into the pixels and
    // calls dirty(x, y, w, h) in pixels once per row of cells that changed,
    // covering its first to its last changed cell. Cells must be width x height.
    template <class Dirty> void update(const Cell* cells, Dirty dirty);

    // RGBA, 4 bytes a pixel, width * 9 by height * 16 pixels, alpha 255 once drawn.
    std::uint8_t* pixels() { return rgba.data(); }
    int pixelWidth() const { return width * cellWidth; }
    int pixelHeight() const { return height * cellHeight; }

  private:
    void drawCell(int column, int row, const Cell& cell);

    int width = 0;
    int height = 0;
    bool drawAll = true;
    std::vector<Cell> shown;
    std::vector<std::uint8_t> rgba;
};

template <class Dirty> void CanvasCells::update(const Cell* cells, Dirty dirty) {
    for (int row = 0; row < height; ++row) {
        int first = -1, last = -1;
        for (int column = 0; column < width; ++column) {
            const std::size_t i = static_cast<std::size_t>(row) * width + column;
            const Cell& cell = cells[i];
            // Only the low byte of the character is shown (drawn text is stored
            // sign-extended), and only the low byte of the attributes.
            Cell& old = shown[i];
            const bool same = (old.character & 0xFFu) == (cell.character & 0xFFu) &&
                              (old.attributes & 0xFFu) == (cell.attributes & 0xFFu);
            if (same && !drawAll)
                continue;
            old = cell;
            drawCell(column, row, cell);
            if (first < 0)
                first = column;
            last = column;
        }
        if (first >= 0)
            dirty(first * cellWidth, row * cellHeight, (last - first + 1) * cellWidth, cellHeight);
    }
    drawAll = false;
}
