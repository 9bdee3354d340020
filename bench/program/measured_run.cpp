// Runs a terminal program on a pseudo-terminal of its own and passes its output
// on to ours (a tmux pane, say), measuring what the program costs from outside:
// CPU time and peak memory of the program (wait4), the time from the start to
// its first output and to its first frame (the first synchronized-output
// start, ESC [ ? 2026 h, as it reaches the pseudo-terminal), and its output
// bytes. Keys typed on our terminal are passed on too. Not the program.
//
// Usage: measured_run [--size COLUMNS ROWS] [--timeout SECONDS] RESULT -- PROGRAM [ARGS...]
// Writes `key value` lines to RESULT when the program has ended.
#include "platform/posix/monotonic_clock.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

double secondsNow() {
    return static_cast<double>(monotonicNanoseconds()) * 1e-9;
}

void writeAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n > 0) {
            data += n;
            length -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            return;
        }
    }
}

int usage() {
    std::fprintf(stderr, "usage: measured_run [--size COLUMNS ROWS] [--timeout SECONDS] RESULT "
                         "-- PROGRAM [ARGS...]\n");
    return 2;
}

// What is measured of the program while it runs, and how it ended.
struct Measures {
    double start = 0;
    double firstOutput = -1;
    double firstFrame = -1;
    double end = 0;
    unsigned long long bytes = 0;
    unsigned long long reads = 0;
    int status = 0;
    rusage usage{};
    bool killed = false;
};

// The program's output as it comes: counted, searched for the first frame
// marker (which may arrive split over two reads: the last few bytes are
// kept) and passed on to our own output.
class OutputRelay {
  public:
    explicit OutputRelay(Measures& measures) : m(measures) {}

    void take(const char* data, std::size_t n, double now) {
        if (m.firstOutput < 0)
            m.firstOutput = now - m.start;
        m.bytes += n;
        ++m.reads;
        if (m.firstFrame < 0) {
            tail.append(data, n);
            if (tail.find(marker) != std::string::npos)
                m.firstFrame = now - m.start;
            else if (tail.size() > markerLength)
                tail.erase(0, tail.size() - markerLength);
        }
        writeAll(STDOUT_FILENO, data, n);
    }

  private:
    static constexpr const char* marker = "\x1b[?2026h";
    static constexpr std::size_t markerLength = std::char_traits<char>::length(marker);
    Measures& m;
    std::string tail;
};

// Relays the program's output to ours and our keys to it until it ends,
// ending it with SIGTERM after `timeout` seconds (SIGKILL 5 s later).
void relayUntilEnd(int master, pid_t child, bool ourTerminal, double timeout, Measures& m) {
    OutputRelay output(m);
    char buffer[65536];
    for (;;) {
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = poll(fds, ourTerminal ? 2 : 1, 50);
        const double now = secondsNow();
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0)
                output.take(buffer, static_cast<std::size_t>(n), now);
        }
        if (ourTerminal && ready > 0 && (fds[1].revents & POLLIN)) {
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0)
                writeAll(master, buffer, static_cast<std::size_t>(n));
        }
        if (wait4(child, &m.status, WNOHANG, &m.usage) == child) {
            m.end = secondsNow();
            break;
        }
        if (!m.killed && now - m.start > timeout) {
            kill(child, SIGTERM);
            m.killed = true;
        } else if (m.killed && now - m.start > timeout + 5) {
            kill(child, SIGKILL);
        }
    }
    // Whatever the program wrote last is still in the pseudo-terminal.
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0)
            break;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m.bytes += static_cast<unsigned long long>(n);
        writeAll(STDOUT_FILENO, buffer, static_cast<std::size_t>(n));
    }
}

bool writeResult(const char* path, const Measures& m) {
    std::FILE* result = std::fopen(path, "w");
    if (!result) {
        std::perror(path);
        return false;
    }
    const double wall = m.end - m.start;
    const double user =
        static_cast<double>(m.usage.ru_utime.tv_sec) + m.usage.ru_utime.tv_usec * 1e-6;
    const double system =
        static_cast<double>(m.usage.ru_stime.tv_sec) + m.usage.ru_stime.tv_usec * 1e-6;
    std::fprintf(result, "exit %d\n",
                 WIFEXITED(m.status) ? WEXITSTATUS(m.status) : 128 + WTERMSIG(m.status));
    std::fprintf(result, "timed_out %d\n", m.killed ? 1 : 0);
    std::fprintf(result, "wall_s %.3f\n", wall);
    std::fprintf(result, "user_s %.3f\n", user);
    std::fprintf(result, "system_s %.3f\n", system);
    std::fprintf(result, "cpu_percent_of_one_core %.2f\n",
                 wall > 0 ? 100.0 * (user + system) / wall : 0.0);
    std::fprintf(result, "peak_rss_kb %ld\n", m.usage.ru_maxrss);
    std::fprintf(result, "first_output_ms %.1f\n", m.firstOutput * 1000.0);
    std::fprintf(result, "first_frame_ms %.1f\n", m.firstFrame * 1000.0);
    std::fprintf(result, "output_bytes %llu\n", m.bytes);
    std::fprintf(result, "output_reads %llu\n", m.reads);
    std::fprintf(result, "voluntary_switches %ld\n", m.usage.ru_nvcsw);
    std::fprintf(result, "involuntary_switches %ld\n", m.usage.ru_nivcsw);
    std::fclose(result);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int columns = 80, rows = 50;
    double timeout = 300;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 2 < argc) {
            columns = std::atoi(argv[++i]);
            rows = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            timeout = std::atof(argv[++i]);
        } else {
            return usage();
        }
    }
    if (i + 2 >= argc || std::strcmp(argv[i + 1], "--") != 0)
        return usage();
    const char* resultPath = argv[i];
    char** command = argv + i + 2;

    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    int master = -1;
    Measures measures;
    measures.start = secondsNow();
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child < 0) {
        std::perror("forkpty");
        return 1;
    }
    if (child == 0) {
        execvp(command[0], command);
        std::perror(command[0]);
        _exit(127);
    }
    // Our own terminal (if any) passes keys through untouched while the
    // program runs; raw only once the program is there, so that no way out
    // leaves it raw.
    termios saved{};
    const bool ourTerminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (ourTerminal) {
        termios raw = saved;
        cfmakeraw(&raw);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
    relayUntilEnd(master, child, ourTerminal, timeout, measures);
    close(master);
    if (ourTerminal)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return writeResult(resultPath, measures) ? 0 : 1;
}
