// The taken terminal's restore and the signal handlers around it: everything
// here may run inside a signal handler, so it only writes, polls, reads and sets
// the terminal's modes, on state prepared at open.
//
// Index: restore / signal handlers / helpers for open.
#include "taken_terminal.h"

#include "app/console_host.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>
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

namespace {

constexpr char statusAnswer[] = "\x1b[0n";

// Reads and drops what the terminal sends until `answers` answers to status
// queries have come, or `waitMs` is spent. Raw mode is still on, so nothing
// read here was echoed.
void awaitAnswers(int answers, int waitMs) {
    char bytes[256];
    std::size_t matched = 0;
    int totalMs = answerCapMs;
    while (answers > 0 && waitMs > 0 && totalMs > 0) {
        pollfd p{takenTerminal.inputFd, POLLIN, 0};
        const int slice = waitMs < 20 ? waitMs : 20;
        waitMs -= slice;
        totalMs -= slice;
        if (poll(&p, 1, slice) <= 0 || (p.revents & POLLIN) == 0)
            continue;
        const ssize_t n = read(takenTerminal.inputFd, bytes, sizeof(bytes));
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i) {
            matched = bytes[i] == statusAnswer[matched] ? matched + 1
                                                        : (bytes[i] == statusAnswer[0] ? 1 : 0);
            if (matched == sizeof(statusAnswer) - 1) {
                // The link moves: the rest come after this one.
                matched = 0;
                --answers;
                waitMs = waitMs > answerProgressMs ? waitMs : answerProgressMs;
            }
        }
    }
}

} // namespace

bool restoreTakenTerminal() {
    if (takenTerminal.taken.exchange(0) != 1)
        return true;
    const int savedErrno = errno;
    // From the background (a stop by SIGTTIN, say) the writes and the modes
    // must still go through: with SIGTTOU blocked they do.
    sigset_t ttou;
    sigset_t previousMask;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &previousMask);
    const int fd = takenTerminal.outputFd;
    int waitMs = restoreBudgetMs;
    bool ok = true;
    // A frame cut short may have left an escape sequence unfinished: CAN ends
    // it. Only then, and on the alternate screen, where a terminal that draws
    // CAN draws it out of the user's sight.
    if (takenTerminal.frameOpen.exchange(0) != 0)
        ok = writeRaw(fd, "\x18\x1b[?2026l", 9, waitMs);
    if (ok)
        ok = writeRaw(fd, takenTerminal.restore, takenTerminal.restoreLength, waitMs);
    const int titleLength = takenTerminal.userTitleLength.load();
    if (ok && titleLength > 0)
        ok = writeRaw(fd, takenTerminal.userTitle, static_cast<std::size_t>(titleLength), waitMs);
    if (ok && takenTerminal.restoreSize.load() != 0)
        ok = writeRaw(fd, takenTerminal.size, takenTerminal.sizeLength, waitMs);
    const int due = takenTerminal.repliesDue.exchange(0);
    if (ok && due > 0 && writeRaw(fd, "\x1b[5n", 4, waitMs)) {
        // One more query, answered after all the others: once its answer is in,
        // no answer is left to reach the shell. Bounded by a few round trips
        // and the time the bytes queued before it take to arrive.
        const int answerWait =
            4 * takenTerminal.answerMs.load() + takenTerminal.drainMs.load() + 200;
        awaitAnswers(due + 1, answerWait < answerBudgetMs ? answerWait : answerBudgetMs);
    }
    tcflush(takenTerminal.inputFd, TCIFLUSH);
    tcsetattr(takenTerminal.inputFd, TCSANOW, &takenTerminal.saved);
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    errno = savedErrno;
    return ok;
}

bool writeRaw(int fd, const char* data, std::size_t length, int& waitMs) {
    while (length > 0) {
        if (takenTerminal.sharedOutput) {
            // Blocking descriptor: write only what the terminal is ready for.
            pollfd p{fd, POLLOUT, 0};
            const int slice = waitMs < 20 ? waitMs : 20;
            const int ready = poll(&p, 1, slice);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0) {
                waitMs -= slice;
                if (waitMs <= 0)
                    return false;
                continue;
            }
            if ((p.revents & POLLOUT) == 0)
                return false;
        }
        const std::size_t piece =
            takenTerminal.sharedOutput && length > sharedWriteChunk ? sharedWriteChunk : length;
        const ssize_t n = write(fd, data, piece);
        if (n > 0) {
            data += n;
            length -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitMs > 0) {
            pollfd p{fd, POLLOUT, 0};
            const int slice = waitMs < 20 ? waitMs : 20;
            waitMs -= slice;
            poll(&p, 1, slice);
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

// Counts continues, so that a stop can tell one came while it was giving the
// terminal back.
std::atomic<int> continues{0};

void onContinue(int) {
    continues.fetch_add(1);
    continuePending.store(1);
    resizePending.store(1);
}

void onEndingSignal(int signal) {
    restoreTakenTerminal();
    if (signal > 0 && signal < signalSlots && installedSignal[signal])
        sigaction(signal, &previousActions[signal], nullptr);
    raise(signal);
}

// Ctrl+Z from the shell's side (kill -TSTP), or a read or write of the
// terminal from the background (SIGTTIN, SIGTTOU): give the terminal back, stop
// as the signal would, and on continuing ask the main loop to take it again.
void onStop(int signal) {
    const int savedErrno = errno;
    const int continuesBefore = continues.load();
    restoreTakenTerminal();
    // A continue that came while the terminal was being given back (a slow
    // terminal, stops and continues close together) would be lost on a
    // process not stopped yet: it would then stay stopped.
    if (continues.load() == continuesBefore) {
        struct sigaction stop {};
        stop.sa_handler = SIG_DFL;
        sigemptyset(&stop.sa_mask);
        struct sigaction ours {};
        sigaction(signal, &stop, &ours);
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, signal);
        sigprocmask(SIG_UNBLOCK, &set, nullptr);
        raise(signal);
        // Continued.
        sigaction(signal, &ours, nullptr);
    }
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
    for (int signal : {SIGTSTP, SIGTTIN, SIGTTOU})
        installHandler(signal, onStop, SA_RESTART);
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

bool inForeground(int fd) {
    const pid_t owner = tcgetpgrp(fd);
    return owner == -1 || owner == getpgrp();
}

bool stopForBackground() {
    struct sigaction current {};
    sigaction(SIGTTOU, nullptr, &current);
    if (current.sa_handler == SIG_IGN)
        return false;
    // Stopped as the shell's job control stops a background job; a handler of
    // ours gives back nothing (nothing is taken) and stops just the same.
    raise(SIGTTOU);
    return true;
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

void restoreAtExit() {
    restoreTakenTerminal();
}
