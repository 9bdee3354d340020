// Long runs of the real show on the headless platform, for the reliability
// suite: a scripted tour of every key and mouse control over the whole show,
// or several shows back to back. They run Demo::run itself (start-up, the
// paced loop, teardown), with the headless timer as the clock's time base.
// Built to be run under the sanitizers and valgrind; not a timing test.
//
// Usage: show_tour tour [SECONDS]   the tour; with SECONDS, Escape at that time
//        show_tour shows N           N plain shows back to back
// Exit code 0 when every check holds; 1 with a message otherwise.
#include "app/demo.h"
#include "imaging/shared_random.h"
#include "platform/headless/headless_platform.h"
#include "timeline/strip.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define SHOW_TOUR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SHOW_TOUR_SANITIZED 1
#endif
#endif

namespace {

// --- Input script ---

struct Step {
    std::uint32_t ms; // timer time at which the records are delivered
    bool isKey;
    std::uint16_t key;
    int column, row;
    std::uint32_t buttons, flags;
};

Step key(std::uint32_t ms, std::uint16_t code) {
    return Step{ms, true, code, 0, 0, 0, 0};
}

Step mouse(std::uint32_t ms, int column, int row, std::uint32_t buttons, std::uint32_t flags = 0) {
    return Step{ms, false, 0, column, row, buttons, flags};
}

// A read-out visit at `ms`: a pin with the right button (held and moved, then
// removed by a double click), then a left-button grab dragged away and back,
// released, and a double click that hides the read-out and resumes.
void visit(std::vector<Step>& s, std::uint32_t ms, int column, int row) {
    s.push_back(mouse(ms, column, row, mouseButton::right));
    s.push_back(mouse(ms + 20, column + 3, row + 1, mouseButton::right, mouseFlag::moved));
    s.push_back(mouse(ms + 40, column + 3, row + 1, 0));
    s.push_back(mouse(ms + 300, column, row, mouseButton::left));
    s.push_back(mouse(ms + 320, column + 6, row, mouseButton::left, mouseFlag::moved));
    s.push_back(mouse(ms + 340, column - 4, row + 2, mouseButton::left, mouseFlag::moved));
    s.push_back(mouse(ms + 360, column, row, mouseButton::left, mouseFlag::moved));
    s.push_back(mouse(ms + 380, column, row, 0));
    s.push_back(mouse(ms + 400, column, row, mouseButton::left, mouseFlag::doubleClick));
    s.push_back(mouse(ms + 420, column, row, 0));
    s.push_back(mouse(ms + 600, column + 2, row, mouseButton::right));
    s.push_back(mouse(ms + 620, column + 2, row, 0));
    s.push_back(mouse(ms + 640, column + 2, row, mouseButton::right, mouseFlag::doubleClick));
    s.push_back(mouse(ms + 660, column + 2, row, 0));
}

// Phase one (the first 7 s of timer time) tries every control; Home and Up
// then start the show over, and it plays to its end with a read-out visit and
// a spell of silence every ten seconds or so, which leave the music time where it was.
std::vector<Step> tourScript() {
    std::vector<Step> s;
    // Mouse records before the overlay is on are dropped by the console.
    s.push_back(mouse(200, 10, 10, mouseButton::left));
    s.push_back(mouse(220, 10, 10, 0));
    s.push_back(key(500, virtualKey::space));
    s.push_back(key(800, virtualKey::pageUp));
    s.push_back(key(1000, virtualKey::up));
    s.push_back(key(1300, virtualKey::pageDown));
    s.push_back(key(1400, virtualKey::right));
    s.push_back(key(1450, virtualKey::left));
    s.push_back(key(1500, virtualKey::pageDown)); // back past the start: stops at 0
    s.push_back(key(1600, virtualKey::up));
    s.push_back(key(2000, virtualKey::down)); // to the authoring marker
    s.push_back(key(2300, virtualKey::up));
    s.push_back(key(2600, virtualKey::n));
    s.push_back(key(2900, virtualKey::m));
    s.push_back(key(3000, virtualKey::n));
    s.push_back(key(3100, virtualKey::pageUp)); // paused while silent
    s.push_back(key(3200, virtualKey::up));
    s.push_back(key(3400, virtualKey::m));
    s.push_back(key(3500, 'Q')); // keys without a control
    s.push_back(key(3500, 0));
    s.push_back(key(3500, 0xFFFF));
    visit(s, 3600, 40, 25);
    // The mouse at the edges of the frame, with every button bit.
    s.push_back(mouse(4400, 0, 0, mouseButton::left));
    s.push_back(mouse(4420, 79, 49, mouseButton::left, mouseFlag::moved));
    s.push_back(mouse(4440, 79, 0, 0));
    s.push_back(mouse(4460, 0, 49, mouseButton::right));
    s.push_back(mouse(4480, 0, 49, 0xFFFFFFFF, 0xFFFFFFFF));
    s.push_back(mouse(4500, 0, 49, 0));
    s.push_back(mouse(4520, 79, 49, mouseButton::right));
    s.push_back(mouse(4540, 79, 49, 0));
    s.push_back(key(4600, virtualKey::up));
    // A burst larger than any queue, in one frame.
    for (int i = 0; i < 500; ++i)
        s.push_back(key(4700, i % 2 ? virtualKey::right : virtualKey::left));
    s.push_back(key(5000, virtualKey::home));
    s.push_back(key(7000, virtualKey::up));
    // From here the show plays from 0 to its end.
    for (std::uint32_t ms = 12000; ms < 150000; ms += 10000) {
        visit(s, ms, static_cast<int>(ms / 1000 % 70), static_cast<int>(ms / 1000 % 45));
        s.push_back(key(ms + 2000, virtualKey::n));
        s.push_back(key(ms + 3500, virtualKey::m));
    }
    return s;
}

// --- Headless console with a script ---

// Delivers the scripted records due at the timer's time, and checks every
// presented frame's music time against the timer.
class ScriptedConsole : public HeadlessConsole {
  public:
    ScriptedConsole(HeadlessTimer& timer, std::vector<Step> script)
        : timer(timer), script(std::move(script)) {}

    bool readInput(InputRecord& record) override {
        while (next < script.size() && script[next].ms <= timer.ticks) {
            const Step& s = script[next++];
            if (s.isKey)
                pressKey(s.key);
            else
                mouse(s.column, s.row, s.buttons, s.flags);
        }
        return HeadlessConsole::readInput(record);
    }

    bool present(const Cell* cells, int w, int h) override {
        ++frames;
        if (demo != nullptr) {
            const float t = demo->clock.t;
            if (!(t >= -1.0f && t <= showEndTime + 1.0f))
                ++badTimes;
            lastT = t;
            // While the music plays untouched, t is the timer's time since it started.
            if (checkDrift && !demo->clock.paused && !demo->clock.silent) {
                const double expected = (timer.ticks - startTicks) * 0.001;
                const double drift = std::fabs(static_cast<double>(t) - expected);
                if (drift > worstDrift)
                    worstDrift = drift;
            }
        }
        // Keep only the last frame, without a copy per frame growing anything.
        return HeadlessConsole::present(cells, w, h);
    }

    HeadlessTimer& timer;
    std::vector<Step> script;
    std::size_t next = 0;
    const Demo* demo = nullptr;
    bool checkDrift = false;
    std::uint32_t startTicks = 0;
    long frames = 0;
    long badTimes = 0;
    float lastT = 0;
    double worstDrift = 0;
};

Platform headlessPlatform(ConsoleBackend& console, HeadlessTimer& timer, HeadlessPlayer& player) {
    Platform platform;
    platform.console = &console;
    platform.timer = &timer;
    platform.audio = &player;
    platform.reportError = [](const char* caption, const char* text, const char*) {
        std::fprintf(stderr, "%s %s\n", caption, text);
    };
    return platform;
}

int failed(const char* what) {
    std::fprintf(stderr, "FAIL: %s\n", what);
    return 1;
}

// --- The tour ---

int runTour(double seconds) {
    std::vector<Step> script = tourScript();
    if (seconds > 0) {
        const auto end = static_cast<std::uint32_t>(seconds * 1000.0);
        std::vector<Step> kept;
        for (const Step& s : script)
            if (s.ms < end)
                kept.push_back(s);
        kept.push_back(key(end, virtualKey::escape));
        script = kept;
    }
    setSharedRandomState(1);
    consoleClosing.store(0);
    HeadlessTimer timer;
    HeadlessPlayer player(&timer);
    ScriptedConsole console(timer, script);
    auto demo = std::make_unique<Demo>(headlessPlatform(console, timer, player));
    console.demo = demo.get();
    const int code = demo->run();
    console.demo = nullptr;
    demo.reset();
    std::printf("tour: %ld frames over %.2f s of timer time, last music time %.2f s, %zu of %zu "
                "scripted events delivered\n",
                console.frames, timer.ticks * 0.001, static_cast<double>(console.lastT),
                console.next, console.script.size());
    if (code != 0)
        return failed("the show did not end normally");
    if (console.badTimes != 0)
        return failed("a frame was presented at a music time outside the show");
    if (console.next != console.script.size())
        return failed("the show ended before the script did");
    if (seconds <= 0 && !(console.lastT >= scrollStopTime))
        return failed("the show did not play to its end");
    if (player.deviceOpen || player.stream != 0)
        return failed("the music was not given back");
    return 0;
}

// --- Shows back to back ---

struct Memory {
    std::size_t heapInUse;
    long residentKb;
};

Memory memoryNow() {
    Memory m{0, 0};
    const struct mallinfo2 info = mallinfo2();
    m.heapInUse = info.uordblks + info.hblkhd;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        long size = 0, resident = 0;
        if (std::fscanf(f, "%ld %ld", &size, &resident) == 2)
            m.residentKb = resident * 4;
        std::fclose(f);
    }
    return m;
}

int runShows(int count) {
    std::vector<Memory> after;
    std::vector<long> frames;
    std::vector<Cell> firstLastFrame;
    // Output buffers are allocated by the first print: before the first measurement.
    std::printf("%d shows back to back\n", count);
    std::fflush(stdout);
    for (int n = 0; n < count; ++n) {
        setSharedRandomState(1);
        consoleClosing.store(0);
        HeadlessTimer timer;
        HeadlessPlayer player(&timer);
        ScriptedConsole console(timer, {});
        {
            auto demo = std::make_unique<Demo>(headlessPlatform(console, timer, player));
            console.demo = demo.get();
            console.checkDrift = true;
            if (demo->run() != 0)
                return failed("a show did not end normally");
            console.demo = nullptr;
        }
        frames.push_back(console.frames);
        if (n == 0)
            firstLastFrame = console.lastFrame;
        else if (console.lastFrame.size() != firstLastFrame.size() ||
                 std::memcmp(console.lastFrame.data(), firstLastFrame.data(),
                             firstLastFrame.size() * sizeof(Cell)) != 0)
            return failed("a later show ended on another picture than the first");
        after.push_back(memoryNow());
        std::printf("show %d: %ld frames, %.1f s of timer time, last music time %.3f s, "
                    "clock off the timer by at most %.4f s; heap in use %zu bytes, "
                    "resident %ld KB\n",
                    n + 1, console.frames, timer.ticks * 0.001, static_cast<double>(console.lastT),
                    console.worstDrift, after.back().heapInUse, after.back().residentKb);
        // One frame of music time is 10 ms; the clock must keep to the timer
        // within the float precision of t (about 8 microseconds at 142 s).
        if (console.worstDrift > 0.0005)
            return failed("the clock drifted from the timer");
        if (console.frames != frames.front())
            return failed("a show ran a different number of frames");
    }
#ifndef SHOW_TOUR_SANITIZED
    // Everything a show allocates is given back when it ends. Resident memory
    // may settle once (the allocator keeps some freed pages after the first
    // show), then stays.
    for (int n = 1; n < count; ++n) {
        if (after[n].heapInUse > after[0].heapInUse + 4096)
            return failed("the heap grows from show to show");
        if (n >= 2 && after[n].residentKb > after[1].residentKb + 256)
            return failed("resident memory grows from show to show");
    }
#endif
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "tour") == 0)
        return runTour(argc >= 3 ? std::atof(argv[2]) : 0.0);
    if (argc >= 3 && std::strcmp(argv[1], "shows") == 0)
        return runShows(std::atoi(argv[2]));
    std::fprintf(stderr, "usage: show_tour tour [SECONDS] | show_tour shows N\n");
    return 2;
}
