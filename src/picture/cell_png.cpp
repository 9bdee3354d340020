// Cell rendering with the VGA rules, and the PNG writers built on it.
#include "cell_png.h"

#include <stb_image_write.h>

#include <cstddef>
#include <cstdio>

namespace {

constexpr std::uint8_t gapGrey = 0x30;

// VGA line-graphics characters (0xC0 to 0xDF) reach into the ninth column so
// that box lines and blocks join up; every other glyph leaves it blank.
bool extendsIntoNinthColumn(unsigned glyph) {
    return glyph >= 0xC0 && glyph <= 0xDF;
}

void putColour(std::uint8_t* p, std::uint32_t colour) {
    p[0] = static_cast<std::uint8_t>(colour >> 16);
    p[1] = static_cast<std::uint8_t>(colour >> 8);
    p[2] = static_cast<std::uint8_t>(colour);
}

void appendBytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
}

std::string encodePng(int w, int h, const std::vector<std::uint8_t>& rgb) {
    std::string bytes;
    if (!stbi_write_png_to_func(appendBytes, &bytes, w, h, 3, rgb.data(), w * 3))
        bytes.clear();
    return bytes;
}

// Every write and the close are checked: a full disk is a failure, not a short file.
bool writePng(const std::string& path, const std::string& bytes) {
    if (bytes.empty())
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

void renderCellsRgb(const Cell* cells, int width, int height, std::uint8_t* rgb, int stride) {
    for (int cy = 0; cy < height; ++cy) {
        for (int cx = 0; cx < width; ++cx) {
            const Cell& cell = cells[cy * width + cx];
            const unsigned glyph = cell.character & 0xFFu;
            const std::uint32_t fg = vgaRgb(cell.attributes);
            const std::uint32_t bg = vgaRgb(cell.attributes >> 4u);
            const std::uint8_t* rows = cp437Font8x16 + glyph * 16;
            for (int py = 0; py < cellPixelHeight; ++py) {
                const unsigned bits = rows[py];
                std::uint8_t* p = rgb +
                                  static_cast<std::ptrdiff_t>(cy * cellPixelHeight + py) * stride +
                                  static_cast<std::ptrdiff_t>(cx) * cellPixelWidth * 3;
                for (int px = 0; px < 8; ++px)
                    putColour(p + px * 3, (bits & (0x80u >> px)) ? fg : bg);
                const bool ninth = extendsIntoNinthColumn(glyph) && (bits & 1u);
                putColour(p + 8 * 3, ninth ? fg : bg);
            }
        }
    }
}

std::string encodeCellsPng(const Cell* cells, int width, int height) {
    if (width <= 0 || height <= 0 || !cells)
        return {};
    const int w = width * cellPixelWidth;
    const int h = height * cellPixelHeight;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
    renderCellsRgb(cells, width, height, rgb.data(), w * 3);
    return encodePng(w, h, rgb);
}

bool writeCellsPng(const std::string& path, const Cell* cells, int width, int height) {
    return writePng(path, encodeCellsPng(cells, width, height));
}

std::string encodeCellSheetPng(const std::vector<std::vector<Cell>>& frames, int width, int height,
                               int columns, int rows) {
    if (width <= 0 || height <= 0 || columns <= 0 || rows <= 0)
        return {};
    if (frames.size() > static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows))
        return {};
    const std::size_t cellCount = static_cast<std::size_t>(width) * height;
    for (const auto& frame : frames)
        if (frame.size() != cellCount)
            return {};
    const int frameW = width * cellPixelWidth;
    const int frameH = height * cellPixelHeight;
    const int w = columns * frameW + (columns - 1) * sheetGap;
    const int h = rows * frameH + (rows - 1) * sheetGap;
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3, gapGrey);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const int col = static_cast<int>(i % static_cast<std::size_t>(columns));
        const int row = static_cast<int>(i / static_cast<std::size_t>(columns));
        std::uint8_t* origin = rgb.data() +
                               static_cast<std::size_t>(row) * (frameH + sheetGap) * w * 3 +
                               static_cast<std::size_t>(col) * (frameW + sheetGap) * 3;
        renderCellsRgb(frames[i].data(), width, height, origin, w * 3);
    }
    return encodePng(w, h, rgb);
}

bool writeCellSheetPng(const std::string& path, const std::vector<std::vector<Cell>>& frames,
                       int width, int height, int columns, int rows) {
    return writePng(path, encodeCellSheetPng(frames, width, height, columns, rows));
}
