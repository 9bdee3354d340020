// The frame encoder: cells to terminal bytes. No I/O, no allocation; the
// terminal console and the benchmarks call it with buffers of their own.
//
//   Tables       the xterm 256-colour entries of the VGA colours
//   Byte output  Out: numbers, UTF-8 and colour parameters into the buffer
//   Choices      the layout of a frame on the terminal, the front buffer reset
//   Frames       FrameWriter (cursor, colours, glyphs, notice), the walk over
//                changed cells one colour pair at a time, encodeFrame
//   Titles       encodeTitle
#include "frame_encoder.h"

#include "imaging/cp437.h"
#include "imaging/vga_palette.h"
#include "terminal_caps.h"

#include <cstring>

namespace {

// --- Tables ---

// The nearest xterm 256-colour entry of each VGA colour, taken from the 6x6x6
// cube (levels 0, 95, 135, 175, 215, 255) and the grey ramp (8 + 10k), never
// from the first 16, which every terminal theme redefines.
constexpr std::uint8_t xterm256Palette[16] = {
    16, 19, 34, 37, 124, 127, 130, 248, 240, 63, 83, 87, 203, 207, 227, 231,
};

// --- Byte output ---

struct Out {
    char* p;

    void bytes(const char* s, std::size_t n) {
        std::memcpy(p, s, n);
        p += n;
    }
    template <std::size_t N> void literal(const char (&s)[N]) { bytes(s, N - 1); }
    void text(const char* s) { bytes(s, std::strlen(s)); }
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
            const VgaColour& c = vgaPalette[index];
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
            number(base + ansiOfConsole(index & 7));
            break;
        }
        }
    }
};

constexpr std::uint16_t unknownCell = 0xFFFF;

// One axis of the layout: a terminal at least as large as the frame centres
// it; a smaller one shows the frame's middle.
void layoutAxis(int frameSize, int terminalSize, int& shown, int& screenStart, int& frameStart) {
    if (terminalSize < 0)
        terminalSize = 0;
    if (terminalSize >= frameSize) {
        shown = frameSize;
        screenStart = (terminalSize - frameSize) / 2;
    } else {
        shown = terminalSize;
        frameStart = (frameSize - terminalSize) / 2;
    }
}

} // namespace

// --- Choices ---

FrameView layoutFrame(int frameWidth, int frameHeight, int terminalColumns, int terminalRows) {
    FrameView view;
    layoutAxis(frameWidth, terminalColumns, view.columns, view.screenX, view.frameX);
    layoutAxis(frameHeight, terminalRows, view.rows, view.screenY, view.frameY);
    return view;
}

std::uint32_t cp437ToUnicode(std::uint8_t byte) {
    return cp437Unicode[byte];
}

void forgetShownCells(Cell* shown, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        shown[i] = Cell{unknownCell, unknownCell};
}

// --- Frames ---

namespace {

// One frame's encoding: the output and the terminal state as the frame so far
// leaves it. -1 is "not known yet", so the first colour of every frame is sent
// in full after a reset.
struct FrameWriter {
    Out o;
    ColourMode mode;
    const GlyphTable* glyphs;
    int screenX;
    int screenY;
    int foreground = -1;
    int background = -1;
    int cursorRow = -1;
    int cursorColumn = -1;
    int lastColumn = 0; // the view's last column
    bool decOn = false;

    void clearScreen() {
        // Erased cells take the current background: black, not the terminal's own.
        // The reset goes in a sequence of its own: mlterm drops the 24-bit
        // colours of a sequence that starts with one.
        o.literal("\x1b[0m\x1b[");
        o.colour(0, true, mode);
        o.literal("m\x1b[2J");
    }

    // The shortest way to the cell: an absolute move, or a relative move along
    // each axis (the column given absolutely when that is shorter). The cursor's
    // column is forgotten after the view's last column, where a terminal may
    // hold it in its pending-wrap state and count relative moves from there.
    void moveTo(int row, int column) {
        const bool known = cursorRow >= 0 && cursorColumn >= 0;
        if (!known || moveLength(row, column) >= absoluteMoveLength(row, column)) {
            o.literal("\x1b[");
            o.number(static_cast<unsigned>(screenY + row + 1));
            o.byte(';');
            o.number(static_cast<unsigned>(screenX + column + 1));
            o.byte('H');
        } else {
            if (row != cursorRow)
                relative(row - cursorRow, 'B', 'A');
            if (column != cursorColumn) {
                if (relativeLength(column - cursorColumn) <=
                    columnLength(static_cast<unsigned>(screenX + column + 1)))
                    relative(column - cursorColumn, 'C', 'D');
                else
                    absolute(static_cast<unsigned>(screenX + column + 1), 'G');
            }
        }
        cursorRow = row;
        cursorColumn = column < lastColumn ? column + 1 : -1;
    }

    static int digits(unsigned value) { return value >= 100 ? 3 : value >= 10 ? 2 : 1; }
    // ESC [ n X, with n left out when it is 1.
    static int relativeLength(int delta) {
        const unsigned size = static_cast<unsigned>(delta < 0 ? -delta : delta);
        return size == 1 ? 3 : 3 + digits(size);
    }
    static int columnLength(unsigned column) { return 3 + digits(column); }
    int absoluteMoveLength(int row, int column) const {
        return 4 + digits(static_cast<unsigned>(screenY + row + 1)) +
               digits(static_cast<unsigned>(screenX + column + 1));
    }
    int moveLength(int row, int column) const {
        int length = row == cursorRow ? 0 : relativeLength(row - cursorRow);
        if (column != cursorColumn) {
            const int relativeColumn = relativeLength(column - cursorColumn);
            const int absoluteColumn = columnLength(static_cast<unsigned>(screenX + column + 1));
            length += relativeColumn < absoluteColumn ? relativeColumn : absoluteColumn;
        }
        return length;
    }
    void relative(int delta, char forward, char backward) {
        o.literal("\x1b[");
        const unsigned size = static_cast<unsigned>(delta < 0 ? -delta : delta);
        if (size != 1)
            o.number(size);
        o.byte(delta < 0 ? backward : forward);
    }
    void absolute(unsigned value, char final) {
        o.literal("\x1b[");
        o.number(value);
        o.byte(final);
    }

    // Sends only the colours that change; the frame's first sequence starts
    // from a reset.
    void colours(int fg, int bg) {
        if (fg == foreground && bg == background)
            return;
        o.literal("\x1b[");
        if (foreground < 0) {
            o.literal("0m\x1b[");
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

    // One cell at (row, column) of the view: the cursor moved there, its
    // colours (swapped for glyphs the terminal draws reversed), its glyph.
    void cell(int row, int column, std::uint16_t glyph, std::uint16_t attributes) {
        moveTo(row, column);
        const std::uint8_t glyphFlags = glyphs != nullptr ? glyphs->flags[glyph] : 0;
        if (glyphFlags & GlyphTable::reversed)
            colours(attributes >> 4, attributes & 0x0F);
        else
            colours(attributes & 0x0F, attributes >> 4);
        if (glyphs == nullptr) {
            o.utf8(cp437Unicode[glyph]);
            return;
        }
        const bool dec = (glyphFlags & GlyphTable::decGlyph) != 0;
        if (dec != decOn) {
            o.text(dec ? glyphs->decOn : glyphs->decOff);
            decOn = dec;
        }
        o.bytes(glyphs->bytes[glyph], glyphs->length[glyph]);
    }

    // The notice over the top terminal row, centred, in reverse video; bytes
    // that are not printable ASCII show as spaces.
    void notice(const char* text, int terminalColumns) {
        std::size_t length = std::strlen(text);
        if (length > static_cast<std::size_t>(terminalColumns))
            length = static_cast<std::size_t>(terminalColumns);
        o.literal("\x1b[1;");
        o.number(static_cast<unsigned>((terminalColumns - static_cast<int>(length)) / 2 + 1));
        o.literal("H\x1b[0;7m");
        for (std::size_t i = 0; i < length; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            o.byte(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ');
        }
        o.literal("\x1b[0m");
    }
};

// The cells to send and the front buffer they update, as the frame is walked.
struct FrameCells {
    const Cell* cells;
    Cell* shown;
    int frameWidth;
    const FrameView& view;
    bool redrawAll;

    std::ptrdiff_t rowStart(int row) const {
        return static_cast<std::ptrdiff_t>(view.frameY + row) * frameWidth + view.frameX;
    }
    bool changed(const Cell& front, std::uint16_t glyph, std::uint16_t attributes) const {
        return redrawAll || front.character != glyph || front.attributes != attributes;
    }
};

// Marks in rowsWith[a] the rows of the band (bandRows rows from view row
// `band`) with changed cells of attribute byte a.
void findChangedRows(const FrameCells& f, int band, int bandRows, std::uint64_t (&rowsWith)[256]) {
    for (int i = 0; i < bandRows; ++i) {
        const Cell* source = f.cells + f.rowStart(band + i);
        const Cell* front = f.shown + f.rowStart(band + i);
        for (int column = 0; column < f.view.columns; ++column) {
            const std::uint16_t glyph = source[column].character & 0xFF;
            const std::uint16_t attributes = source[column].attributes & 0xFF;
            if (f.changed(front[column], glyph, attributes))
                rowsWith[attributes] |= std::uint64_t{1} << i;
        }
    }
}

// Sends the changed cells of one view row that have attribute byte `pair` and
// updates the front buffer; returns whether it sent any.
bool sendRowPair(const FrameCells& f, FrameWriter& w, int row, int pair) {
    const Cell* source = f.cells + f.rowStart(row);
    Cell* front = f.shown + f.rowStart(row);
    bool sent = false;
    for (int column = 0; column < f.view.columns; ++column) {
        const std::uint16_t glyph = source[column].character & 0xFF;
        const std::uint16_t attributes = source[column].attributes & 0xFF;
        if (attributes != pair || !f.changed(front[column], glyph, attributes))
            continue;
        front[column] = Cell{glyph, attributes};
        sent = true;
        w.cell(row, column, glyph, attributes);
    }
    return sent;
}

} // namespace

std::size_t encodeFrame(const Cell* cells, Cell* shown, int frameWidth, const FrameView& view,
                        bool redrawAll, ColourMode mode, const char* notice, int terminalColumns,
                        char* out, const GlyphTable* glyphs) {
    FrameWriter w{Out{out}, mode, glyphs, view.screenX, view.screenY};
    w.lastColumn = view.columns - 1;
    const FrameCells f{cells, shown, frameWidth, view, redrawAll};
    w.o.literal("\x1b[?2026h");
    if (redrawAll)
        w.clearScreen();
    bool sentAny = redrawAll;

    // The changed cells go out one colour pair (attribute byte) at a time, each
    // pair's cells in reading order: one colour sequence per pair instead of one
    // at every change of colour along a row, about a third of the bytes for the
    // show's frames. The terminal ends up showing the same cells either way.
    // Rows are taken 64 at a time, one bit each in rowsWith.
    for (int band = 0; band < view.rows; band += 64) {
        const int bandRows = view.rows - band < 64 ? view.rows - band : 64;
        std::uint64_t rowsWith[256] = {};
        findChangedRows(f, band, bandRows, rowsWith);
        for (int pair = 0; pair < 256; ++pair) {
            for (int i = 0; i < bandRows && rowsWith[pair] != 0; ++i) {
                if (((rowsWith[pair] >> i) & 1) != 0)
                    sentAny |= sendRowPair(f, w, band + i, pair);
            }
        }
    }
    if (w.decOn)
        w.o.text(glyphs->decOff);
    if (!sentAny)
        return 0;
    if (notice != nullptr && terminalColumns > 0)
        w.notice(notice, terminalColumns);
    w.o.literal("\x1b[?2026l");
    return static_cast<std::size_t>(w.o.p - out);
}

// --- Titles ---

std::size_t encodeTitle(const char* title, char* out, const GlyphTable* glyphs) {
    Out o{out};
    o.literal("\x1b]2;");
    for (const char* c = title; *c != '\0'; ++c) {
        const auto byte = static_cast<std::uint8_t>(*c);
        // Control bytes could end the sequence early or start another one.
        if (byte < 0x20 || byte == 0x7F)
            continue;
        if (glyphs == nullptr)
            o.utf8(cp437Unicode[byte]);
        else if (glyphs->flags[byte] != 0)
            o.byte('?');
        else
            o.bytes(glyphs->bytes[byte], glyphs->length[byte]);
    }
    o.byte('\x07');
    return static_cast<std::size_t>(o.p - out);
}
