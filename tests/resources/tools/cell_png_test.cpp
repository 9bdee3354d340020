// Cells rendered as a VGA text screen shows them, and the PNG files written
// from them (read back with stb_image).
#include "cell_png.h"

#include <gtest/gtest.h>

#include <stb_image.h>

#include <cstdio>
#include <memory>

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

Rgb colour(const VgaColour& c) {
    return {c.r, c.g, c.b};
}

class Rendered {
  public:
    Rendered(const Cell* cells, int w, int h)
        : width(w * cellPixelWidth), pixels(static_cast<std::size_t>(width) * h * 48) {
        renderCellsRgb(cells, w, h, pixels.data(), width * 3);
    }
    Rgb at(int x, int y) const {
        const std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
    int width;
    std::vector<std::uint8_t> pixels;
};

std::string tempPath(const char* name) {
    return std::string(SHADESTRIP_BINARY_DIR) + "/" + name;
}

} // namespace

TEST(CellPng, FullBlockFillsEightColumnsInTheForeground) {
    const Cell cells[1] = {{0xDB, 0x1E}}; // yellow on blue
    const Rendered r(cells, 1, 1);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(r.at(x, y), colour(vgaPalette[0xE])) << x << "," << y;
    // 0xDB is a line-graphics glyph: the ninth column repeats the eighth.
    EXPECT_EQ(r.at(8, 5), colour(vgaPalette[0xE]));
}

TEST(CellPng, NinthColumnRepeatsOnlyForLineGraphics) {
    // 0xC4 (horizontal line) joins its neighbours; 0xB3 sits in the middle;
    // 0xDF (upper half block) is the last of the extended range, 0xE0 is past it.
    const Cell cells[4] = {{0xC4, 0x0F}, {0xB3, 0x0F}, {0xDF, 0x0F}, {0xE0, 0x0F}};
    const Rendered r(cells, 4, 1);
    const Rgb white = colour(vgaPalette[15]), black = colour(vgaPalette[0]);
    int lineRow = -1;
    for (int y = 0; y < 16 && lineRow < 0; ++y)
        if (r.at(0, y) == white)
            lineRow = y;
    ASSERT_GE(lineRow, 0);
    EXPECT_EQ(r.at(8, lineRow), white);
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(r.at(9 + 8, y), black) << "0xB3 row " << y;
    EXPECT_EQ(r.at(18 + 8, 0), white);
    for (int y = 0; y < 16; ++y)
        EXPECT_EQ(r.at(27 + 8, y), black) << "0xE0 row " << y;
}

TEST(CellPng, UsesOnlyTheLowByteOfTheCharacter) {
    // Drawn text is stored sign-extended: 0xFFC5 must show as 0xC5.
    const Cell cells[2] = {{0xFFC5, 0x07}, {0x00C5, 0x07}};
    const Rendered r(cells, 2, 1);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 9; ++x)
            ASSERT_EQ(r.at(x, y), r.at(9 + x, y)) << x << "," << y;
}

TEST(CellPng, SpaceShowsTheBackgroundNibble) {
    const Cell cells[1] = {{' ', 0xC1}}; // blue on light red
    const Rendered r(cells, 1, 1);
    EXPECT_EQ(r.at(4, 8), colour(vgaPalette[0xC]));
    EXPECT_EQ(r.at(8, 15), colour(vgaPalette[0xC]));
}

TEST(CellPng, WritesAPictureThatReadsBack) {
    std::vector<Cell> cells(3 * 2, Cell{' ', 0x40});
    cells[4] = Cell{0xDB, 0x0A};
    const std::string path = tempPath("cell_png_test.png");
    ASSERT_TRUE(writeCellsPng(path, cells.data(), 3, 2));
    int w = 0, h = 0, n = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> image(stbi_load(path.c_str(), &w, &h, &n, 3),
                                                          stbi_image_free);
    std::remove(path.c_str());
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(w, 27);
    EXPECT_EQ(h, 32);
    const unsigned char* red = image.get();
    EXPECT_EQ(colour(vgaPalette[4]), (Rgb{red[0], red[1], red[2]}));
    const unsigned char* green = image.get() + ((16 + 3) * 27 + 9 + 2) * 3;
    EXPECT_EQ(colour(vgaPalette[0xA]), (Rgb{green[0], green[1], green[2]}));
    EXPECT_FALSE(writeCellsPng(path, cells.data(), 0, 2));
}

TEST(CellPng, ContactSheetPlacesFramesInReadingOrder) {
    const int w = 2, h = 1;
    std::vector<std::vector<Cell>> frames;
    for (std::uint16_t bg : {0x10, 0x20, 0x40})
        frames.push_back(std::vector<Cell>(w * h, Cell{' ', bg}));
    const std::string path = tempPath("cell_sheet_test.png");
    ASSERT_TRUE(writeCellSheetPng(path, frames, w, h, 2, 2));
    int pw = 0, ph = 0, n = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> image(stbi_load(path.c_str(), &pw, &ph, &n, 3),
                                                          stbi_image_free);
    std::remove(path.c_str());
    ASSERT_NE(image, nullptr);
    const int frameW = w * cellPixelWidth, frameH = h * cellPixelHeight;
    EXPECT_EQ(pw, 2 * frameW + sheetGap);
    EXPECT_EQ(ph, 2 * frameH + sheetGap);
    const auto pixel = [&](int x, int y) {
        const unsigned char* p = image.get() + (y * pw + x) * 3;
        return Rgb{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(1, 1), colour(vgaPalette[1]));
    EXPECT_EQ(pixel(frameW + sheetGap + 1, 1), colour(vgaPalette[2]));
    EXPECT_EQ(pixel(1, frameH + sheetGap + 1), colour(vgaPalette[4]));
    // The gap and the missing fourth frame are neither black nor a palette colour.
    EXPECT_FALSE(pixel(frameW + 1, 1) == colour(vgaPalette[0]));
    EXPECT_FALSE(pixel(frameW + sheetGap + 1, frameH + sheetGap + 1) == colour(vgaPalette[0]));
}

TEST(CellPng, ContactSheetRefusesFramesThatDoNotFit) {
    const std::string path = tempPath("cell_sheet_refused.png");
    std::vector<std::vector<Cell>> frames(5, std::vector<Cell>(4));
    EXPECT_FALSE(writeCellSheetPng(path, frames, 2, 2, 2, 2)); // five frames, four slots
    frames.resize(2);
    frames[1].pop_back();
    EXPECT_FALSE(writeCellSheetPng(path, frames, 2, 2, 2, 2)); // a frame one cell short
    std::remove(path.c_str());
}
