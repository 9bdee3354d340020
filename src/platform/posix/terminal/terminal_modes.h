// The modes the show sets in the user's terminal, each beside the sequence
// that puts it back, and the two sequences built from them: the one that takes
// the terminal and the one that gives it back. Pure: no I/O.
#pragma once

#include "frame_encoder.h"
#include "terminal_caps.h"

#include <cstddef>

// Modes whose sequences depend on the terminal or on the show's state.
enum class ModeText { fixed, title, palette, characterSet };

// One mode: what sets it on taking the terminal and what restores it. Modes
// are set in table order and restored in the reverse order.
struct TerminalMode {
    const char* name;
    // The capability the mode needs (null: every terminal).
    bool TerminalCaps::*needs;
    // Null when the mode is set later (mouse reporting, on demand) or by the
    // frames themselves (attributes, the line-drawing set).
    const char* enable;
    const char* restore;
    ModeText text = ModeText::fixed;
};

extern const TerminalMode terminalModes[];
extern const std::size_t terminalModeCount;

// What else the take-over depends on besides the capabilities.
struct TakeOverState {
    ColourMode colourMode = ColourMode::ansi16;
    // The terminal was given back since it was last taken (at open, or after
    // a stop): the user's title is saved again.
    bool afterRestore = true;
};

// Appends the take-over (every mode of the table, the title saved, the VGA
// palette where it is set) to `out` (at most `capacity` bytes in all).
void appendTakeOver(const TerminalCaps& caps, const TakeOverState& state, char* out,
                    std::size_t capacity, std::size_t& length);
// Appends the way back: every mode restored in reverse order, the palette and
// the character set put back, the user's title.
void appendRestore(const TerminalCaps& caps, ColourMode colourMode, const char* decOff, char* out,
                   std::size_t capacity, std::size_t& length);

// Appends `text` when it fits (a byte sequence, never a C string in `out`).
void appendSequence(char* out, std::size_t capacity, std::size_t& length, const char* text);
