// The capture tool's frame encoders.
#include "frame_formats.h"

#include "imaging/cp437.h"
#include "imaging/vga_palette.h"

#include <cstdio>

namespace {

void appendGlyph(std::string& out, std::uint16_t character) {
    char bytes[3];
    out.append(bytes, static_cast<std::size_t>(encodeCp437Utf8(character, bytes)));
}

} // namespace

std::string encodeCells(const Cell* cells, int width, int height) {
    std::string out;
    out.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2);
    for (int i = 0; i < width * height; ++i) {
        out.push_back(static_cast<char>(cells[i].character & 0xFFu));
        out.push_back(static_cast<char>(cells[i].attributes & 0xFFu));
    }
    return out;
}

std::string encodeText(const Cell* cells, int width, int height) {
    std::string out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            appendGlyph(out, cells[y * width + x].character);
        out.push_back('\n');
    }
    return out;
}

std::string encodeAnsi(const Cell* cells, int width, int height) {
    std::string out;
    for (int y = 0; y < height; ++y) {
        int current = -1;
        for (int x = 0; x < width; ++x) {
            const Cell& cell = cells[y * width + x];
            const int attribute = cell.attributes & 0xFF;
            if (attribute != current) {
                const unsigned fg = attribute & 0xFu;
                const unsigned bg = (attribute >> 4) & 0xFu;
                char sequence[32];
                std::snprintf(sequence, sizeof sequence, "\x1b[0;%d;%dm",
                              (fg & 8u ? 90 : 30) + static_cast<int>(ansiOfConsole(fg & 7u)),
                              (bg & 8u ? 100 : 40) + static_cast<int>(ansiOfConsole(bg & 7u)));
                out += sequence;
                current = attribute;
            }
            appendGlyph(out, cell.character);
        }
        out += "\x1b[0m\n";
    }
    return out;
}
