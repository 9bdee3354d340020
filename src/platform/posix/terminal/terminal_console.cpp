// The terminal console over file descriptors, the signal handling that keeps
// the terminal safe on every way out, and the POSIX console and error report.
//
// Index: taken-terminal state and restore / signal handlers / open and close /
// present / input / the program's console and error report.
#include "terminal_console.h"

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

static_assert(std::atomic<unsigned char>::is_always_lock_free,
              "consoleClosing is stored from signal handlers");
static_assert(std::atomic<int>::is_always_lock_free, "the taken flag is used by signal handlers");

namespace {

// --- Taken-terminal state and restore ---

// Everything a signal handler needs to give the terminal back (or take it
// again), prepared at open so that restoring is nothing but write and tcsetattr.
struct TakenTerminal {
    std::atomic<int> taken{0};
    int inputFd = -1;
    int outputFd = -1;
    termios saved{};
    char restore[512] = {};
    std::size_t restoreLength = 0;
    // The window size at open, sent back only if our own request changed it.
    char size[32] = {};
    std::size_t sizeLength = 0;
    std::atomic<int> restoreSize{0};
    // A frame is partly written: synchronized output is on in the terminal.
    std::atomic<int> frameOpen{0};
    // Output flags of a shared descriptor made non-blocking (-1: untouched).
    int savedFlags = -1;
    // Answers to our queries are still to come: they are read and dropped
    // before the modes go back, or the terminal would echo them at the shell.
    std::atomic<int> repliesDue{0};
};

TakenTerminal takenTerminal;
std::atomic<int> resizePending{0};
std::atomic<int> continuePending{0};

// Writes from a signal handler or at close: no allocation, and one bounded wait
// in all (the terminal may not be reading at all). Errors are ignored.
bool writeRaw(int fd, const char* data, std::size_t length, int& waitMs) {
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n > 0) {
            data += n;
            length -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitMs > 0) {
            pollfd p{fd, POLLOUT, 0};
            const int wait = waitMs;
            waitMs = 0;
            if (poll(&p, 1, wait) <= 0)
                return false;
            waitMs = wait / 2;
        } else {
            return false;
        }
    }
    return true;
}

// --- Signal handlers ---

// A hang-up, a termination request, or a break sent from outside (the
// terminal's own signal keys are off): the main loop ends after the frame.
constexpr int closingSignals[] = {SIGHUP, SIGTERM, SIGINT, SIGQUIT};

// Every other signal whose default action ends the process: the terminal is
// given back first, then the signal does what it did before.
constexpr int endingSignals[] = {
    SIGILL,    SIGTRAP, SIGABRT, SIGBUS,  SIGFPE,    SIGSEGV, SIGUSR1,
    SIGUSR2,   SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

constexpr int signalSlots = 128;
struct sigaction previousActions[signalSlots];
bool installedSignal[signalSlots] = {};
bool handlersInstalled = false;

void onClosingSignal(int) {
    consoleClosing.store(1);
}

void onResize(int) {
    resizePending.store(1);
}

void onContinue(int) {
    continuePending.store(1);
    resizePending.store(1);
}

void onEndingSignal(int signal) {
    restoreTakenTerminal();
    if (signal > 0 && signal < signalSlots && installedSignal[signal])
        sigaction(signal, &previousActions[signal], nullptr);
    raise(signal);
}

// Ctrl+Z from the shell's side (kill -TSTP): give the terminal back, stop as
// the signal would, and on continuing ask the main loop to take it again.
void onStop(int) {
    const int savedErrno = errno;
    restoreTakenTerminal();
    struct sigaction stop {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    struct sigaction ours {};
    sigaction(SIGTSTP, &stop, &ours);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(SIGTSTP);
    // Continued.
    sigaction(SIGTSTP, &ours, nullptr);
    continuePending.store(1);
    resizePending.store(1);
    errno = savedErrno;
}

// With `keepIgnored`, a signal that the caller's environment ignores stays
// ignored. The closing signals are always caught: they only end the show.
void installHandler(int signal, void (*handler)(int), int flags, bool keepIgnored = true) {
    if (signal <= 0 || signal >= signalSlots)
        return;
    struct sigaction previous {};
    sigaction(signal, nullptr, &previous);
    if (keepIgnored && previous.sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    if (sigaction(signal, &action, &previousActions[signal]) == 0)
        installedSignal[signal] = true;
}

void installHandlers() {
    for (int signal : closingSignals)
        installHandler(signal, onClosingSignal, SA_RESTART, false);
    installHandler(SIGWINCH, onResize, SA_RESTART, false);
    installHandler(SIGCONT, onContinue, SA_RESTART, false);
    installHandler(SIGTSTP, onStop, SA_RESTART);
    // A terminal that went away fails the write with EPIPE or EIO instead.
    installHandler(SIGPIPE, SIG_IGN, 0, false);
    // SA_NODEFER: the re-raised signal is delivered at once, to the old handler.
    for (int signal : endingSignals)
        installHandler(signal, onEndingSignal, SA_NODEFER);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX && signal < signalSlots; ++signal)
        installHandler(signal, onEndingSignal, SA_NODEFER);
    handlersInstalled = true;
}

void restoreHandlers() {
    if (!handlersInstalled)
        return;
    for (int signal = 1; signal < signalSlots; ++signal) {
        if (installedSignal[signal])
            sigaction(signal, &previousActions[signal], nullptr);
        installedSignal[signal] = false;
    }
    handlersInstalled = false;
}

// Appends to a sequence at open time (not in a handler).
void append(char* buffer, std::size_t capacity, std::size_t& length, const char* text) {
    const std::size_t n = std::strlen(text);
    if (length + n <= capacity) {
        std::copy(text, text + n, buffer + length); // a byte sequence, never a C string
        length += n;
    }
}

void appendRestore(const char* text) {
    append(takenTerminal.restore, sizeof(takenTerminal.restore), takenTerminal.restoreLength, text);
}

bool terminalSize(int fd, int& columns, int& rows) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
        return false;
    columns = size.ws_col;
    rows = size.ws_row;
    return true;
}

termios rawModes(const termios& saved) {
    // Raw mode: bytes as typed, no echo, no line editing, no flow control, and
    // no signal keys (Ctrl+C arrives as a key). Reads return at once.
    termios raw = saved;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY);
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    return raw;
}

// Where our size request stands: the window is given its old size back at exit
// only if the request is what changed it.
enum ResizeState { noRequest, requested, obeyed, changedByUser };
int resizeState = noRequest;
int originalColumns = 0;
int originalRows = 0;

constexpr char statusQuery[] = "\x1b[5n";
// Sets a 24-bit colour and asks for the colour setting back: a terminal that
// keeps 24-bit colours reports it.
constexpr char colourProbe[] = "\x1b[0;38;2;1;2;3m\x1bP$qm\x1b\\\x1b[0m";
constexpr char sizeQuery[] = "\x1b[18t";
constexpr std::size_t controlCapacity = 8 + 3 * 256 + 16 * 64 + 512;

bool noteShown = false;
char approximationNote[160];

} // namespace

void restoreTakenTerminal() {
    if (takenTerminal.taken.exchange(0) != 1)
        return;
    const int savedErrno = errno;
    const int fd = takenTerminal.outputFd;
    int waitMs = 200;
    // CAN first: a frame cut short may have left an escape sequence unfinished.
    bool ok = writeRaw(fd, "\x18", 1, waitMs);
    if (takenTerminal.frameOpen.exchange(0) != 0 && ok)
        ok = writeRaw(fd, "\x1b[?2026l", 8, waitMs);
    if (ok)
        ok = writeRaw(fd, takenTerminal.restore, takenTerminal.restoreLength, waitMs);
    if (ok && takenTerminal.restoreSize.load() != 0)
        writeRaw(fd, takenTerminal.size, takenTerminal.sizeLength, waitMs);
    if (takenTerminal.repliesDue.exchange(0) != 0 && ok) {
        // The last query sent is always a status query: its answer, `ESC [ 0 n`,
        // comes last. Wait for it a little, not at all for a stuck terminal.
        char bytes[256];
        for (int polls = 0; polls < 8; ++polls) {
            pollfd p{takenTerminal.inputFd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0)
                continue;
            const ssize_t n = read(takenTerminal.inputFd, bytes, sizeof(bytes));
            if (n <= 0)
                break;
            if (n >= 2 && bytes[n - 1] == 'n' && bytes[n - 2] == '0')
                break;
        }
    }
    tcflush(takenTerminal.inputFd, TCIFLUSH);
    tcsetattr(takenTerminal.inputFd, TCSANOW, &takenTerminal.saved);
    if (takenTerminal.savedFlags != -1)
        fcntl(fd, F_SETFL, takenTerminal.savedFlags);
    errno = savedErrno;
}

// --- Open and close ---

bool TerminalConsole::open(const char* newTitle, int w, int h) {
    close();
    failure = nullptr;
    if (w <= 0 || h <= 0)
        return false;
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

    if (tcgetattr(inputFd, &takenTerminal.saved) != 0) {
        release();
        failure = "the terminal's modes cannot be read";
        return false;
    }
    if (!colourModeFixed)
        colourMode = chooseColourMode(caps, std::getenv("COLORTERM"));

    // Writes never block: through a descriptor of our own where the terminal
    // can be opened by name, or else the shared one, put back at exit.
    takenTerminal.savedFlags = -1;
    writeFd = -1;
    ownsWriteFd = false;
    if (const char* name = ttyname(outputFd)) {
        writeFd = ::open(name, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (writeFd >= 0 && !isatty(writeFd)) {
            ::close(writeFd);
            writeFd = -1;
        }
        ownsWriteFd = writeFd >= 0;
    }
    if (writeFd < 0) {
        writeFd = outputFd;
        const int flags = fcntl(outputFd, F_GETFL);
        if (flags != -1 && (flags & O_NONBLOCK) == 0 &&
            fcntl(outputFd, F_SETFL, flags | O_NONBLOCK) == 0)
            takenTerminal.savedFlags = flags;
    }

    // The way back, prepared now.
    takenTerminal.inputFd = inputFd;
    takenTerminal.outputFd = writeFd;
    takenTerminal.restoreLength = 0;
    takenTerminal.frameOpen.store(0);
    if (caps.mouse)
        appendRestore("\x1b[?1003l\x1b[?1006l\x1b[?1002l\x1b[?1000l");
    appendRestore("\x1b[0m");
    if (glyphs != nullptr && glyphs->decOff[0] != '\0')
        appendRestore(glyphs->decOff);
    if (caps.setPalette && colourMode == ColourMode::ansi16)
        appendRestore(caps.resetPalette);
    if (caps.hideCursor)
        appendRestore("\x1b[?25h");
    appendRestore(caps.alternateScreen ? "\x1b[?1049l" : "\x1b[H\x1b[2J");
    if (caps.title)
        appendRestore(caps.titleStack ? "\x1b[23;0t" : "\x1b]2;\x07");
    takenTerminal.restoreSize.store(0);
    takenTerminal.sizeLength = 0;
    resizeState = noRequest;
    if (terminalSize(outputFd, originalColumns, originalRows) && caps.windowOps &&
        (originalColumns != w || originalRows != h)) {
        std::snprintf(takenTerminal.size, sizeof(takenTerminal.size), "\x1b[8;%d;%dt", originalRows,
                      originalColumns);
        takenTerminal.sizeLength = std::strlen(takenTerminal.size);
        resizeState = requested;
    }

    static bool exitHookInstalled = false;
    if (!exitHookInstalled) {
        std::atexit(restoreTakenTerminal);
        exitHookInstalled = true;
    }
    resizePending.store(0);
    continuePending.store(0);
    installHandlers();

    takenTerminal.taken.store(1);
    holdsTerminal = true;
    isOpen = true;
    const termios raw = rawModes(takenTerminal.saved);
    if (tcsetattr(inputFd, TCSANOW, &raw) != 0) {
        close();
        failure = "the terminal's modes cannot be set";
        return false;
    }

    decoder = KeyDecoder{};
    inputLength = 0;
    inputRead = 0;
    queue.clear();
    pendingStart = 0;
    pendingEnd = 0;
    answered = false;
    silent = false;
    outstanding = 0;
    forgetQueries();
    frameDelayMs = 0.0f;
    frameDelayKnown = false;
    mouseSent = false;
    fullScreenRequest = false;
    colourProbed = false;
    std::snprintf(title, sizeof(title), "%s", newTitle != nullptr ? newTitle : "");
    const std::uint32_t now = monotonicMilliseconds();
    lastQueryMs = now;
    lastInputMs = now;
    lastPollMs = now;
    previousPollMs = now;
    takeOver(true);
    layOut(now);
    // The alternate screen, our title and the window size go out at once.
    pendingEnd = appendControl(output);
    takenTerminal.repliesDue.store(1);
    flushPending();
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
        append(out, capacity, length, "\x18");
        append(out, capacity, length, caps.decEnable);
        if (caps.alternateScreen)
            append(out, capacity, length, "\x1b[?1049h");
        if (caps.titleStack && takeOverAfterRestore)
            append(out, capacity, length, "\x1b[22;0t");
        if (caps.hideCursor)
            append(out, capacity, length, "\x1b[?25l");
        if (caps.setPalette && colourMode == ColourMode::ansi16) {
            for (const char* colour : caps.palette)
                append(out, capacity, length, colour);
        }
        if (resizeState == requested || (resizeState == obeyed && takeOverAfterRestore)) {
            char request[32];
            std::snprintf(request, sizeof(request), "\x1b[8;%d;%dt", height, width);
            append(out, capacity, length, request);
        }
        if (!colourProbed && !colourModeFixed && colourMode != ColourMode::trueColour &&
            caps.windowOps)
            append(out, capacity, length, colourProbe);
        colourProbed = true;
        if (caps.windowOps)
            append(out, capacity, length, sizeQuery);
        sizeQueried = true;
        // Last: the answers to everything above come before its own.
        append(out, capacity, length, statusQuery);
        ++outstanding;
        lastQueryMs = monotonicMilliseconds();
        noteQuerySent(lastQueryMs, false);
        takeOverPending = false;
    }
    if (titleDirty && caps.title) {
        length += encodeTitle(title, out + length, glyphs);
    }
    titleDirty = false;
    if (decoder.mouseOn != mouseSent && caps.mouse) {
        // SGR reports (1006) of every motion (1003): the console reports moves
        // without a button too.
        append(out, capacity, length,
               decoder.mouseOn ? "\x1b[?1003h\x1b[?1006h" : "\x1b[?1003l\x1b[?1006l");
    }
    mouseSent = decoder.mouseOn;
    if (fullScreenRequest && caps.windowOps)
        append(out, capacity, length, "\x1b[10;2t");
    fullScreenRequest = false;
    return length;
}

void TerminalConsole::close() {
    if (holdsTerminal) {
        restoreTakenTerminal();
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
    if (ownsWriteFd)
        ::close(writeFd);
    ownsWriteFd = false;
    writeFd = -1;
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

// Sends what is on its way without ever waiting. False while some is left.
bool TerminalConsole::flushPending() {
    int waitMs = writeWaitMs;
    while (pendingStart < pendingEnd) {
        const ssize_t n = write(writeFd, output + pendingStart, pendingEnd - pendingStart);
        if (n > 0) {
            pendingStart += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{writeFd, POLLOUT, 0};
            if (waitMs > 0 && poll(&p, 1, waitMs) > 0) {
                waitMs = 0;
                continue;
            }
            return false;
        }
        // The terminal is gone: end the show as a closed console window would.
        if (n < 0 && (errno == EIO || errno == EPIPE))
            consoleClosing.store(1);
        pendingStart = pendingEnd;
        break;
    }
    takenTerminal.frameOpen.store(0);
    pendingStart = 0;
    pendingEnd = 0;
    return true;
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
    if (continuePending.exchange(0) != 0) {
        // Continued after a stop: take the terminal again and draw everything.
        const bool restored = takenTerminal.taken.load() == 0;
        const termios raw = rawModes(takenTerminal.saved);
        tcsetattr(inputFd, TCSANOW, &raw);
        if (takenTerminal.savedFlags != -1)
            fcntl(writeFd, F_SETFL, takenTerminal.savedFlags | O_NONBLOCK);
        takenTerminal.taken.store(1);
        pendingStart = 0;
        pendingEnd = 0;
        outstanding = 0;
        forgetQueries();
        takeOver(restored);
    }
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
    if (!flushPending())
        return true;
    if (outstanding > (answered ? 0 : 1)) {
        const std::uint32_t waited = now - lastQueryMs;
        if (!answered && waited >= replyWaitMs) {
            // The terminal does not answer: frames go out as they come.
            silent = true;
            outstanding = 0;
            forgetQueries();
            takenTerminal.repliesDue.store(0);
        } else if (answered && waited >= lostReplyMs) {
            outstanding = 0;
            forgetQueries();
        } else if (!silent) {
            return true;
        }
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
        std::memcpy(output + length, statusQuery, sizeof(statusQuery) - 1);
        length += sizeof(statusQuery) - 1;
        if (silent)
            forgetQueries();
        outstanding = silent ? 1 : outstanding + 1;
        lastQueryMs = now;
        noteQuerySent(now, true);
        takenTerminal.frameOpen.store(1);
    }
    takenTerminal.repliesDue.store(outstanding > 0 && !silent ? 1 : 0);
    pendingStart = 0;
    pendingEnd = length;
    flushPending();
    return consoleClosing.load() == 0;
}

void TerminalConsole::setTitle(const char* newTitle) {
    if (!isOpen || newTitle == nullptr)
        return;
    char truncated[sizeof(title)];
    std::snprintf(truncated, sizeof(truncated), "%s", newTitle);
    if (std::strcmp(truncated, title) == 0)
        return;
    std::memcpy(title, truncated, sizeof(title));
    titleDirty = true;
    sendControlNow();
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
    pendingStart = 0;
    pendingEnd = appendControl(output);
    flushPending();
}

// --- Presentation delay ---

void TerminalConsole::noteQuerySent(std::uint32_t now, bool isFrame) {
    if (queryCount == queryCapacity) {
        queryHead = (queryHead + 1) % queryCapacity;
        --queryCount;
    }
    const int slot = (queryHead + queryCount) % queryCapacity;
    querySentMs[slot] = now;
    queryClosesFrame[slot] = isFrame;
    ++queryCount;
}

void TerminalConsole::forgetQueries() {
    queryHead = 0;
    queryCount = 0;
}

// The answer came in after the input was last looked at (or after the query
// went out, if later) and by now: the middle of that span is the sample.
void TerminalConsole::noteStatusAnswer(std::uint32_t now) {
    if (queryCount == 0)
        return;
    const std::uint32_t sent = querySentMs[queryHead];
    const bool closesFrame = queryClosesFrame[queryHead];
    queryHead = (queryHead + 1) % queryCapacity;
    --queryCount;
    if (!closesFrame)
        return;
    const auto latest = static_cast<std::int32_t>(now - sent);
    auto earliest = static_cast<std::int32_t>(previousPollMs - sent);
    if (latest < 0)
        return;
    if (earliest < 0 || earliest > latest)
        earliest = 0;
    float sample = 0.5f * static_cast<float>(earliest + latest);
    const auto cap = static_cast<float>(delayCapMs);
    if (sample > cap)
        sample = cap;
    // A quarter of each new sample: one odd frame (a full redraw, a hiccup of
    // the link) moves the estimate only a little.
    if (frameDelayKnown)
        frameDelayMs += 0.25f * (sample - frameDelayMs);
    else
        frameDelayMs = sample;
    frameDelayKnown = true;
}

std::uint32_t TerminalConsole::presentDelayMs() const {
    if (!isOpen || silent || !answered || !frameDelayKnown)
        return 0;
    const auto delay = static_cast<std::uint32_t>(std::lround(frameDelayMs));
    if (delay < delayFloorMs)
        return 0;
    return delay < delayCapMs ? delay : delayCapMs;
}

// --- Input ---

void TerminalConsole::handleReply(const DecodeStep& step, std::uint32_t now) {
    switch (step.reply) {
    case TerminalReply::status:
        noteStatusAnswer(now);
        if (outstanding > 0)
            --outstanding;
        answered = true;
        silent = false;
        takenTerminal.repliesDue.store(outstanding > 0 ? 1 : 0);
        break;
    case TerminalReply::directColour:
        if (!colourModeFixed && colourMode != ColourMode::trueColour) {
            colourMode = ColourMode::trueColour;
            redrawAll = true;
        }
        break;
    case TerminalReply::windowSize:
        if (step.replyColumns > 0 && step.replyRows > 0 &&
            (step.replyColumns != terminalColumns || step.replyRows != terminalRows))
            layOut(now, step.replyColumns, step.replyRows);
        break;
    case TerminalReply::noDirectColour:
    case TerminalReply::none:
        break;
    }
    if (step.fullScreen)
        fullScreenRequest = true;
}

// Reads what the terminal has sent (at most inputBudget bytes between two
// presents) and decodes it into the queue while the queue has room.
void TerminalConsole::pumpInput(std::uint32_t now) {
    if (inputRead < inputBudget && inputLength < sizeof(inputBytes)) {
        pollfd p{inputFd, POLLIN, 0};
        previousPollMs = lastPollMs;
        lastPollMs = now;
        if (poll(&p, 1, 0) > 0) {
            if (p.revents & POLLIN) {
                std::size_t room = sizeof(inputBytes) - inputLength;
                if (room > inputBudget - inputRead)
                    room = inputBudget - inputRead;
                const ssize_t n = read(inputFd, inputBytes + inputLength, room);
                if (n > 0) {
                    inputLength += static_cast<std::size_t>(n);
                    inputRead += static_cast<std::size_t>(n);
                    lastInputMs = now;
                } else if (n == 0 || errno == EIO) {
                    // End of input: the terminal is gone, as with a hang-up.
                    consoleClosing.store(1);
                }
            } else if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
                consoleClosing.store(1);
            }
        }
    }
    const std::uint32_t idle = now - lastInputMs;
    std::size_t start = 0;
    // A step gives at most two records (a key's press and release).
    while (start < inputLength && queue.room() >= 2) {
        const std::size_t rest = inputLength - start;
        // A lone Escape waits briefly; a piece of a longer sequence, split by
        // the link, waits for its rest much longer.
        const bool loneEscape = rest == 1 && inputBytes[start] == 0x1B;
        const bool endOfInput = idle >= (loneEscape ? escapeWaitMs : sequenceWaitMs);
        const DecodeStep step = decoder.decode(inputBytes + start, rest, endOfInput, now);
        if (step.used == 0)
            break;
        start += step.used;
        if (step.reply != TerminalReply::none || step.fullScreen)
            handleReply(step, now);
        for (int i = 0; i < step.count; ++i)
            queue.push(step.records[i]);
    }
    std::memmove(inputBytes, inputBytes + start, inputLength - start);
    inputLength -= start;
    if (fullScreenRequest && pendingEnd == 0)
        sendControlNow();
}

bool TerminalConsole::readInput(InputRecord& record) {
    if (!isOpen)
        return false;
    if (queue.size() == 0)
        pumpInput(monotonicMilliseconds());
    return queue.pop(record);
}

// --- The program's console and error report ---

ConsoleBackend& terminalConsole() {
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
