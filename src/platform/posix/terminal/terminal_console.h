// The terminal console: the user's xterm-compatible terminal as the show's
// 80 x 50 console window. It takes the terminal over (raw mode, alternate
// screen, hidden cursor, title) and gives everything back on every way out.
#pragma once

#include "app/platform.h"
#include "frame_encoder.h"
#include "key_decoder.h"

#include <cstddef>
#include <cstdint>

class TerminalConsole : public ConsoleBackend {
  public:
    // Reads keys from `inputFd` and draws on `outputFd`; both must be terminals.
    TerminalConsole(int inputFd, int outputFd) : inputFd(inputFd), outputFd(outputFd) {}
    ~TerminalConsole() override { close(); }
    TerminalConsole(const TerminalConsole&) = delete;
    TerminalConsole& operator=(const TerminalConsole&) = delete;

    // Fails, writing nothing, unless both descriptors are terminals and no other
    // console holds a terminal.
    bool open(const char* title, int width, int height) override;
    // One write of the cells that changed since the last present (all of them
    // after open or a resize).
    bool present(const Cell* cells, int width, int height) override;
    // Never blocks. An Escape byte with nothing after it becomes the Escape key
    // once escapeWaitMs have passed without more bytes.
    bool readInput(InputRecord& record) override;
    void setMouseInput(bool on) override;
    // Writes nothing when the title is unchanged.
    void setTitle(const char* title) override;
    void close() override;

    // Fixes the colour mode instead of taking it from TERM and COLORTERM at open.
    void setColourMode(ColourMode mode) {
        colourMode = mode;
        colourModeFixed = true;
    }

    static constexpr std::uint32_t escapeWaitMs = 30;
    // How long the "terminal too small" notice stays over the picture.
    std::uint32_t noticeMs = 2500;

  private:
    void layOut(std::uint32_t nowMs);
    bool writeAll(const char* data, std::size_t length);
    void release();

    int inputFd;
    int outputFd;
    bool isOpen = false;
    bool holdsTerminal = false;
    int width = 0;
    int height = 0;
    ColourMode colourMode = ColourMode::ansi16;
    bool colourModeFixed = false;

    // Output: the front buffer and the frame's bytes, both allocated at open.
    Cell* shown = nullptr;
    char* output = nullptr;
    FrameView view;
    int terminalColumns = 0;
    int terminalRows = 0;
    bool redrawAll = true;
    char notice[96] = {};
    bool noticeOn = false;
    std::uint32_t noticeUntilMs = 0;
    char title[256] = {};
    char titleBytes[8 + 3 * sizeof(title)] = {};

    // Input: bytes not decoded yet, and decoded records not handed out yet.
    KeyDecoder decoder;
    std::uint8_t inputBytes[256] = {};
    std::size_t inputLength = 0;
    std::uint32_t lastInputMs = 0;
    static constexpr int queueSize = 64;
    InputRecord queue[queueSize];
    int queueHead = 0;
    int queueCount = 0;
};

// Puts a taken terminal back as it was (termios, main screen, cursor, mouse
// reporting, synchronized output, title, size). Async-signal-safe, runs at most
// once per open, and does nothing when no terminal is taken.
void restoreTakenTerminal();
