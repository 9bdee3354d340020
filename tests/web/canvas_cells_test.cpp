// The canvas console's picture: only changed cells are redrawn, and whatever
// the order of updates the pixels equal the capture tool's rendering.
#include "cell_png.h"
#include "platform/web/canvas_cells.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

constexpr int columns = 80, rows = 50;

struct Rect {
    int x, y, w, h;
    bool operator==(const Rect& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

std::vector<Rect> update(CanvasCells& canvas, const std::vector<Cell>& cells) {
    std::vector<Rect> rects;
    canvas.update(cells.data(), [&](int x, int y, int w, int h) { rects.push_back({x, y, w, h}); });
    return rects;
}

// The capture's RGB rendering of the whole frame, as RGBA with opaque alpha.
std::vector<std::uint8_t> captureRgba(const std::vector<Cell>& cells) {
    std::vector<std::uint8_t> rgb(columns * 9 * rows * 16 * 3);
    renderCellsRgb(cells.data(), columns, rows, rgb.data(), columns * 9 * 3);
    std::vector<std::uint8_t> rgba;
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    return rgba;
}

std::vector<Cell> pattern(unsigned seed) {
    std::vector<Cell> cells(columns * rows);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const unsigned v = static_cast<unsigned>(i) * 2654435761u + seed * 40503u;
        cells[i].character = static_cast<std::uint16_t>(0xB0 + (v >> 8) % 48);
        cells[i].attributes = static_cast<std::uint16_t>((v >> 16) & 0xFF);
    }
    return cells;
}

bool samePixels(CanvasCells& canvas, const std::vector<Cell>& cells) {
    const std::vector<std::uint8_t> expected = captureRgba(cells);
    return std::equal(expected.begin(), expected.end(), canvas.pixels());
}

TEST(CanvasCells, FirstUpdateDrawsEveryRowThenOnlyChangedCells) {
    CanvasCells canvas;
    ASSERT_TRUE(canvas.reset(columns, rows));
    EXPECT_EQ(canvas.pixelWidth(), 720);
    EXPECT_EQ(canvas.pixelHeight(), 800);
    std::vector<Cell> cells(columns * rows); // all zero: black, as a new back buffer
    const std::vector<Rect> first = update(canvas, cells);
    ASSERT_EQ(first.size(), static_cast<std::size_t>(rows));
    EXPECT_EQ(first[7], (Rect{0, 7 * 16, 720, 16}));
    EXPECT_TRUE(samePixels(canvas, cells));
    EXPECT_TRUE(update(canvas, cells).empty());

    // Two changes in row 5 give one rectangle from the first to the last.
    cells[5 * columns + 3] = Cell{0xDB, 0x1E};
    cells[5 * columns + 10] = Cell{0xB1, 0x4F};
    const std::vector<Rect> changed = update(canvas, cells);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], (Rect{3 * 9, 5 * 16, 8 * 9, 16}));
    EXPECT_TRUE(samePixels(canvas, cells));
}

TEST(CanvasCells, OnlyTheShownBytesCountAsChanges) {
    CanvasCells canvas;
    ASSERT_TRUE(canvas.reset(columns, rows));
    std::vector<Cell> cells(columns * rows, Cell{0xC5, 0xF0});
    update(canvas, cells);
    // Drawn text is stored sign-extended (0xFFC5): the same glyph on screen.
    cells[0] = Cell{0xFFC5, 0xF0};
    cells[1] = Cell{0xC5, 0x12F0};
    EXPECT_TRUE(update(canvas, cells).empty());
    EXPECT_TRUE(samePixels(canvas, cells));
}

TEST(CanvasCells, AnySequenceOfFramesEndsInTheCapturesPicture) {
    CanvasCells canvas;
    ASSERT_TRUE(canvas.reset(columns, rows));
    std::vector<Cell> cells = pattern(1);
    update(canvas, cells);
    for (unsigned frame = 2; frame < 8; ++frame) {
        const std::vector<Cell> next = pattern(frame);
        // Change a different part each time, as the scenes do.
        for (std::size_t i = frame * 97; i < cells.size(); i += frame * 13)
            cells[i] = next[i];
        update(canvas, cells);
        ASSERT_TRUE(samePixels(canvas, cells)) << "after frame " << frame;
    }
    // A reset draws everything again on the next update.
    ASSERT_TRUE(canvas.reset(columns, rows));
    EXPECT_EQ(update(canvas, cells).size(), static_cast<std::size_t>(rows));
    EXPECT_TRUE(samePixels(canvas, cells));
}

TEST(CanvasCells, RefusesSizesItCannotHold) {
    CanvasCells canvas;
    EXPECT_FALSE(canvas.reset(0, 50));
    EXPECT_FALSE(canvas.reset(80, -1));
    EXPECT_FALSE(canvas.reset(100000, 100000));
}

} // namespace
