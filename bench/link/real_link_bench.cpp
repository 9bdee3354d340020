// The show over a real link, as a remote viewer sees it: the viewer runs a
// client (ssh, ssh -C, mosh) on a pseudo-terminal of 80 x 50 and feeds what
// it writes to a terminal emulator (libvterm) that answers the show's status
// queries back into it, as a terminal does. real_link.sh builds the link (two
// network namespaces, tun_link between them) and the server, and runs this
// program at both ends:
//
//   real_link_bench --stamp FILE PROGRAM
//       (the server's end) runs PROGRAM on its own pseudo-terminal and copies
//       bytes through both ways; writes to FILE the monotonic time at which
//       the show's first frame left the program (music time 0: the show runs
//       without sound), and, once the show has ended, to FILE.after how many
//       bytes reached the shell afterwards (answers that came too late).
//   real_link_bench --view SECONDS FILE LABEL [--mosh] [--dev DEV] [--at S]
//                   [--min-fps N] -- CLIENT...
//       (the viewer's end) runs CLIENT, presses Space once the show has begun
//       (the title read-out names each frame's time), samples the lag every
//       5 ms for SECONDS, then presses q and reports one line as link_bench
//       does, with the bytes a second that reached DEV (the link's far end)
//       and the bytes left for the shells at both ends. --at: the show was
//       started at that music time. --min-fps: a check that exits 1 below that
//       many frames a second, with a byte left for a shell, or a client that
//       did not end. REAL_LINK_TRACE=FILE writes each second's worst lag.
//
// Both ends share CLOCK_MONOTONIC (network namespaces share the clock), so the
// stamp is the music's origin exactly. mosh draws its own screen and sends
// no frame ends: there each burst of output (bytes less than 3 ms apart) is
// an update, and the title on screen is the picture's time.
//
// Index: the clock and pty / the stamping end / the viewing end / main.
#include "viewer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

// --- The clock and pty ---

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

bool writeAll(int fd, const char* bytes, std::size_t length) {
    std::size_t at = 0;
    while (at < length) {
        const ssize_t n = write(fd, bytes + at, length - at);
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
            continue;
        }
        if (n <= 0 && errno != EINTR)
            return false;
        if (n > 0)
            at += static_cast<std::size_t>(n);
    }
    return true;
}

// Starts argv on a new pseudo-terminal of `size`; `master` gets its far side
// and `slave` the near side kept open, as the user's shell holds it.
pid_t startOnPty(char* const* argv, winsize size, int& master, int& slave) {
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
        execvp(argv[0], argv);
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    slave = child > 0 ? open(ptsname(master), O_RDWR | O_NOCTTY) : -1;
    return child;
}

int pendingBytes(int fd) {
    int pending = 0;
    return fd >= 0 && ioctl(fd, FIONREAD, &pending) == 0 ? pending : 0;
}

void writeFile(const std::string& path, const std::string& text) {
    const std::string partial = path + ".part";
    std::ofstream(partial) << text;
    std::rename(partial.c_str(), path.c_str());
}

// --- The stamping end ---

// Copies the show's output to stdout until it ends, stamping its first frame
// end; keys from stdin go to the show.
void relayShow(int master, pid_t child, const std::string& stampPath) {
    const std::string frameEnd = "\x1b[?2026l";
    std::size_t matched = 0;
    bool stamped = false;
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (poll(fds, 2, 100) < 0 && errno != EINTR)
            return;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = read(master, buffer, sizeof(buffer));
            if (n <= 0 && errno != EINTR && errno != EAGAIN)
                return;
            for (ssize_t i = 0; i < n && !stamped; ++i) {
                matched = buffer[i] == frameEnd[matched] ? matched + 1
                                                         : (buffer[i] == frameEnd[0] ? 1 : 0);
                if (matched == frameEnd.size()) {
                    writeFile(stampPath, std::to_string(nowMs()) + "\n");
                    stamped = true;
                }
            }
            if (n > 0 && !writeAll(STDOUT_FILENO, buffer, static_cast<std::size_t>(n)))
                return;
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof(buffer));
            if (n > 0)
                writeAll(master, buffer, static_cast<std::size_t>(n));
        }
        int status = 0;
        if (fds[0].revents == 0 && waitpid(child, &status, WNOHANG) == child)
            return;
    }
}

// What reaches the shell once the show has ended: bytes the show left unread,
// and those that arrive on stdin in the next two seconds.
std::size_t strayAfterEnd(int slave) {
    std::size_t stray = static_cast<std::size_t>(pendingBytes(slave));
    const double until = nowMs() + 2000;
    char buffer[4096];
    for (double now = nowMs(); now < until; now = nowMs()) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(until - now) + 1) <= 0)
            continue;
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        stray += static_cast<std::size_t>(n);
    }
    return stray;
}

int stamp(const std::string& stampPath, char** program) {
    winsize size{};
    if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) {
        size.ws_row = 50;
        size.ws_col = 80;
    }
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios raw = saved;
        cfmakeraw(&raw);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("COLORTERM", "truecolor", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    int master = -1;
    int slave = -1;
    const pid_t child = startOnPty(program, size, master, slave);
    if (child < 0)
        return 1;
    relayShow(master, child, stampPath);
    int status = 0;
    waitpid(child, &status, 0);
    // The show's last words (its note on a slow link) before the shell's turn.
    // (The near side is still open here, so the far side reports no hang-up.)
    char buffer[65536];
    pollfd p{master, POLLIN, 0};
    while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
        const ssize_t n = read(master, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        writeAll(STDOUT_FILENO, buffer, static_cast<std::size_t>(n));
    }
    const std::size_t stray = strayAfterEnd(slave);
    writeFile(stampPath + ".after", std::to_string(stray) + "\n");
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// --- The viewing end ---

struct ViewRun {
    double seconds = 60;
    std::string stampPath;
    std::string label;
    bool mosh = false;
    std::string device; // the link's far end, whose received bytes are counted
    double at = 0;      // the music time of the show's first frame (its --at)
    double minFps = -1; // a check: fewer frames a second, a stray byte or a hang fail
    char** client = nullptr;
};

int master = -1;

void answer(const char* bytes, std::size_t length, void*) {
    writeAll(master, bytes, length);
}

double readNumber(const std::string& path, double fallback) {
    std::ifstream in(path);
    double value = fallback;
    in >> value;
    return in ? value : fallback;
}

double deviceBytes(const std::string& device) {
    if (device.empty())
        return 0;
    return readNumber("/sys/class/net/" + device + "/statistics/rx_bytes", 0);
}

// The show's run as seen: from the stamp (the show's first frame) for
// `seconds`, then q and what comes until the client ends (at most 15 s).
struct Seen {
    double zeroMs = -1;
    std::size_t updates = 0; // frames, or mosh's bursts of output
    std::size_t framesAtZero = 0;
    std::size_t updatesAtZero = 0;
    std::size_t frames = 0; // frame ends seen while sampling
    double linkBytes = 0;
    bool ended = false;
};

void watchRun(const ViewRun& run, pid_t child, linkbench::Viewer& viewer, Seen& seen) {
    char buffer[65536];
    double lastByteMs = -1e9;
    double nextStampLookMs = 0;
    double endMs = 1e300;
    double quitDeadlineMs = 1e300;
    for (double now = nowMs(); now < quitDeadlineMs; now = nowMs()) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 1) > 0) {
            const ssize_t n = read(master, buffer, sizeof(buffer));
            if (n <= 0 && errno != EINTR && errno != EAGAIN)
                break;
            now = nowMs();
            if (n > 0 && now - lastByteMs > 3)
                ++seen.updates;
            if (n > 0) {
                lastByteMs = now;
                viewer.show(std::string(buffer, static_cast<std::size_t>(n)));
            }
        }
        if (seen.zeroMs < 0 && now >= nextStampLookMs) {
            nextStampLookMs = now + 10;
            seen.zeroMs = readNumber(run.stampPath, -1);
            if (seen.zeroMs >= 0) {
                writeAll(master, " ", 1);
                // The overlay needs a moment to come on.
                viewer.startSampling(seen.zeroMs - run.at * 1000.0, seen.zeroMs + 1000);
                endMs = seen.zeroMs + run.seconds * 1000.0;
                seen.framesAtZero = viewer.watch.frames;
                seen.updatesAtZero = seen.updates;
                seen.linkBytes = deviceBytes(run.device);
            }
        }
        if (now < endMs) {
            viewer.sample(now);
        } else if (quitDeadlineMs > 1e299) {
            seen.linkBytes = deviceBytes(run.device) - seen.linkBytes;
            seen.updates -= seen.updatesAtZero;
            seen.frames = viewer.watch.frames - seen.framesAtZero;
            writeAll(master, "q", 1);
            quitDeadlineMs = now + 15000;
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            seen.ended = true;
            break;
        }
    }
}

// Each second's worst lag, late and early, one line each: how the lag moves.
void writeTrace(const char* path, const std::vector<double>& lags) {
    std::ofstream out(path);
    constexpr std::size_t perSecond = 200;
    for (std::size_t at = 0; at < lags.size(); at += perSecond) {
        const auto end = lags.begin() + static_cast<long>(std::min(lags.size(), at + perSecond));
        const auto [low, high] = std::minmax_element(lags.begin() + static_cast<long>(at), end);
        out << at / perSecond + 1 << " s: " << *high << " late, " << *low << " early\n";
    }
}

int view(const ViewRun& run) {
    setenv("TERM", "xterm-256color", 1);
    setenv("LANG", "C.UTF-8", 1);
    setenv("MOSH_TITLE_NOPREFIX", "1", 1);
    unlink(run.stampPath.c_str());
    unlink((run.stampPath + ".after").c_str());
    winsize size{};
    size.ws_row = 50;
    size.ws_col = 80;
    int slave = -1;
    const pid_t child = startOnPty(run.client, size, master, slave);
    if (child < 0)
        return 1;
    linkbench::Viewer viewer(answer, nullptr);
    viewer.watch.titleIsFrame = run.mosh;
    Seen seen;
    watchRun(run, child, viewer, seen);
    if (!seen.ended) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    // A moment for the client's own last answers to land.
    usleep(200 * 1000);
    const int strayHere = pendingBytes(slave);
    const double strayThere = readNumber(run.stampPath + ".after", -1);
    const std::size_t updates = run.mosh ? seen.updates : seen.frames;
    const linkbench::Result result = viewer.result(run.seconds, updates);
    if (const char* trace = std::getenv("REAL_LINK_TRACE"))
        writeTrace(trace, viewer.samples());
    char extra[160];
    std::snprintf(extra, sizeof(extra),
                  "  link %6.1f KB/s  left for the shell: %d here, %.0f there%s",
                  seen.linkBytes / 1024.0 / run.seconds, strayHere, strayThere,
                  seen.ended ? "" : "  (client did not end)");
    if (!result.ran)
        std::printf("%-26s no frame came through\n", run.label.c_str());
    else
        linkbench::print(run.label.c_str(), result, extra);
    close(master);
    close(slave);
    if (run.minFps < 0)
        return result.ran ? 0 : 1;
    const bool passed =
        result.framesPerSecond >= run.minFps && strayHere == 0 && strayThere == 0 && seen.ended;
    if (!passed)
        std::printf("FAIL: wanted at least %.1f frames/s, no byte left for a shell, and the "
                    "client ended by q\n",
                    run.minFps);
    return passed ? 0 : 1;
}

} // namespace

// --- main ---

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc >= 4 && std::strcmp(argv[1], "--stamp") == 0)
        return stamp(argv[2], argv + 3);
    if (argc >= 7 && std::strcmp(argv[1], "--view") == 0) {
        ViewRun run;
        run.seconds = std::atof(argv[2]);
        run.stampPath = argv[3];
        run.label = argv[4];
        int at = 5;
        for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
            if (std::strcmp(argv[at], "--mosh") == 0)
                run.mosh = true;
            else if (std::strcmp(argv[at], "--dev") == 0 && at + 1 < argc)
                run.device = argv[++at];
            else if (std::strcmp(argv[at], "--at") == 0 && at + 1 < argc)
                run.at = std::atof(argv[++at]);
            else if (std::strcmp(argv[at], "--min-fps") == 0 && at + 1 < argc)
                run.minFps = std::atof(argv[++at]);
        }
        if (at + 1 < argc) {
            run.client = argv + at + 1;
            return view(run);
        }
    }
    std::fprintf(stderr, "usage: real_link_bench --stamp FILE PROGRAM [ARGS...]\n"
                         "       real_link_bench --view SECONDS FILE LABEL [--mosh] [--dev DEV]"
                         " [--at S] [--min-fps N] -- CLIENT [ARGS...]\n");
    return 2;
}
