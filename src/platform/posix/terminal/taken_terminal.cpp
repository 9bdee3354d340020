// The taken terminal's restore and the signal handlers around it: everything
// here may run inside a signal handler, so it only writes, polls, reads and sets
// the terminal's modes, on state prepared at open.
//
// Index: restore / signal handlers / helpers for open.
#include "taken_terminal.h"

#include "app/console_host.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

static_assert(std::atomic<unsigned char>::is_always_lock_free,
              "consoleClosing is stored from signal handlers");
static_assert(std::atomic<int>::is_always_lock_free, "the taken flag is used by signal handlers");

TakenTerminal takenTerminal;
std::atomic<int> resizePending{0};
std::atomic<int> continuePending{0};

// --- Restore ---

bool restoreTakenTerminal() {
    if (takenTerminal.taken.exchange(0) != 1)
        return true;
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
    return ok;
}

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

namespace {

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

} // namespace

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

// --- Helpers for open ---

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

void restoreAtExit() {
    restoreTakenTerminal();
}
