// The show over a slow, buffering link: the program runs on a pseudo-terminal
// whose far side is read at once into a queue without limit (as sshd and TCP
// buffers do) and forwarded at a fixed rate to a terminal emulator (libvterm),
// whose answers go straight back. Reports how far the frame on the emulator's
// screen lags behind the music at that moment, and how many frames per second
// are shown.
//
// The show runs without sound, so its music time is the monotonic clock since
// its first frame, which is drawn at 0 s (nothing is measured yet, so nothing
// is drawn ahead). Space turns the title read-out on; the title written before
// a frame names the frame's own music time (0.1 s steps). The lag of a frame
// is the music time when its end reaches the emulator minus that time.
//
// Usage: link_bench PROGRAM [SECONDS [KB/S...]]   (0 KB/s: unlimited)
//        link_bench --check PROGRAM SECONDS KB/S MAX_P99_MS
// Defaults: 20 s at 30, 100, 300 KB/s and unlimited. --check exits 1 when the
// 99th percentile of the lag is above MAX_P99_MS.
#include <vterm.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start, Clock::time_point now) {
    return std::chrono::duration<double, std::milli>(now - start).count();
}

struct Chunk {
    Clock::time_point readAt;
    std::string bytes;
    std::size_t sent = 0;
};

struct Result {
    double mean = 0; // signed: below 0 the picture is ahead of the music
    double p50 = 0;
    double p99 = 0;
    double worst = 0;
    double framesPerSecond = 0;
    double kilobytesPerSecond = 0;
    bool ran = false;
};

int master = -1;

void answer(const char* bytes, std::size_t length, void*) {
    while (length > 0) {
        const ssize_t n = write(master, bytes, length);
        if (n <= 0 && errno != EINTR)
            return;
        if (n > 0) {
            bytes += n;
            length -= static_cast<std::size_t>(n);
        }
    }
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[index];
}

Result run(const char* program, double seconds, double kilobytesPerSecond) {
    Result result;
    winsize size{};
    size.ws_row = 50;
    size.ws_col = 80;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child < 0)
        return result;
    if (child == 0) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("TERM", "xterm-256color", 1);
        setenv("COLORTERM", "truecolor", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        execl(program, program, "--silent", static_cast<char*>(nullptr));
        _exit(127);
    }

    VTerm* vt = vterm_new(50, 80);
    vterm_set_utf8(vt, 1);
    VTermScreen* screen = vterm_obtain_screen(vt);
    vterm_screen_enable_altscreen(screen, 1);
    vterm_screen_reset(screen, 1);
    vterm_output_set_callback(vt, answer, nullptr);

    const double bytesPerMs = kilobytesPerSecond * 1024.0 / 1000.0;
    const bool unlimited = kilobytesPerSecond <= 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point last = start;
    std::deque<Chunk> queue;
    double tokens = 0;
    std::vector<double> lags;
    std::size_t framesShown = 0;
    std::size_t forwarded = 0;
    // The end of a frame (synchronized output off), matched across chunks:
    // on the program's side (the first one fixes music time 0) and on the
    // emulator's side.
    const std::string frameEnd = "\x1b[?2026l";
    std::size_t matched = 0;
    std::size_t matchedRead = 0;
    bool started = false;
    Clock::time_point musicZero = start;
    // The title as it reaches the emulator: ESC ] ... BEL.
    int titleState = 0; // 0 outside, 1 after ESC, 2 inside
    std::string title;
    bool titleKnown = false;
    double titleTime = 0;
    char buffer[65536];
    bool ended = false;
    while (!ended) {
        const Clock::time_point now = Clock::now();
        if (msSince(start, now) > seconds * 1000.0)
            break;
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 1) > 0) {
            const ssize_t n = read(master, buffer, sizeof(buffer));
            if (n > 0) {
                const Clock::time_point readAt = Clock::now();
                for (ssize_t i = 0; i < n && !started; ++i) {
                    matchedRead = buffer[i] == frameEnd[matchedRead]
                                      ? matchedRead + 1
                                      : (buffer[i] == frameEnd[0] ? 1 : 0);
                    if (matchedRead == frameEnd.size()) {
                        started = true;
                        musicZero = readAt;
                        answer(" ", 1, nullptr);
                    }
                }
                queue.push_back(Chunk{readAt, std::string(buffer, static_cast<std::size_t>(n))});
            } else if (n == 0 || errno != EINTR) {
                ended = true;
            }
        }
        const Clock::time_point tick = Clock::now();
        tokens += msSince(last, tick) * bytesPerMs;
        // A link does not save up unused capacity beyond a few milliseconds.
        tokens = std::min(tokens, bytesPerMs * 5 + 1);
        last = tick;
        while (!queue.empty() && (unlimited || tokens >= 1)) {
            Chunk& chunk = queue.front();
            std::size_t n = chunk.bytes.size() - chunk.sent;
            if (!unlimited)
                n = std::min(n, static_cast<std::size_t>(tokens));
            const char* data = chunk.bytes.data() + chunk.sent;
            vterm_input_write(vt, data, n);
            for (std::size_t i = 0; i < n; ++i) {
                const char c = data[i];
                if (titleState == 2) {
                    if (c == '\x07' || c == '\x1b') {
                        titleState = c == '\x1b' ? 1 : 0;
                        const char* prefix = "2;Tempus ";
                        if (title.compare(0, std::strlen(prefix), prefix) == 0) {
                            titleTime = std::atof(title.c_str() + std::strlen(prefix));
                            titleKnown = true;
                        }
                    } else if (title.size() < 128) {
                        title.push_back(c);
                    }
                } else if (titleState == 1 && c == ']') {
                    titleState = 2;
                    title.clear();
                } else {
                    titleState = c == '\x1b' ? 1 : 0;
                }
                matched = c == frameEnd[matched] ? matched + 1 : (c == frameEnd[0] ? 1 : 0);
                if (matched == frameEnd.size()) {
                    ++framesShown;
                    if (titleKnown)
                        lags.push_back(msSince(musicZero, tick) - titleTime * 1000.0);
                    matched = 0;
                }
            }
            chunk.sent += n;
            forwarded += n;
            if (!unlimited)
                tokens -= static_cast<double>(n);
            if (chunk.sent == chunk.bytes.size())
                queue.pop_front();
        }
    }
    const double elapsed = msSince(start, Clock::now()) / 1000.0;
    kill(child, SIGTERM);
    // Keep reading so that the program's last writes do not hold it up.
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
    vterm_free(vt);

    result.ran = !lags.empty();
    double sum = 0;
    for (double& lag : lags) {
        sum += lag;
        lag = std::fabs(lag);
    }
    result.mean = lags.empty() ? 0 : sum / static_cast<double>(lags.size());
    result.p50 = percentile(lags, 0.5);
    result.p99 = percentile(lags, 0.99);
    result.worst = lags.empty() ? 0 : *std::max_element(lags.begin(), lags.end());
    result.framesPerSecond = static_cast<double>(framesShown) / elapsed;
    result.kilobytesPerSecond = static_cast<double>(forwarded) / 1024.0 / elapsed;
    return result;
}

void print(double rate, const Result& r) {
    char name[32];
    if (rate <= 0)
        std::snprintf(name, sizeof(name), "unlimited");
    else
        std::snprintf(name, sizeof(name), "%.0f KB/s", rate);
    std::printf("%-10s lag p50 %6.1f ms  p99 %6.1f ms  max %6.1f ms  mean %+6.1f ms  %5.1f frames/s"
                "  %6.1f KB/s\n",
                name, r.p50, r.p99, r.worst, r.mean, r.framesPerSecond, r.kilobytesPerSecond);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc >= 6 && std::strcmp(argv[1], "--check") == 0) {
        const double rate = std::atof(argv[4]);
        const double limit = std::atof(argv[5]);
        const Result r = run(argv[2], std::atof(argv[3]), rate);
        print(rate, r);
        if (!r.ran) {
            std::printf("FAIL: no frame came through\n");
            return 1;
        }
        if (r.p99 > limit) {
            std::printf("FAIL: lag p99 %.1f ms is above %.1f ms\n", r.p99, limit);
            return 1;
        }
        return 0;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: link_bench PROGRAM [SECONDS [KB/S...]]\n");
        return 2;
    }
    const double seconds = argc >= 3 ? std::atof(argv[2]) : 20;
    std::vector<double> rates = {30, 100, 300, 0};
    if (argc >= 4) {
        rates.clear();
        for (int i = 3; i < argc; ++i)
            rates.push_back(std::atof(argv[i]));
    }
    std::printf("The show over a buffering link, %.0f s per rate (lag: how far the frame on\n"
                "the screen is from the music, by its own time; mean below 0 is ahead):\n",
                seconds);
    for (double rate : rates)
        print(rate, run(argv[1], seconds, rate));
    return 0;
}
