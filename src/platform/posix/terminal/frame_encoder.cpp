// The frame encoder: cells to terminal bytes. No I/O, no allocation; the
// terminal console and the benchmarks call it with buffers of their own.
#include "frame_encoder.h"

#include <cstring>

namespace {

// --- Tables ---

// Code page 437 as Unicode. 0x01-0x1F and 0x7F are the glyphs the PC shows for
// them, not control codes; 0 is shown as a space.
constexpr std::uint16_t cp437[256] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9, 0x2642,
    0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC, 0x0020, 0x0021, 0x0022, 0x0023,
    0x0024, 0x0025, 0x0026, 0x0027, 0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037, 0x0038, 0x0039, 0x003A, 0x003B,
    0x003C, 0x003D, 0x003E, 0x003F, 0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F, 0x0050, 0x0051, 0x0052, 0x0053,
    0x0054, 0x0055, 0x0056, 0x0057, 0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067, 0x0068, 0x0069, 0x006A, 0x006B,
    0x006C, 0x006D, 0x006E, 0x006F, 0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2302, 0x00C7, 0x00FC, 0x00E9, 0x00E2,
    0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566,
    0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0,
    0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A,
    0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// The VGA text-mode palette in console attribute order: bit 0 blue, bit 1 green,
// bit 2 red, bit 3 intensity. Colour 6 is brown, not dark yellow.
struct Rgb {
    std::uint8_t r, g, b;
};
constexpr Rgb vgaPalette[16] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
    {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF},
};

// The nearest xterm 256-colour entry of each VGA colour, taken from the 6x6x6
// cube (levels 0, 95, 135, 175, 215, 255) and the grey ramp (8 + 10k), never
// from the first 16, which every terminal theme redefines.
constexpr std::uint8_t xterm256Palette[16] = {
    16, 19, 34, 37, 124, 127, 130, 248, 240, 63, 83, 87, 203, 207, 227, 231,
};

// ANSI colour numbers count red as bit 0 and blue as bit 2, the console the other
// way round.
constexpr std::uint8_t ansiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// --- Byte output ---

struct Out {
    char* p;

    void bytes(const char* s, std::size_t n) {
        std::memcpy(p, s, n);
        p += n;
    }
    template <std::size_t N> void literal(const char (&s)[N]) { bytes(s, N - 1); }
    void byte(char c) { *p++ = c; }

    void number(unsigned value) {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0)
            *p++ = digits[--n];
    }

    void utf8(std::uint32_t code) {
        if (code < 0x80) {
            byte(static_cast<char>(code));
        } else if (code < 0x800) {
            byte(static_cast<char>(0xC0 | (code >> 6)));
            byte(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            byte(static_cast<char>(0xE0 | (code >> 12)));
            byte(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            byte(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    // One colour of the SGR sequence; `background` picks 4x/10x/48 over 3x/9x/38.
    void colour(unsigned index, bool background, ColourMode mode) {
        switch (mode) {
        case ColourMode::trueColour: {
            const Rgb& c = vgaPalette[index];
            literal(background ? "48;2;" : "38;2;");
            number(c.r);
            byte(';');
            number(c.g);
            byte(';');
            number(c.b);
            break;
        }
        case ColourMode::xterm256:
            literal(background ? "48;5;" : "38;5;");
            number(xterm256Palette[index]);
            break;
        case ColourMode::ansi16: {
            const unsigned base = (index & 8) ? (background ? 100 : 90) : (background ? 40 : 30);
            number(base + ansiColour[index & 7]);
            break;
        }
        }
    }
};

constexpr std::uint16_t unknownCell = 0xFFFF;

bool contains(const char* text, const char* word) {
    return text != nullptr && std::strstr(text, word) != nullptr;
}

} // namespace

// --- Choices ---

ColourMode chooseColourMode(const char* term, const char* colorTerm) {
    if (colorTerm != nullptr &&
        (std::strcmp(colorTerm, "truecolor") == 0 || std::strcmp(colorTerm, "24bit") == 0))
        return ColourMode::trueColour;
    if (contains(term, "256color"))
        return ColourMode::xterm256;
    return ColourMode::ansi16;
}

FrameView layoutFrame(int frameWidth, int frameHeight, int terminalColumns, int terminalRows) {
    FrameView view;
    if (terminalColumns < 0)
        terminalColumns = 0;
    if (terminalRows < 0)
        terminalRows = 0;
    if (terminalColumns >= frameWidth) {
        view.columns = frameWidth;
        view.screenX = (terminalColumns - frameWidth) / 2;
    } else {
        view.columns = terminalColumns;
        view.frameX = (frameWidth - terminalColumns) / 2;
    }
    if (terminalRows >= frameHeight) {
        view.rows = frameHeight;
        view.screenY = (terminalRows - frameHeight) / 2;
    } else {
        view.rows = terminalRows;
        view.frameY = (frameHeight - terminalRows) / 2;
    }
    return view;
}

std::uint32_t cp437ToUnicode(std::uint8_t byte) {
    return cp437[byte];
}

void forgetShownCells(Cell* shown, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        shown[i] = Cell{unknownCell, unknownCell};
}

// --- Frames ---

std::size_t encodeFrame(const Cell* cells, Cell* shown, int frameWidth, const FrameView& view,
                        bool redrawAll, ColourMode mode, const char* notice, int terminalColumns,
                        char* out) {
    Out o{out};
    o.literal("\x1b[?2026h");
    if (redrawAll)
        o.literal("\x1b[0m\x1b[2J");

    // Terminal state as this frame leaves it; -1 is "not known yet", so the
    // first colour of every frame is sent in full after a reset.
    int foreground = -1;
    int background = -1;
    int cursorRow = -1;
    int cursorColumn = -1;
    bool sentAny = redrawAll;

    for (int row = 0; row < view.rows; ++row) {
        const int y = view.frameY + row;
        const Cell* source = cells + static_cast<std::ptrdiff_t>(y) * frameWidth + view.frameX;
        Cell* front = shown + static_cast<std::ptrdiff_t>(y) * frameWidth + view.frameX;
        for (int column = 0; column < view.columns; ++column) {
            const std::uint16_t glyph = source[column].character & 0xFF;
            const std::uint16_t attributes = source[column].attributes & 0xFF;
            if (!redrawAll && front[column].character == glyph &&
                front[column].attributes == attributes)
                continue;
            front[column] = Cell{glyph, attributes};
            sentAny = true;

            if (row != cursorRow) {
                o.literal("\x1b[");
                o.number(static_cast<unsigned>(view.screenY + row + 1));
                o.byte(';');
                o.number(static_cast<unsigned>(view.screenX + column + 1));
                o.byte('H');
            } else if (column != cursorColumn) {
                o.literal("\x1b[");
                o.number(static_cast<unsigned>(column - cursorColumn));
                o.byte('C');
            }
            cursorRow = row;
            cursorColumn = column + 1;

            const int fg = attributes & 0x0F;
            const int bg = attributes >> 4;
            if (fg != foreground || bg != background) {
                o.literal("\x1b[");
                if (foreground < 0) {
                    o.literal("0;");
                    o.colour(static_cast<unsigned>(fg), false, mode);
                    o.byte(';');
                    o.colour(static_cast<unsigned>(bg), true, mode);
                } else if (fg != foreground && bg != background) {
                    o.colour(static_cast<unsigned>(fg), false, mode);
                    o.byte(';');
                    o.colour(static_cast<unsigned>(bg), true, mode);
                } else if (fg != foreground) {
                    o.colour(static_cast<unsigned>(fg), false, mode);
                } else {
                    o.colour(static_cast<unsigned>(bg), true, mode);
                }
                o.byte('m');
                foreground = fg;
                background = bg;
            }
            o.utf8(cp437[glyph]);
        }
    }
    if (!sentAny)
        return 0;

    if (notice != nullptr && terminalColumns > 0) {
        std::size_t length = std::strlen(notice);
        if (length > static_cast<std::size_t>(terminalColumns))
            length = static_cast<std::size_t>(terminalColumns);
        o.literal("\x1b[1;");
        o.number(static_cast<unsigned>((terminalColumns - static_cast<int>(length)) / 2 + 1));
        o.literal("H\x1b[0;7m");
        for (std::size_t i = 0; i < length; ++i) {
            const auto c = static_cast<unsigned char>(notice[i]);
            o.byte(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ');
        }
        o.literal("\x1b[0m");
    }
    o.literal("\x1b[?2026l");
    return static_cast<std::size_t>(o.p - out);
}

std::size_t encodeTitle(const char* title, char* out) {
    Out o{out};
    o.literal("\x1b]2;");
    for (const char* c = title; *c != '\0'; ++c) {
        const auto byte = static_cast<std::uint8_t>(*c);
        // Control bytes could end the sequence early or start another one.
        if (byte < 0x20 || byte == 0x7F)
            continue;
        o.utf8(cp437[byte]);
    }
    o.byte('\x07');
    return static_cast<std::size_t>(o.p - out);
}
