// The terminal console over file descriptors, the signal handling that keeps
// the terminal safe on every way out, and the POSIX console and error report.
//
// Index: taken-terminal state and restore / signal handlers / open and close /
// present / input / the program's console and error report.
#include "terminal_console.h"

#include "app/console_host.h"
#include "platform/posix/posix_platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// Everything a signal handler needs to give the terminal back, prepared at open
// so that restoring is nothing but write and tcsetattr.
struct TakenTerminal {
    std::atomic<int> taken{0};
    int inputFd = -1;
    int outputFd = -1;
    termios saved{};
    char restore[192] = {};
    std::size_t restoreLength = 0;
};

TakenTerminal takenTerminal;
std::atomic<int> resizePending{0};

// Writes from a signal handler: no allocation, bounded waits, errors ignored.
void writeRaw(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n > 0) {
            data += n;
            length -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, 200) <= 0)
                return;
        } else {
            return;
        }
    }
}

std::uint32_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

// --- Signal handlers ---

constexpr int closingSignals[] = {SIGHUP, SIGTERM, SIGINT, SIGQUIT};
constexpr int fatalSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE};
constexpr int handledSignals[] = {SIGHUP,  SIGTERM, SIGINT,  SIGQUIT, SIGWINCH,
                                  SIGPIPE, SIGSEGV, SIGABRT, SIGBUS,  SIGFPE};
constexpr int handledCount = sizeof(handledSignals) / sizeof(handledSignals[0]);
struct sigaction previousActions[handledCount];
bool handlersInstalled = false;

// A hang-up, a termination request, or a break sent from outside (the terminal's
// own signal keys are off): the main loop ends after the frame in progress.
void onClosingSignal(int) {
    consoleClosing.store(1);
}

void onResize(int) {
    resizePending.store(1);
}

// A crash: give the terminal back, then let the signal do what it did before.
void onFatalSignal(int signal) {
    restoreTakenTerminal();
    for (int i = 0; i < handledCount; ++i) {
        if (handledSignals[i] == signal)
            sigaction(signal, &previousActions[i], nullptr);
    }
    raise(signal);
}

void installHandler(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    int index = 0;
    while (handledSignals[index] != signal)
        ++index;
    sigaction(signal, &action, &previousActions[index]);
}

void installHandlers() {
    for (int signal : closingSignals)
        installHandler(signal, onClosingSignal, SA_RESTART);
    installHandler(SIGWINCH, onResize, SA_RESTART);
    // A terminal that went away fails the write with EPIPE or EIO instead.
    installHandler(SIGPIPE, SIG_IGN, 0);
    // SA_NODEFER: the re-raised signal is delivered at once, to the old handler.
    for (int signal : fatalSignals)
        installHandler(signal, onFatalSignal, SA_NODEFER);
    handlersInstalled = true;
}

void restoreHandlers() {
    if (!handlersInstalled)
        return;
    for (int i = 0; i < handledCount; ++i)
        sigaction(handledSignals[i], &previousActions[i], nullptr);
    handlersInstalled = false;
}

// Appends to the restore sequence at open time (not in a handler).
void appendRestore(const char* text) {
    const std::size_t length = std::strlen(text);
    if (takenTerminal.restoreLength + length <= sizeof(takenTerminal.restore)) {
        std::memcpy(takenTerminal.restore + takenTerminal.restoreLength, text, length);
        takenTerminal.restoreLength += length;
    }
}

bool terminalSize(int fd, int& columns, int& rows) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0)
        return false;
    columns = size.ws_col;
    rows = size.ws_row;
    return true;
}

} // namespace

void restoreTakenTerminal() {
    if (takenTerminal.taken.exchange(0) != 1)
        return;
    const int savedErrno = errno;
    writeRaw(takenTerminal.outputFd, takenTerminal.restore, takenTerminal.restoreLength);
    tcsetattr(takenTerminal.inputFd, TCSANOW, &takenTerminal.saved);
    errno = savedErrno;
}

// --- Open and close ---

bool TerminalConsole::open(const char* newTitle, int w, int h) {
    close();
    if (w <= 0 || h <= 0 || !isatty(inputFd) || !isatty(outputFd))
        return false;
    // One terminal at a time: the signal handlers restore only one.
    if (takenTerminal.taken.load() != 0)
        return false;

    const auto cellCount = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    shown = new (std::nothrow) Cell[cellCount];
    output = new (std::nothrow) char[maxEncodedFrameBytes(cellCount, sizeof(notice))];
    if (shown == nullptr || output == nullptr) {
        release();
        return false;
    }
    width = w;
    height = h;
    forgetShownCells(shown, cellCount);

    if (tcgetattr(inputFd, &takenTerminal.saved) != 0) {
        release();
        return false;
    }
    if (!colourModeFixed)
        colourMode = chooseColourMode(std::getenv("TERM"), std::getenv("COLORTERM"));

    // The way back, prepared now. CAN first: a crash in the middle of a frame
    // may have left an escape sequence unfinished.
    takenTerminal.inputFd = inputFd;
    takenTerminal.outputFd = outputFd;
    takenTerminal.restoreLength = 0;
    appendRestore("\x18\x1b[?2026l\x1b[?1003l\x1b[?1006l\x1b[?1002l\x1b[?1000l\x1b[0m"
                  "\x1b[?25h\x1b[?1049l\x1b[23;0t");
    int originalColumns = 0;
    int originalRows = 0;
    if (terminalSize(outputFd, originalColumns, originalRows) &&
        (originalColumns != w || originalRows != h)) {
        char resize[32];
        std::snprintf(resize, sizeof(resize), "\x1b[8;%d;%dt", originalRows, originalColumns);
        appendRestore(resize);
    }

    static bool exitHookInstalled = false;
    if (!exitHookInstalled) {
        std::atexit(restoreTakenTerminal);
        exitHookInstalled = true;
    }
    resizePending.store(0);
    installHandlers();

    // Raw mode: bytes as typed, no echo, no line editing, no flow control, and
    // no signal keys (Ctrl+C arrives as a key). Reads return at once.
    termios raw = takenTerminal.saved;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY);
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    takenTerminal.taken.store(1);
    holdsTerminal = true;
    isOpen = true;
    if (tcsetattr(inputFd, TCSANOW, &raw) != 0) {
        close();
        return false;
    }

    // Alternate screen, the user's title saved on the title stack, ours set,
    // cursor hidden, and a request for a w x h window (ignored where unsupported).
    char start[64];
    const int startLength =
        std::snprintf(start, sizeof(start), "\x1b[?1049h\x1b[22;0t\x1b[?25l\x1b[8;%d;%dt", h, w);
    writeAll(start, static_cast<std::size_t>(startLength));
    title[0] = '\0';
    setTitle(newTitle);

    decoder = KeyDecoder{};
    inputLength = 0;
    queueHead = 0;
    queueCount = 0;
    layOut(nowMs());
    return true;
}

void TerminalConsole::close() {
    if (holdsTerminal) {
        restoreTakenTerminal();
        restoreHandlers();
        holdsTerminal = false;
    }
    isOpen = false;
    release();
}

void TerminalConsole::release() {
    delete[] shown;
    shown = nullptr;
    delete[] output;
    output = nullptr;
    width = 0;
    height = 0;
}

bool TerminalConsole::writeAll(const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = write(outputFd, data, length);
        if (n > 0) {
            data += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{outputFd, POLLOUT, 0};
            if (poll(&p, 1, 1000) > 0)
                continue;
            return false;
        }
        // The terminal is gone: end the show as a closed console window would.
        if (n < 0 && (errno == EIO || errno == EPIPE))
            consoleClosing.store(1);
        return false;
    }
    return true;
}

// --- Present ---

void TerminalConsole::layOut(std::uint32_t now) {
    if (!terminalSize(outputFd, terminalColumns, terminalRows)) {
        terminalColumns = width;
        terminalRows = height;
    }
    view = layoutFrame(width, height, terminalColumns, terminalRows);
    decoder.setFrameOrigin(view.screenX - view.frameX, view.screenY - view.frameY, width, height);
    redrawAll = true;
    noticeOn = terminalColumns < width || terminalRows < height;
    if (noticeOn) {
        std::snprintf(notice, sizeof(notice), " The show needs %d x %d; this terminal is %d x %d. ",
                      width, height, terminalColumns, terminalRows);
        noticeUntilMs = now + noticeMs;
    }
}

bool TerminalConsole::present(const Cell* cells, int w, int h) {
    if (!isOpen || cells == nullptr || w != width || h != height)
        return false;
    const std::uint32_t now = nowMs();
    if (resizePending.exchange(0) != 0)
        layOut(now);
    if (noticeOn && static_cast<std::int32_t>(now - noticeUntilMs) >= 0) {
        // The notice has had its moment: give the picture back in full.
        noticeOn = false;
        redrawAll = true;
    }
    const std::size_t length = encodeFrame(cells, shown, width, view, redrawAll, colourMode,
                                           noticeOn ? notice : nullptr, terminalColumns, output);
    redrawAll = false;
    return length == 0 || writeAll(output, length);
}

void TerminalConsole::setTitle(const char* newTitle) {
    if (!isOpen || newTitle == nullptr)
        return;
    char truncated[sizeof(title)];
    std::snprintf(truncated, sizeof(truncated), "%s", newTitle);
    if (title[0] != '\0' && std::strcmp(truncated, title) == 0)
        return;
    std::memcpy(title, truncated, sizeof(title));
    writeAll(titleBytes, encodeTitle(title, titleBytes));
}

void TerminalConsole::setMouseInput(bool on) {
    if (!isOpen || on == decoder.mouseOn)
        return;
    // SGR reports (1006) of every motion (1003): the console reports moves
    // without a button too.
    if (on)
        writeAll("\x1b[?1003h\x1b[?1006h", 16);
    else
        writeAll("\x1b[?1003l\x1b[?1006l", 16);
    decoder.mouseOn = on;
}

// --- Input ---

bool TerminalConsole::readInput(InputRecord& record) {
    if (!isOpen)
        return false;
    if (queueCount == 0) {
        const std::uint32_t now = nowMs();
        if (inputLength < sizeof(inputBytes)) {
            const ssize_t n =
                read(inputFd, inputBytes + inputLength, sizeof(inputBytes) - inputLength);
            if (n > 0) {
                inputLength += static_cast<std::size_t>(n);
                lastInputMs = now;
            } else if (n < 0 && errno == EIO) {
                consoleClosing.store(1);
            }
        }
        const bool endOfInput = now - lastInputMs >= escapeWaitMs;
        std::size_t start = 0;
        while (start < inputLength && queueCount <= queueSize - 2) {
            const DecodeStep step =
                decoder.decode(inputBytes + start, inputLength - start, endOfInput, now);
            if (step.used == 0)
                break;
            start += step.used;
            for (int i = 0; i < step.count; ++i) {
                queue[(queueHead + queueCount) % queueSize] = step.records[i];
                ++queueCount;
            }
        }
        std::memmove(inputBytes, inputBytes + start, inputLength - start);
        inputLength -= start;
    }
    if (queueCount == 0)
        return false;
    record = queue[queueHead];
    queueHead = (queueHead + 1) % queueSize;
    --queueCount;
    return true;
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
