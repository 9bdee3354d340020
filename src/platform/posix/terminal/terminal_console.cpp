// The terminal console over file descriptors, and the POSIX console and
// error report. The restore and the signals live in taken_terminal, the modes
// in terminal_modes, the pacing in flow_control.
//
// Index: open (a chain of steps) and close / present / the program's console
// and error report. The input side is in terminal_console_input.cpp.
#include "terminal_console.h"

#include "taken_terminal.h"
#include "terminal_modes.h"

#include "platform/posix/monotonic_clock.h"

#include "app/console_host.h"
#include "platform/posix/posix_platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal did not take the bytes that give it back (its output is
// stuck): said on stderr, which may be that same terminal, so without waiting
// on it for long.
void sayRestoreFailed() {
    static const char text[] =
        "The terminal did not take what restores it; the command reset puts it back.\n";
    pollfd p{STDERR_FILENO, POLLOUT, 0};
    if (poll(&p, 1, 200) > 0 && (p.revents & POLLOUT) != 0)
        (void)!write(STDERR_FILENO, text, sizeof(text) - 1);
}

constexpr char statusQuery[] = "\x1b[5n";
constexpr char parkCursor[] = "\x1b[H";
// Asks for the window title, where there is no title stack to save it on.
constexpr char titleQuery[] = "\x1b[21t";
// Sets a 24-bit colour and asks for the colour setting back: a terminal that
// keeps 24-bit colours reports it.
constexpr char colourProbe[] = "\x1b[0;38;2;1;2;3m\x1bP$qm\x1b\\\x1b[0m";
constexpr char sizeQuery[] = "\x1b[18t";

bool noteShown = false;
char approximationNote[160];

} // namespace

// --- Open and close ---

// Opening is a chain of steps. The first ones only look and prepare, and fail
// with a reason without writing anything; from raw mode on, a failure gives
// everything back through close().
bool TerminalConsole::open(const char* newTitle, int w, int h) {
    close();
    failure = nullptr;
    if (w <= 0 || h <= 0)
        return false;
    if (!checkTerminals() || !allocateFrame(w, h) || !readModes())
        return false;
    writer.open(outputFd, sharedOutput);
    prepareRestore();
    prepareSizeRequest();
    installGiveBack();
    if (!enterRawMode())
        return false;
    startShow(newTitle);
    return true;
}

// Takes the terminal (again, after a stop): what the next bytes out set up.
void TerminalConsole::takeOver(bool afterRestore) {
    takeOverPending = true;
    takeOverAfterRestore = afterRestore;
    titleDirty = true;
    mouseSent = false;
    redrawAll = true;
    forgetShownCells(shown, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

std::size_t TerminalConsole::appendControl(char* out) {
    std::size_t length = 0;
    const std::size_t capacity = controlCapacity;
    if (takeOverPending) {
        TakeOverState state;
        state.colourMode = colourMode;
        state.afterRestore = takeOverAfterRestore;
        appendTakeOver(caps, state, out, capacity, length);
        if (resizeState == requested || (resizeState == obeyed && takeOverAfterRestore)) {
            char request[32];
            std::snprintf(request, sizeof(request), "\x1b[8;%d;%dt", height, width);
            appendSequence(out, capacity, length, request);
        }
        if (!colourProbed && !colourModeFixed && colourMode != ColourMode::trueColour &&
            caps.windowOps) {
            appendSequence(out, capacity, length, colourProbe);
            decoder.stringRepliesDue = true;
        }
        colourProbed = true;
        if (caps.windowOps)
            appendSequence(out, capacity, length, sizeQuery);
        sizeQueried = true;
        if (caps.title && !caps.titleStack && takeOverAfterRestore) {
            appendSequence(out, capacity, length, titleQuery);
            decoder.stringRepliesDue = true;
        }
        // Last: the answers to everything above come before its own.
        appendSequence(out, capacity, length, statusQuery);
        flow.querySent(monotonicMilliseconds(), length, false);
        takeOverPending = false;
    }
    if (titleDirty && titleCanBeRestored()) {
        length += encodeTitle(title, out + length, glyphs);
    }
    titleDirty = false;
    if (decoder.mouseOn != mouseSent && caps.mouse) {
        // SGR reports (1006) of every motion (1003): the console reports moves
        // without a button too.
        appendSequence(out, capacity, length,
                       decoder.mouseOn ? "\x1b[?1003h\x1b[?1006h" : "\x1b[?1003l\x1b[?1006l");
    }
    mouseSent = decoder.mouseOn;
    if (fullScreenRequest && caps.windowOps)
        appendSequence(out, capacity, length, "\x1b[10;2t");
    fullScreenRequest = false;
    return length;
}

bool TerminalConsole::titleCanBeRestored() const {
    return caps.title && (caps.titleStack || takenTerminal.userTitleLength.load() > 0);
}

// Continued after a stop: takes the terminal again and draws everything, in
// the foreground only. False while the show must not draw (continued in the
// background, where the terminal is the shell's).
bool TerminalConsole::retake() {
    if (!inForeground(inputFd)) {
        // Stopped from outside and sent on in the background: give it back.
        if (takenTerminal.taken.load() != 0 && !restoreTakenTerminal())
            sayRestoreFailed();
        stopForBackground();
        return false;
    }
    continuePending.store(0);
    const bool restored = takenTerminal.taken.load() == 0;
    const termios raw = rawModes(takenTerminal.saved);
    tcsetattr(inputFd, TCSANOW, &raw);
    takenTerminal.taken.store(1);
    writer.drop();
    flow.forgetQueries();
    takeOver(restored);
    return true;
}

void TerminalConsole::close() {
    if (holdsTerminal) {
        if (!restoreTakenTerminal())
            sayRestoreFailed();
        restoreHandlers();
        holdsTerminal = false;
        if (glyphs != nullptr && !noteShown) {
            // Said once, on the user's own screen.
            describeApproximations(charset, *glyphs, approximationNote, sizeof(approximationNote));
            wrapAtWords(approximationNote, 80);
            if (approximationNote[0] != '\0')
                std::fprintf(stderr, "%s\n", approximationNote);
            noteShown = true;
        }
    }
    writer.close();
    isOpen = false;
    release();
}

void TerminalConsole::release() {
    delete[] shown;
    shown = nullptr;
    delete[] output;
    output = nullptr;
    delete glyphs;
    glyphs = nullptr;
    width = 0;
    height = 0;
}

// Sends what is on its way without ever waiting long. False while some is left.
bool TerminalConsole::flushPending() {
    const bool finished = writer.flush(writeWaitMs);
    if (writer.gone)
        consoleClosing.store(1);
    if (finished)
        takenTerminal.frameOpen.store(0);
    return finished;
}

// --- Present ---

void TerminalConsole::layOut(std::uint32_t now, int reportedColumns, int reportedRows) {
    int columns = reportedColumns;
    int rows = reportedRows;
    if ((columns <= 0 || rows <= 0) && !terminalSize(outputFd, columns, rows)) {
        columns = width;
        rows = height;
    }
    if (resizeState == requested && columns == width && rows == height)
        resizeState = obeyed;
    else if ((resizeState == requested || resizeState == obeyed) &&
             (columns != width || rows != height) &&
             (resizeState == obeyed || columns != originalColumns || rows != originalRows))
        resizeState = changedByUser;
    takenTerminal.restoreSize.store(resizeState == obeyed ? 1 : 0);

    terminalColumns = columns;
    terminalRows = rows;
    view = layoutFrame(width, height, terminalColumns, terminalRows);
    decoder.setFrameOrigin(view.screenX - view.frameX, view.screenY - view.frameY, width, height);
    redrawAll = true;
    noticeOn = terminalColumns < width || terminalRows < height;
    if (noticeOn) {
        // The figures come first, so that a narrow terminal still shows them.
        const int needed = std::snprintf(notice, sizeof(notice),
                                         " The show needs %d x %d; this terminal is %d x %d. ",
                                         width, height, terminalColumns, terminalRows);
        if (needed > terminalColumns)
            std::snprintf(notice, sizeof(notice), " Needs %d x %d, has %d x %d ", width, height,
                          terminalColumns, terminalRows);
        if (static_cast<int>(std::strlen(notice)) > terminalColumns)
            std::snprintf(notice, sizeof(notice), "%dx%d>%dx%d", width, height, terminalColumns,
                          terminalRows);
        noticeUntilMs = now + noticeMs;
    }
}

bool TerminalConsole::present(const Cell* cells, int w, int h) {
    if (!isOpen || cells == nullptr || w != width || h != height)
        return false;
    const std::uint32_t now = monotonicMilliseconds();
    if (continuePending.load() != 0 && !retake())
        return consoleClosing.load() == 0;
    if (resizePending.exchange(0) != 0) {
        layOut(now);
        sizeQueried = false;
    }
    pumpInput(now);
    inputRead = 0;
    if (noticeOn && static_cast<std::int32_t>(now - noticeUntilMs) >= 0) {
        // The notice has had its moment: give the picture back in full.
        noticeOn = false;
        redrawAll = true;
    }
    // The previous frame is still on its way: this one is skipped, and the next
    // is encoded against what has really been sent.
    frameHeld = true;
    if (!flushPending()) {
        ++framesHeld;
        return true;
    }
    if (!flow.maySend(now)) {
        ++framesHeld;
        takenTerminal.repliesDue.store(flow.answersDue());
        return true;
    }
    frameHeld = false;
    std::size_t length = appendControl(output);
    const std::size_t frameLength =
        encodeFrame(cells, shown, width, view, redrawAll, colourMode, noticeOn ? notice : nullptr,
                    terminalColumns, output + length, glyphs);
    redrawAll = false;
    length += frameLength;
    if (!sizeQueried && caps.windowOps && frameLength > 0) {
        // After a resize: the size the terminal itself reports, where it does.
        std::memcpy(output + length, sizeQuery, sizeof(sizeQuery) - 1);
        length += sizeof(sizeQuery) - 1;
        sizeQueried = true;
    }
    if (frameLength > 0) {
        // The cursor waits at the top left: a terminal resized meanwhile then
        // has nothing below it to push into the shell's screen.
        std::memcpy(output + length, parkCursor, sizeof(parkCursor) - 1);
        length += sizeof(parkCursor) - 1;
        std::memcpy(output + length, statusQuery, sizeof(statusQuery) - 1);
        length += sizeof(statusQuery) - 1;
        flow.querySent(now, length, true);
        takenTerminal.frameOpen.store(1);
        ++framesSent;
    }
    takenTerminal.repliesDue.store(flow.answersDue());
    takenTerminal.drainMs.store(static_cast<int>(flow.drainMs()));
    writer.start(output, length);
    flushPending();
    return consoleClosing.load() == 0;
}

LinkFigures TerminalConsole::linkFigures() const {
    LinkFigures figures;
    figures.seconds = static_cast<double>(monotonicMilliseconds() - openedMs) / 1000.0;
    figures.framesSent = framesSent;
    figures.framesHeld = framesHeld;
    return figures;
}

void TerminalConsole::setTitle(const char* newTitle) {
    if (!isOpen || newTitle == nullptr)
        return;
    char truncated[sizeof(title)];
    std::snprintf(truncated, sizeof(truncated), "%s", newTitle);
    if (std::strcmp(truncated, title) == 0)
        return;
    std::memcpy(title, truncated, sizeof(title));
    // It goes out with the next frame, which it describes.
    titleDirty = true;
}

void TerminalConsole::setMouseInput(bool on) {
    if (!isOpen || on == decoder.mouseOn)
        return;
    decoder.mouseOn = on;
    sendControlNow();
}

// Title and mode changes go out at once when nothing else is on its way, and
// with the next frame otherwise (never inside a frame cut short).
void TerminalConsole::sendControlNow() {
    if (!flushPending())
        return;
    writer.start(output, appendControl(output));
    flushPending();
}

std::uint32_t TerminalConsole::presentDelayMs() const {
    return isOpen ? flow.presentDelayMs() : 0;
}

// --- The program's console and error report ---

TerminalConsole& terminalConsole() {
    static TerminalConsole console(STDIN_FILENO, STDOUT_FILENO);
    return console;
}

void reportErrorOnTerminal(const char* caption, const char* text, const char* detail) {
    // Leave the alternate screen first, or the message vanishes with it.
    restoreTakenTerminal();
    std::fprintf(stderr, "%s %s\n", caption, text);
    if (detail && detail[0])
        std::fprintf(stderr, "%s\n", detail);
    std::fflush(stderr);
}
