// Frame cost and terminal output of the whole show: runs the real show headless
// at 100 frames per second from 0 to 141.5 s (14,150 frames), timing the work of
// each frame (clock, input, scenes, overlay; the headless present only copies
// the cells), then encodes every frame for the terminal in each colour mode.
// Prints figures; never passes or fails on time.
#include "platform/headless/headless_show.h"
#include "platform/posix/terminal/frame_encoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
    double mean = 0, median = 0, p99 = 0, max = 0;
    std::size_t count = 0;
};

Stats summarise(std::vector<double> values) {
    Stats s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values)
        sum += v;
    s.mean = sum / static_cast<double>(values.size());
    s.median = values[values.size() / 2];
    s.p99 = values[std::min(values.size() - 1, values.size() * 99 / 100)];
    s.max = values.back();
    return s;
}

void printRow(const char* name, const Stats& s) {
    std::printf("| %-26s | %6zu | %8.1f | %8.1f | %8.1f | %8.1f |\n", name, s.count, s.mean,
                s.median, s.p99, s.max);
}

// The strip group under the window's left edge at music time t.
int groupOf(double t) {
    const double column = t > 136.0 ? 1360.0 : t * 10.0;
    const int bases[] = {1360, 1180, 870, 640, 280, 0};
    for (int i = 0; i < 6; ++i)
        if (column >= bases[i])
            return 5 - i;
    return 0;
}

const char* const groupNames[6] = {"0: title, cloud",         "280: growing tree",
                                   "640: sky windows, spark", "870: rotozoom",
                                   "1180: fire and blobs",    "1360: closing picture"};

} // namespace

int main() {
    constexpr int fps = 100;
    constexpr std::int64_t lastFrame = 14150; // t = 141.5 s
    constexpr int cellCount = 80 * 50;

    HeadlessShow show(fps);
    show.console.keepFrames = false;
    if (!show.start()) {
        std::fprintf(stderr, "the show could not start\n");
        return 1;
    }

    std::vector<double> all;
    std::vector<double> byGroup[6];
    std::vector<Cell> frames;
    frames.reserve(static_cast<std::size_t>((lastFrame + 1) * cellCount));
    for (std::int64_t n = 0; n <= lastFrame; ++n) {
        const auto start = Clock::now();
        if (!show.step())
            break;
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        all.push_back(us);
        byGroup[groupOf(show.timeOf(n))].push_back(us);
        frames.insert(frames.end(), show.cells(), show.cells() + cellCount);
    }
    const std::size_t frameCount = frames.size() / cellCount;

    std::printf("## Frame work (microseconds per frame, %zu frames at %d fps)\n\n", frameCount,
                fps);
    std::printf("| %-26s | %6s | %8s | %8s | %8s | %8s |\n", "strip group", "frames", "mean",
                "median", "p99", "max");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", "----------------------------", "--------", "----------",
                "----------", "----------", "----------");
    printRow("whole show", summarise(all));
    for (int g = 0; g < 6; ++g)
        printRow(groupNames[g], summarise(byGroup[g]));

    // Terminal output of the same frames: changed cells only, against a full redraw.
    const FrameView view = layoutFrame(80, 50, 80, 50);
    std::vector<char> buffer(maxEncodedFrameBytes(cellCount));
    std::vector<Cell> shown(cellCount);
    std::vector<Cell> fresh(cellCount);
    const struct {
        ColourMode mode;
        const char* name;
    } modes[] = {{ColourMode::trueColour, "24-bit"},
                 {ColourMode::xterm256, "256 colours"},
                 {ColourMode::ansi16, "16 colours"}};
    std::printf("\n## Terminal output (bytes per frame, one write per frame)\n\n");
    std::printf("| %-12s | %10s | %10s | %10s | %12s | %12s | %12s |\n", "colour mode", "mean",
                "p99", "max", "full redraw", "encode us", "writes/frame");
    std::printf("|--------------|------------|------------|------------|--------------|"
                "--------------|--------------|\n");
    for (const auto& m : modes) {
        forgetShownCells(shown.data(), shown.size());
        std::vector<double> bytes, redraw, encodeUs;
        // The console writes a frame in one write, and nothing when nothing changed.
        std::size_t writes = 0;
        for (std::size_t f = 0; f < frameCount; ++f) {
            const Cell* cells = frames.data() + f * cellCount;
            const auto start = Clock::now();
            const std::size_t n = encodeFrame(cells, shown.data(), 80, view, f == 0, m.mode,
                                              nullptr, 80, buffer.data());
            encodeUs.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            bytes.push_back(static_cast<double>(n));
            writes += n > 0 ? 1 : 0;
            forgetShownCells(fresh.data(), fresh.size());
            redraw.push_back(static_cast<double>(encodeFrame(cells, fresh.data(), 80, view, true,
                                                             m.mode, nullptr, 80, buffer.data())));
        }
        const Stats b = summarise(bytes), r = summarise(redraw), e = summarise(encodeUs);
        std::printf("| %-12s | %10.0f | %10.0f | %10.0f | %12.0f | %12.1f | %12.3f |\n", m.name,
                    b.mean, b.p99, b.max, r.mean, e.mean,
                    static_cast<double>(writes) / static_cast<double>(frameCount));
    }
    return 0;
}
