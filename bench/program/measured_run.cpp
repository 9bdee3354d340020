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

    // Our own terminal (if any) passes keys through untouched while the program runs.
    termios saved{};
    const bool ourTerminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (ourTerminal) {
        termios raw = saved;
        cfmakeraw(&raw);
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }

    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    int master = -1;
    const double start = secondsNow();
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

    double firstOutput = -1, firstFrame = -1;
    unsigned long long bytes = 0, reads = 0;
    // The frame marker may arrive split over two reads: keep the last few bytes.
    static const char marker[] = "\x1b[?2026h";
    const std::size_t markerLength = sizeof marker - 1;
    std::string tail;
    char buffer[65536];
    int status = 0;
    rusage usage{};
    bool ended = false, killed = false;
    double endTime = 0;
    while (!ended) {
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int ready = poll(fds, ourTerminal ? 2 : 1, 50);
        const double now = secondsNow();
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) {
                if (firstOutput < 0)
                    firstOutput = now - start;
                bytes += static_cast<unsigned long long>(n);
                ++reads;
                if (firstFrame < 0) {
                    tail.append(buffer, static_cast<std::size_t>(n));
                    if (tail.find(marker) != std::string::npos)
                        firstFrame = now - start;
                    else if (tail.size() > markerLength)
                        tail.erase(0, tail.size() - markerLength);
                }
                writeAll(STDOUT_FILENO, buffer, static_cast<std::size_t>(n));
            }
        }
        if (ourTerminal && ready > 0 && (fds[1].revents & POLLIN)) {
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0)
                writeAll(master, buffer, static_cast<std::size_t>(n));
        }
        if (wait4(child, &status, WNOHANG, &usage) == child) {
            ended = true;
            endTime = secondsNow();
        } else if (!killed && now - start > timeout) {
            kill(child, SIGTERM);
            killed = true;
        } else if (killed && now - start > timeout + 5) {
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
        bytes += static_cast<unsigned long long>(n);
        writeAll(STDOUT_FILENO, buffer, static_cast<std::size_t>(n));
    }
    close(master);
    if (ourTerminal)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);

    const double wall = endTime - start;
    const double user = static_cast<double>(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec * 1e-6;
    const double system =
        static_cast<double>(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec * 1e-6;
    std::FILE* result = std::fopen(resultPath, "w");
    if (!result) {
        std::perror(resultPath);
        return 1;
    }
    std::fprintf(result, "exit %d\n",
                 WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    std::fprintf(result, "timed_out %d\n", killed ? 1 : 0);
    std::fprintf(result, "wall_s %.3f\n", wall);
    std::fprintf(result, "user_s %.3f\n", user);
    std::fprintf(result, "system_s %.3f\n", system);
    std::fprintf(result, "cpu_percent_of_one_core %.2f\n",
                 wall > 0 ? 100.0 * (user + system) / wall : 0.0);
    std::fprintf(result, "peak_rss_kb %ld\n", usage.ru_maxrss);
    std::fprintf(result, "first_output_ms %.1f\n", firstOutput * 1000.0);
    std::fprintf(result, "first_frame_ms %.1f\n", firstFrame * 1000.0);
    std::fprintf(result, "output_bytes %llu\n", bytes);
    std::fprintf(result, "output_reads %llu\n", reads);
    std::fprintf(result, "voluntary_switches %ld\n", usage.ru_nvcsw);
    std::fprintf(result, "involuntary_switches %ld\n", usage.ru_nivcsw);
    std::fclose(result);
    return 0;
}
