// Cells to pictures: renders console cells the way a VGA text screen shows
// them (code page 437 font, 9 x 16 pixels a cell, the 16-colour palette) and
// writes PNG files. For previews and captures; the show itself never uses it.
#pragma once

#include "imaging/cell.h"
#include "imaging/vga_palette.h"

#include <cstdint>
#include <string>
#include <vector>

// Pixel size of one cell: the font's 8 columns plus the VGA ninth column.
constexpr int cellPixelWidth = 9;
constexpr int cellPixelHeight = 16;
// Pixels between the frames of a contact sheet.
constexpr int sheetGap = 4;

// The embedded font: 256 glyphs in code page 437 order, 16 rows of one byte
// each, bit 7 the leftmost pixel.
extern const std::uint8_t cp437Font8x16[256 * 16];

// Renders width x height cells into an RGB buffer (3 bytes a pixel) of
// width * 9 by height * 16 pixels, `stride` bytes a row. Only the low byte of
// a cell's character selects the glyph, and only the low byte of its
// attributes is read (foreground low nibble, background high nibble).
void renderCellsRgb(const Cell* cells, int width, int height, std::uint8_t* rgb, int stride);

// The PNG file of one picture of width x height cells, or no bytes if the size
// is not positive.
std::string encodeCellsPng(const Cell* cells, int width, int height);
// The same written to `path`. False if there are no bytes or any write fails.
bool writeCellsPng(const std::string& path, const Cell* cells, int width, int height);

// Writes a contact sheet: `columns` x `rows` frames of width x height cells,
// placed left to right, then top to bottom, with a thin grey gap between them.
// Missing frames leave their slot grey. False if a frame has the wrong number
// of cells, there are more frames than slots, or the file cannot be written.
// The encoder alone returns no bytes in the first two cases.
std::string encodeCellSheetPng(const std::vector<std::vector<Cell>>& frames, int width, int height,
                               int columns, int rows);
bool writeCellSheetPng(const std::string& path, const std::vector<std::vector<Cell>>& frames,
                       int width, int height, int columns, int rows);
