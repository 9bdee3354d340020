// The frame encoder: turns console cells into the bytes an xterm-compatible
// terminal needs to show them (code page 437 glyphs as UTF-8, VGA colours).
// Pure: it writes into the caller's buffer and does no I/O and no allocation.
#pragma once

#include "imaging/cell.h"

#include <cstddef>
#include <cstdint>

// How colours reach the terminal.
enum class ColourMode {
    ansi16,     // the 16 ANSI colours, 90-97 and 100-107 for the bright ones
    xterm256,   // the nearest colours of the xterm 256-colour cube and grey ramp
    trueColour, // the VGA palette itself, as 24-bit colour
};

struct GlyphTable;

// Where the frame lands on the terminal: frame columns [frameX, frameX + columns)
// and rows [frameY, frameY + rows) are shown from terminal cell (screenX, screenY),
// both counted from 0.
struct FrameView {
    int frameX = 0;
    int frameY = 0;
    int screenX = 0;
    int screenY = 0;
    int columns = 0;
    int rows = 0;
};

// Centres a frameWidth x frameHeight frame on a larger terminal; on a smaller
// one, keeps the part around the frame's centre.
FrameView layoutFrame(int frameWidth, int frameHeight, int terminalColumns, int terminalRows);

// The Unicode code point shown for a code page 437 byte (0 shows as a space).
std::uint32_t cp437ToUnicode(std::uint8_t byte);

// Upper bound of what encodeFrame writes for `cellCount` visible cells, plus a
// notice of at most `noticeLength` bytes.
constexpr std::size_t maxEncodedFrameBytes(std::size_t cellCount, std::size_t noticeLength = 0) {
    // Per cell at most: a cursor move (14), a full 24-bit colour change (38) and a
    // 3-byte glyph. Around them: synchronized output, the clear and the notice.
    return cellCount * 64 + 128 + noticeLength * 3;
}

// Encodes one frame of the frameWidth-wide `cells` as seen through `view`.
//
// `shown` is the front buffer, the same size as the frame: what the terminal
// shows. Only visible cells whose glyph (low byte of Cell::character) or colours
// (low byte of Cell::attributes) differ from it are sent, and it is updated to
// match. With `redrawAll` the screen is cleared and every visible cell is sent.
// A `notice` (plain ASCII, may be null) is drawn over the top terminal row,
// centred, in reverse video, whenever anything is sent. A redraw clears the
// terminal to black, so margins around a smaller frame are black. `glyphs`
// (null: UTF-8) says how each code page 437 byte is shown.
//
// Everything goes inside synchronized-output mode 2026, and the frame's first
// colour sequence starts from a reset. Returns the number of bytes written to
// `out`, which holds at least maxEncodedFrameBytes(view.columns * view.rows,
// strlen(notice)); 0 when nothing changed.
std::size_t encodeFrame(const Cell* cells, Cell* shown, int frameWidth, const FrameView& view,
                        bool redrawAll, ColourMode mode, const char* notice, int terminalColumns,
                        char* out, const GlyphTable* glyphs = nullptr);

// Marks a front buffer as unknown, so that every cell differs from it.
void forgetShownCells(Cell* shown, std::size_t count);

// Appends the UTF-8 form of a title (code page 437 bytes, control bytes
// dropped; with `glyphs`, the terminal's own characters, '?' for the rest) as
// a set-title sequence. Writes at most 8 + 3 * strlen(title) bytes; returns
// the bytes written.
std::size_t encodeTitle(const char* title, char* out, const GlyphTable* glyphs = nullptr);
