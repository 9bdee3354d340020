// The terminal console's opening steps, in the order open() takes them: look
// at the terminals, allocate everything a frame needs, read the modes, prepare
// the way back, then take the terminal.
#include "terminal_console.h"

#include "taken_terminal.h"
#include "terminal_modes.h"

#include "platform/posix/monotonic_clock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <termios.h>
#include <unistd.h>

// Both descriptors are terminals, no other console holds one, and TERM can
// address the cursor.
bool TerminalConsole::checkTerminals() {
    if (!isatty(inputFd) || !isatty(outputFd)) {
        failure = isatty(outputFd) ? "standard input is not a terminal"
                                   : "standard output is not a terminal";
        return false;
    }
    // One terminal at a time: the signal handlers restore only one.
    if (takenTerminal.taken.load() != 0) {
        failure = "another console holds the terminal";
        return false;
    }
    if (!describeTerminal(terminalType != nullptr ? terminalType : std::getenv("TERM"), caps)) {
        failure = caps.failure;
        return false;
    }
    return waitForForeground();
}

// A show started in the background waits, stopped, until it is brought to the
// foreground, as a job that touches the terminal does. Where that stop is
// ignored (or discarded, in an orphaned group), or it is continued in the
// background, it does not start: it would take a terminal the shell is using.
bool TerminalConsole::waitForForeground() {
    if (inForeground(inputFd))
        return true;
    if (stopForBackground() && inForeground(inputFd))
        return true;
    failure = "the show is in the background and cannot take the terminal";
    return false;
}

// The front buffer, the output buffer and the glyphs, all allocated now so
// that no frame allocates.
bool TerminalConsole::allocateFrame(int w, int h) {
    const auto cellCount = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    // The control bytes, the frame, and the queries after it.
    outputSize = maxEncodedFrameBytes(cellCount, sizeof(notice)) + controlCapacity + 64;
    shown = new (std::nothrow) Cell[cellCount];
    output = new (std::nothrow) char[outputSize];
    if (!charsetFixed)
        charset = charsetOfLocale();
    if (charset != Charset::utf8)
        glyphs = new (std::nothrow) GlyphTable;
    if (shown == nullptr || output == nullptr || (charset != Charset::utf8 && glyphs == nullptr)) {
        release();
        failure = "out of memory";
        return false;
    }
    if (glyphs != nullptr)
        buildGlyphTable(charset, caps, *glyphs);
    width = w;
    height = h;
    forgetShownCells(shown, cellCount);
    return true;
}

bool TerminalConsole::readModes() {
    if (tcgetattr(inputFd, &takenTerminal.saved) != 0) {
        release();
        failure = "the terminal's modes cannot be read";
        return false;
    }
    if (!colourModeFixed)
        colourMode = chooseColourMode(caps, std::getenv("COLORTERM"));
    return true;
}

// The way back, prepared before anything is taken.
void TerminalConsole::prepareRestore() {
    takenTerminal.inputFd = inputFd;
    takenTerminal.outputFd = writer.descriptor();
    takenTerminal.restoreLength = 0;
    takenTerminal.frameOpen.store(0);
    takenTerminal.userTitleLength.store(0);
    takenTerminal.answerMs.store(0);
    takenTerminal.drainMs.store(0);
    appendRestore(caps, colourMode, glyphs != nullptr ? glyphs->decOff : nullptr,
                  takenTerminal.restore, sizeof(takenTerminal.restore),
                  takenTerminal.restoreLength);
}

// Where the terminal can be resized and is not 80 x 50, the show asks for its
// size, and remembers the old one to give back.
void TerminalConsole::prepareSizeRequest() {
    takenTerminal.restoreSize.store(0);
    takenTerminal.sizeLength = 0;
    resizeState = noRequest;
    if (terminalSize(outputFd, originalColumns, originalRows) && caps.windowOps &&
        (originalColumns != width || originalRows != height)) {
        std::snprintf(takenTerminal.size, sizeof(takenTerminal.size), "\x1b[8;%d;%dt", originalRows,
                      originalColumns);
        takenTerminal.sizeLength = std::strlen(takenTerminal.size);
        resizeState = requested;
    }
}

void TerminalConsole::installGiveBack() {
    static bool exitHookInstalled = false;
    if (!exitHookInstalled) {
        std::atexit(restoreAtExit);
        exitHookInstalled = true;
    }
    resizePending.store(0);
    continuePending.store(0);
    installHandlers();
}

bool TerminalConsole::enterRawMode() {
    takenTerminal.taken.store(1);
    holdsTerminal = true;
    isOpen = true;
    const termios raw = rawModes(takenTerminal.saved);
    if (tcsetattr(inputFd, TCSANOW, &raw) != 0) {
        close();
        failure = "the terminal's modes cannot be set";
        return false;
    }
    return true;
}

// Fresh input and pacing state; then the alternate screen, our title and the
// window size go out at once.
void TerminalConsole::startShow(const char* newTitle) {
    decoder = KeyDecoder{};
    inputLength = 0;
    inputRead = 0;
    queue.clear();
    const std::uint32_t now = monotonicMilliseconds();
    flow.reset(now);
    openedMs = now;
    framesSent = 0;
    framesHeld = 0;
    mouseSent = false;
    fullScreenRequest = false;
    colourProbed = false;
    std::snprintf(title, sizeof(title), "%s", newTitle != nullptr ? newTitle : "");
    lastInputMs = now;
    lastPollMs = now;
    previousPollMs = now;
    takeOver(true);
    layOut(now);
    writer.start(output, appendControl(output));
    takenTerminal.repliesDue.store(1);
    flushPending();
}
