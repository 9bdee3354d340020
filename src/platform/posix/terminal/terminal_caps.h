// What the user's terminal can do: read from its terminfo description (through
// ncurses' tinfo), from COLORTERM and from the locale's character encoding, and
// the glyphs the show sends for code page 437 where the terminal cannot draw
// them all.
#pragma once

#include "frame_encoder.h"

#include <cstddef>
#include <cstdint>

struct TerminalCaps {
    // A description of TERM was found. Without one the terminal is taken to be
    // xterm-compatible, as most terminals without an installed entry are.
    bool described = false;
    bool cursorAddressing = true;
    bool alternateScreen = true;
    bool hideCursor = true;
    bool title = true;
    // The title can be saved and put back (`ESC [ 22 t` / `ESC [ 23 t`);
    // without it the show's title is cleared at exit instead.
    bool titleStack = true;
    bool mouse = true;
    bool windowOps = true; // size and full-screen requests
    int colours = 256;
    bool directColour = false;
    // Colours 0-15 can be redefined: `initc` for each, `oc` puts them back.
    bool setPalette = false;
    char palette[16][64] = {};
    char resetPalette[32] = {};
    // DEC special graphics: the line-drawing set and the checkerboard.
    bool decGraphics = true;
    char decOn[16] = "\x1b(0";
    char decOff[16] = "\x1b(B";
    char decEnable[16] = {};
    // What the terminal description or the environment lacks, for the user.
    const char* failure = nullptr;
};

// Reads the description of `term` (null or empty: not set). Fails only for a
// terminal that cannot address the cursor (TERM=dumb, say), with the reason.
bool describeTerminal(const char* term, TerminalCaps& caps);

// The terminal is mlterm: TERM says so, or TERM is xterm in a window that sets
// MLTERM (its version, `mltermVersion`, may be null). There the show uses
// 24-bit colour: mlterm draws it without saying so.
bool isMlterm(const char* term, const char* mltermVersion);

// The richest colour mode the terminal has: 24-bit where COLORTERM says so or
// the description has RGB/Tc or 2^24 colours; the 256-colour cube with 256
// colours; the 16 ANSI colours otherwise.
ColourMode chooseColourMode(const TerminalCaps& caps, const char* colorTerm);

// The character encoding the terminal is set up for, from the locale.
enum class Charset { utf8, latin1, ascii };
Charset charsetOfLocale();
const char* charsetName(Charset charset);

// For each code page 437 byte: the bytes that show it, and how.
struct GlyphTable {
    static constexpr std::uint8_t decGlyph = 1; // from the DEC special graphics set
    static constexpr std::uint8_t reversed = 2; // with foreground and background swapped
    char bytes[256][4] = {};
    std::uint8_t length[256] = {};
    std::uint8_t flags[256] = {};
    char decOn[16] = {};
    char decOff[16] = {};
    // Kinds of glyph that are only approximated, for a one-line note.
    bool approximatesShades = false;
    bool approximatesLines = false;
    bool approximatesLetters = false;
};

// Glyphs for a terminal in `charset`; DEC graphics are used where `caps` has them.
// UTF-8 gives every glyph exactly (the frame encoder's own table).
void buildGlyphTable(Charset charset, const TerminalCaps& caps, GlyphTable& table);

// "<charset>: shades, lines and some letters are approximated" into `out`, or
// an empty string when nothing is.
void describeApproximations(Charset charset, const GlyphTable& table, char* out, std::size_t size);

// Breaks `text` (nul-terminated) into lines of at most `width` columns by
// turning spaces into line feeds, in place; a word longer than a line stays
// whole on a line of its own. Bytes count as columns.
void wrapAtWords(char* text, std::size_t width);
