// A link emulator between two TUN devices: each IP packet read from one is
// written to the other after the line has sent it (serialised at the link's
// rate behind the packets before it), half the round trip later. The queue
// before the line is bounded in bytes like a router's and drops at the tail;
// a share of packets is lost at random. Both directions are alike.
//
// Usage: tun_link DEV_A DEV_B RTT_MS KBIT/S LOSS% [QUEUE_BYTES]
// Creates the two devices (which the caller then moves into namespaces and
// configures: a TUN descriptor keeps working after its device moves), prints
// "ready" and runs until SIGTERM or SIGINT; then prints the packets and bytes
// carried and dropped each way.
#include <linux/if_tun.h>
#include <net/if.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t stopping = 0;

void onStop(int) {
    stopping = 1;
}

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

int openTun(const char* name) {
    const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
    if (ioctl(fd, TUNSETIFF, &request) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct Packet {
    double arriveMs;
    std::vector<char> bytes;
};

// One direction: packets from `from` wait for the line, travel, and are
// written to `to` in order.
class Direction {
  public:
    Direction(int from, int to, double oneWayMs, double bytesPerMs, double loss, double queueBytes,
              unsigned seed)
        : from(from), to(to), oneWayMs(oneWayMs), bytesPerMs(bytesPerMs), loss(loss),
          queueBytes(queueBytes), random(seed) {}

    // Takes every packet waiting on `from`.
    void take() {
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(from, buffer, sizeof(buffer));
            if (n <= 0)
                return;
            const double now = nowMs();
            const auto size = static_cast<double>(n);
            // What is still waiting for the line, in bytes.
            const double backlog =
                bytesPerMs > 0 ? std::max(0.0, lineFreeMs - now) * bytesPerMs : 0;
            if (backlog + size > queueBytes) {
                ++dropped;
                continue;
            }
            const double start = std::max(now, lineFreeMs);
            lineFreeMs = bytesPerMs > 0 ? start + size / bytesPerMs : start;
            if (loss > 0 && std::uniform_real_distribution<double>(0, 1)(random) < loss) {
                ++lost;
                continue;
            }
            queue.push_back(Packet{lineFreeMs + oneWayMs, std::vector<char>(buffer, buffer + n)});
        }
    }
    // Writes what has arrived by now; returns the ms until the next arrival
    // (-1: nothing on its way).
    double deliver() {
        const double now = nowMs();
        while (!queue.empty() && queue.front().arriveMs <= now) {
            const std::vector<char>& bytes = queue.front().bytes;
            if (write(to, bytes.data(), bytes.size()) > 0) {
                ++packets;
                carried += bytes.size();
            }
            queue.pop_front();
        }
        return queue.empty() ? -1 : queue.front().arriveMs - now;
    }
    void report(const char* name) const {
        std::printf("%s: %zu packets, %zu bytes carried; %zu dropped at the queue, %zu lost\n",
                    name, packets, carried, dropped, lost);
    }

  private:
    int from;
    int to;
    double oneWayMs;
    double bytesPerMs; // 0: unlimited
    double loss;
    double queueBytes;
    std::mt19937 random;
    double lineFreeMs = 0;
    std::deque<Packet> queue;
    std::size_t packets = 0;
    std::size_t carried = 0;
    std::size_t dropped = 0;
    std::size_t lost = 0;
};

void run(int a, int b, Direction& aToB, Direction& bToA) {
    while (!stopping) {
        const double untilAB = aToB.deliver();
        const double untilBA = bToA.deliver();
        double wait = 100;
        for (const double until : {untilAB, untilBA})
            if (until >= 0)
                wait = std::min(wait, until);
        const auto ns = static_cast<long>(std::max(0.0, wait) * 1e6);
        const timespec timeout{ns / 1000000000L, ns % 1000000000L};
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (ppoll(fds, 2, &timeout, nullptr) < 0 && errno != EINTR)
            return;
        if (fds[0].revents & POLLIN)
            aToB.take();
        if (fds[1].revents & POLLIN)
            bToA.take();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: tun_link DEV_A DEV_B RTT_MS KBIT/S LOSS%% [QUEUE_BYTES]\n");
        return 2;
    }
    const double oneWay = std::atof(argv[3]) / 2;
    const double bytesPerMs = std::atof(argv[4]) / 8.0;
    const double loss = std::atof(argv[5]) / 100;
    const double queueBytes = argc >= 7 ? std::atof(argv[6]) : 100 * 1024;
    const int a = openTun(argv[1]);
    const int b = a >= 0 ? openTun(argv[2]) : -1;
    if (b < 0) {
        std::fprintf(stderr, "tun_link: cannot create %s and %s: %s\n", argv[1], argv[2],
                     std::strerror(errno));
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    Direction aToB(a, b, oneWay, bytesPerMs, loss, queueBytes, 41);
    Direction bToA(b, a, oneWay, bytesPerMs, loss, queueBytes, 42);
    std::printf("ready\n");
    std::fflush(stdout);
    run(a, b, aToB, bToA);
    aToB.report("a to b");
    bToA.report("b to a");
    return 0;
}
