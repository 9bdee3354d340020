// The show over a remote link: the program runs on a pseudo-terminal whose far
// side is read at once into a queue without limit (as sshd and TCP buffers do)
// and carried to a terminal emulator (libvterm) over a link with a delay each
// way, a rate and a loss; the emulator's answers come back over the same delay.
// The screen is sampled every few milliseconds: each sample compares the music
// time with the time of the frame on screen, so how long a frame stays up
// counts. Reports frames shown per second and the lag's median, 90th
// percentile, worst late and worst early.
//
// The show runs without sound, so its music time is the monotonic clock since
// its first frame left the program (drawn at 0 s). Space turns the title
// read-out on; the title written before a frame names the frame's own time
// (0.1 s steps, so each sample is within 50 ms of the truth). With synchronized
// output a frame is shown once its last byte arrives. A lost packet arrives
// after a retransmission (one round trip, at least 200 ms, later), and holds
// up everything behind it, as on TCP.
//
// Usage: link_bench PROGRAM [SECONDS]                 (the links below)
//        link_bench PROGRAM SECONDS RTT_MS KBIT/S LOSS% [-C]
//                                     (one link; 0 kbit/s: unlimited; -C: as ssh -C)
//        link_bench --check PROGRAM SECONDS KB/S MAX_P99_MS [RTT_MS]
// --check (KB/S, and no delay unless RTT_MS is given) exits 1 when the 99th
// percentile of the lag's size is above MAX_P99_MS, or the way out left bytes
// for the shell or said nothing of the slow link.
//
// Index: the link / one run / the report.
#include "viewer.h"

#include <vterm.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using linkbench::Result;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start, Clock::time_point now) {
    return std::chrono::duration<double, std::milli>(now - start).count();
}

// --- The link ---

struct LinkSpec {
    const char* name;
    double roundTripMs;
    double kilobitsPerSecond; // 0: unlimited
    double lossPercent;
    bool compressed = false; // as ssh -C: zlib over the stream, flushed with each write
};

struct Segment {
    double arriveMs; // since the run's start
    std::string bytes;
};

// One direction of the link: bytes wait for the line (the rate), travel the
// one-way delay, and arrive in order. The queue before the line has no limit.
// A compressed direction (ssh -C) deflates each write as it is sent, flushed
// at its end; what goes over the line is the compressed size, and the write
// arrives whole with its last segment.
class Direction {
  public:
    Direction(double oneWayMs, double bytesPerMs, double loss, unsigned seed, bool compressed)
        : oneWayMs(oneWayMs), bytesPerMs(bytesPerMs), loss(loss), random(seed),
          compressed(compressed) {
        if (compressed)
            deflateInit(&zlib, 6);
    }
    ~Direction() {
        if (compressed)
            deflateEnd(&zlib);
    }
    Direction(const Direction&) = delete;
    Direction& operator=(const Direction&) = delete;

    void send(double nowMs, const char* data, std::size_t length) {
        // Packets of at most one TCP segment's payload.
        constexpr std::size_t segmentBytes = 1448;
        const std::size_t wire = compressed ? deflatedSize(data, length) : length;
        for (std::size_t at = 0; at < wire; at += segmentBytes) {
            const std::size_t n = std::min(segmentBytes, wire - at);
            const double start = std::max(nowMs, lineFreeMs);
            lineFreeMs = bytesPerMs > 0 ? start + static_cast<double>(n) / bytesPerMs : start;
            double arrive = lineFreeMs + oneWayMs;
            if (loss > 0 && std::uniform_real_distribution<double>(0, 1)(random) < loss)
                arrive += std::max(200.0, 2 * oneWayMs);
            arrive = std::max(arrive, lastArriveMs);
            lastArriveMs = arrive;
            if (!compressed)
                queue.push_back(Segment{arrive, std::string(data + at, n)});
            else if (at + n >= wire)
                queue.push_back(Segment{arrive, std::string(data, length)});
        }
    }
    // The bytes arrived by `nowMs`, oldest first.
    template <typename Take> void deliver(double nowMs, Take take) {
        while (!queue.empty() && queue.front().arriveMs <= nowMs) {
            take(queue.front().bytes);
            queue.pop_front();
        }
    }
    std::size_t queued() const { return queue.size(); }

  private:
    std::size_t deflatedSize(const char* data, std::size_t length) {
        std::size_t size = 0;
        zlib.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        zlib.avail_in = static_cast<uInt>(length);
        do {
            zlib.next_out = scratch;
            zlib.avail_out = sizeof(scratch);
            deflate(&zlib, Z_SYNC_FLUSH);
            size += sizeof(scratch) - zlib.avail_out;
        } while (zlib.avail_out == 0);
        return size;
    }

    double oneWayMs;
    double bytesPerMs;
    double loss;
    std::mt19937 random;
    bool compressed;
    z_stream zlib{};
    Bytef scratch[16384];
    double lineFreeMs = 0;
    double lastArriveMs = 0;
    std::deque<Segment> queue;
};

// --- One run ---

int master = -1;
// The terminal's far side as the user's shell holds it: answers that come
// after the show wait here.
int shellSide = -1;

struct Answers {
    Direction* up;
    double nowMs;
};

void answer(const char* bytes, std::size_t length, void* user) {
    auto* answers = static_cast<Answers*>(user);
    answers->up->send(answers->nowMs, bytes, length);
}

void writeAll(int fd, const std::string& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0 && errno != EINTR)
            return;
        if (n > 0)
            at += static_cast<std::size_t>(n);
    }
}

pid_t startProgram(const char* program, bool overSsh) {
    winsize size{};
    size.ws_row = 50;
    size.ws_col = 80;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("TERM", "xterm-256color", 1);
        setenv("COLORTERM", "truecolor", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        if (overSsh)
            setenv("SSH_CONNECTION", "10.0.0.1 50000 10.0.0.2 22", 1);
        else
            unsetenv("SSH_CONNECTION");
        execl(program, program, "--silent", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child > 0)
        shellSide = open(ptsname(master), O_RDWR | O_NOCTTY);
    return child;
}

void stopProgram(pid_t child) {
    kill(child, SIGTERM);
    // Keep reading so that the program's last writes do not hold it up.
    char buffer[65536];
    for (int i = 0; i < 300; ++i) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            break;
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 10) > 0 && read(master, buffer, sizeof(buffer)) <= 0)
            break;
        if (i == 299) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
    }
    close(master);
    if (shellSide >= 0)
        close(shellSide);
    shellSide = -1;
}

// Ends the show with SIGTERM and runs the link on until everything has
// arrived both ways (at most 10 s): what reached the screen after the end, and
// the bytes the shell would find waiting on its input.
void endOverTheLink(pid_t child, Direction& down, Direction& up, Answers& answers, VTerm* vt,
                    Clock::time_point start, Result& result) {
    kill(child, SIGTERM);
    bool exited = false;
    double quietSinceMs = -1;
    char buffer[65536];
    const double untilMs = msSince(start, Clock::now()) + 10000;
    for (double now = msSince(start, Clock::now()); now < untilMs;
         now = msSince(start, Clock::now())) {
        int status = 0;
        exited = exited || waitpid(child, &status, WNOHANG) == child;
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 1) > 0) {
            const ssize_t n = read(master, buffer, sizeof(buffer));
            if (n > 0)
                down.send(msSince(start, Clock::now()), buffer, static_cast<std::size_t>(n));
        }
        answers.nowMs = now;
        down.deliver(now, [&](const std::string& bytes) {
            vterm_input_write(vt, bytes.data(), bytes.size());
            result.afterEnd += bytes;
        });
        up.deliver(now, [&](const std::string& bytes) { writeAll(master, bytes); });
        const bool quiet = exited && down.queued() == 0 && up.queued() == 0;
        if (!quiet)
            quietSinceMs = -1;
        else if (quietSinceMs < 0)
            quietSinceMs = now;
        else if (now - quietSinceMs > 500)
            break;
    }
    int pending = 0;
    if (shellSide >= 0 && ioctl(shellSide, FIONREAD, &pending) == 0)
        result.leftForShell = static_cast<std::size_t>(pending);
}

Result run(const char* program, double seconds, const LinkSpec& link, bool endBySignal = false) {
    const pid_t child = startProgram(program, endBySignal);
    if (child < 0)
        return Result{};
    const double oneWay = link.roundTripMs / 2;
    Direction down(oneWay, link.kilobitsPerSecond * 1000.0 / 8.0 / 1000.0, link.lossPercent / 100,
                   24, link.compressed);
    Direction up(oneWay, 0, 0, 25, false);
    Answers answers{&up, 0};
    linkbench::Viewer viewer(answer, &answers);

    const Clock::time_point start = Clock::now();
    // The program's first frame end fixes music time 0.
    const std::string frameEnd = "\x1b[?2026l";
    std::size_t matchedRead = 0;
    bool started = false;
    double endMs = seconds * 1000.0;
    char buffer[65536];
    for (;;) {
        double now = msSince(start, Clock::now());
        if (now > endMs)
            break;
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 1) > 0) {
            const ssize_t n = read(master, buffer, sizeof(buffer));
            if (n <= 0 && errno != EINTR)
                break;
            now = msSince(start, Clock::now());
            for (ssize_t i = 0; i < n && !started; ++i) {
                matchedRead = buffer[i] == frameEnd[matchedRead]
                                  ? matchedRead + 1
                                  : (buffer[i] == frameEnd[0] ? 1 : 0);
                if (matchedRead == frameEnd.size()) {
                    started = true;
                    // The overlay needs a moment to come on.
                    viewer.startSampling(now, now + 1000);
                    endMs = now + seconds * 1000.0;
                    up.send(now, " ", 1);
                }
            }
            if (n > 0)
                down.send(now, buffer, static_cast<std::size_t>(n));
        }
        now = msSince(start, Clock::now());
        answers.nowMs = now;
        down.deliver(now, [&](const std::string& bytes) { viewer.show(bytes); });
        up.deliver(now, [&](const std::string& bytes) { writeAll(master, bytes); });
        viewer.sample(now);
    }
    Result ending;
    if (endBySignal)
        endOverTheLink(child, down, up, answers, viewer.vt, start, ending);
    stopProgram(child);
    Result result = viewer.result(seconds);
    result.leftForShell = ending.leftForShell;
    result.afterEnd = ending.afterEnd;
    return result;
}

// --- The report ---

void print(const LinkSpec& link, const Result& r) {
    linkbench::print(link.name, r);
}

// --check PROGRAM SECONDS KB/S MAX_P99_MS [RTT_MS]: the lag, and the way out
// over the same link (SIGTERM, as an ssh session): no answer left for the
// shell, none echoed, and the note on the slow link said.
int check(int argc, char** argv) {
    const double roundTrip = argc >= 7 ? std::atof(argv[6]) : 0;
    const LinkSpec link{"check", roundTrip, std::atof(argv[4]) * 1024 * 8 / 1000, 0};
    const double limit = std::atof(argv[5]);
    const Result r = run(argv[2], std::atof(argv[3]), link, true);
    print(link, r);
    bool failed = false;
    if (!r.ran) {
        std::printf("FAIL: no frame came through\n");
        return 1;
    }
    if (r.p99Size > limit) {
        std::printf("FAIL: lag p99 %.1f ms is above %.1f ms\n", r.p99Size, limit);
        failed = true;
    }
    if (r.leftForShell > 0 || r.afterEnd.find("^[") != std::string::npos) {
        std::printf("FAIL: %zu bytes of answers left for the shell%s\n", r.leftForShell,
                    r.afterEnd.find("^[") != std::string::npos ? ", an answer echoed" : "");
        failed = true;
    }
    if (r.framesPerSecond < 10 && r.afterEnd.find("ssh -C") == std::string::npos) {
        std::printf("FAIL: no note on the slow link after the show\n");
        failed = true;
    }
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc >= 6 && std::strcmp(argv[1], "--check") == 0)
        return check(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: link_bench PROGRAM [SECONDS [RTT_MS KBIT/S LOSS%%]]\n");
        return 2;
    }
    const double seconds = argc >= 3 ? std::atof(argv[2]) : 30;
    std::vector<LinkSpec> links = {
        {"20 ms, 10 Mbit", 20, 10000, 0},
        {"100 ms, 2 Mbit", 100, 2000, 0},
        {"200 ms, 256 kbit", 200, 256, 0},
        {"300 ms, 1 Mbit, 1 % loss", 300, 1000, 1},
        {"30 KB/s, no delay", 0, 30 * 1024 * 8 / 1000.0, 0},
        {"200 ms, 256 kbit, ssh -C", 200, 256, 0, true},
        {"300 ms, 1 Mbit, 1 %, ssh -C", 300, 1000, 1, true},
        {"30 KB/s, ssh -C", 0, 30 * 1024 * 8 / 1000.0, 0, true},
    };
    if (argc >= 6)
        links = {{"the link asked for", std::atof(argv[3]), std::atof(argv[4]), std::atof(argv[5]),
                  argc >= 7 && std::strcmp(argv[6], "-C") == 0}};
    std::printf("The show over a remote link, %.0f s per link (lag: music time minus the time\n"
                "of the frame on screen, sampled every 5 ms; p90 of its size):\n",
                seconds);
    for (const LinkSpec& link : links)
        print(link, run(argv[1], seconds, link));
    return 0;
}
