// The terminal modes the show sets, side by side with their restores.
#include "terminal_modes.h"

#include <algorithm>
#include <cstring>

const TerminalMode terminalModes[] = {
    // Saved on a title stack where there is one. Without one the terminal is
    // asked for its title, and the console puts back what it reports; a title
    // it cannot put back it never sets.
    {"title", &TerminalCaps::title, "\x1b[22;0t", "\x1b[23;0t", ModeText::title},
    {"alternate screen", &TerminalCaps::alternateScreen, "\x1b[?1049h", "\x1b[?1049l"},
    {"hidden cursor", &TerminalCaps::hideCursor, "\x1b[?25l", "\x1b[?25h"},
    // Pasted text comes marked, so that it is dropped rather than read as keys.
    {"bracketed paste", nullptr, "\x1b[?2004h", "\x1b[?2004l"},
    // The VGA colours in place of the terminal's 16 (caps.palette, caps.resetPalette).
    {"palette", &TerminalCaps::setPalette, nullptr, nullptr, ModeText::palette},
    // The frames shift into the line-drawing set; at exit it is shifted out.
    {"line-drawing set", nullptr, nullptr, nullptr, ModeText::characterSet},
    // SGR reports (1006) of every motion (1003), switched on when the show asks
    // for the mouse; every mouse mode goes off at exit.
    {"mouse reporting", &TerminalCaps::mouse, nullptr,
     "\x1b[?1003l\x1b[?1006l\x1b[?1002l\x1b[?1000l"},
    {"attributes", nullptr, nullptr, "\x1b[0m"},
};
const std::size_t terminalModeCount = sizeof(terminalModes) / sizeof(terminalModes[0]);

void appendSequence(char* out, std::size_t capacity, std::size_t& length, const char* text) {
    const std::size_t n = std::strlen(text);
    if (length + n <= capacity) {
        std::copy(text, text + n, out + length);
        length += n;
    }
}

namespace {

bool applies(const TerminalCaps& caps, const TerminalMode& mode) {
    return mode.needs == nullptr || caps.*mode.needs;
}

} // namespace

void appendTakeOver(const TerminalCaps& caps, const TakeOverState& state, char* out,
                    std::size_t capacity, std::size_t& length) {
    // Nothing here is drawn: some terminals draw a CAN byte, so none is sent.
    appendSequence(out, capacity, length, caps.decEnable);
    for (std::size_t i = 0; i < terminalModeCount; ++i) {
        const TerminalMode& mode = terminalModes[i];
        if (!applies(caps, mode))
            continue;
        switch (mode.text) {
        case ModeText::fixed:
            if (mode.enable != nullptr)
                appendSequence(out, capacity, length, mode.enable);
            break;
        case ModeText::title:
            if (caps.titleStack && state.afterRestore)
                appendSequence(out, capacity, length, mode.enable);
            break;
        case ModeText::palette:
            if (state.colourMode == ColourMode::ansi16) {
                for (const char* colour : caps.palette)
                    appendSequence(out, capacity, length, colour);
            }
            break;
        case ModeText::characterSet:
            break;
        }
    }
}

void appendRestore(const TerminalCaps& caps, ColourMode colourMode, const char* decOff, char* out,
                   std::size_t capacity, std::size_t& length) {
    for (std::size_t i = terminalModeCount; i-- > 0;) {
        const TerminalMode& mode = terminalModes[i];
        if (!applies(caps, mode)) {
            // Without an alternate screen the show's picture is cleared away.
            if (mode.needs == &TerminalCaps::alternateScreen)
                appendSequence(out, capacity, length, "\x1b[H\x1b[2J");
            continue;
        }
        switch (mode.text) {
        case ModeText::fixed:
            appendSequence(out, capacity, length, mode.restore);
            break;
        case ModeText::title:
            if (caps.titleStack)
                appendSequence(out, capacity, length, mode.restore);
            break;
        case ModeText::palette:
            if (colourMode == ColourMode::ansi16)
                appendSequence(out, capacity, length, caps.resetPalette);
            break;
        case ModeText::characterSet:
            if (decOff != nullptr)
                appendSequence(out, capacity, length, decOff);
            break;
        }
    }
}
