// The remote viewer's screen, shared by the simulated link (link_bench) and
// the real one (real_link_bench): a terminal emulator (libvterm, 80 x 50) fed
// with what arrives, the frames and titles seen in it, and the lag of the
// frame on screen sampled every 5 ms, so how long a frame stays up counts.
//
// The show's title read-out (Space turns it on) names each frame's own music
// time in 0.1 s steps, written before the frame; with synchronized output a
// frame is shown once its end (`ESC [ ? 2026 l`) arrives. A viewer that draws
// its own screen (mosh) sends no frame ends: there each title is taken as the
// picture's time, and frames are counted by the caller.
//
// Index: the screen watch / the viewer / the report.
#pragma once

#include <vterm.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace linkbench {

// --- The screen watch ---

// What the emulator has been given: frames completed (the end of synchronized
// output) and the title before each.
struct ScreenWatch {
    const std::string frameEnd = "\x1b[?2026l";
    bool titleIsFrame = false; // a viewer without frame ends: the title is the picture's time
    std::size_t matched = 0;
    int titleState = 0; // 0 outside, 1 after ESC, 2 inside `ESC ]`
    std::string title;
    bool titleKnown = false;
    double titleTime = 0;
    bool frameKnown = false;
    double frameTime = 0; // music time of the frame on screen, s
    std::size_t frames = 0;

    void feed(const std::string& bytes) {
        for (const char c : bytes) {
            if (titleState == 2) {
                if (c == '\x07' || c == '\x1b') {
                    titleState = c == '\x1b' ? 1 : 0;
                    takeTitle();
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
                matched = 0;
                ++frames;
                frameKnown = titleKnown;
                frameTime = titleTime;
            }
        }
    }

  private:
    void takeTitle() {
        // OSC 2 from the show; OSC 0 where a viewer passes the title on as both.
        for (const char* prefix : {"2;Tempus ", "0;Tempus "}) {
            if (title.compare(0, std::strlen(prefix), prefix) == 0) {
                titleTime = std::atof(title.c_str() + std::strlen(prefix));
                titleKnown = true;
                if (titleIsFrame) {
                    frameKnown = true;
                    frameTime = titleTime;
                }
            }
        }
    }
};

// --- The viewer ---

struct Result {
    double p50 = 0; // signed, ms: above 0 the picture is behind the music
    double p90 = 0;
    double p99Size = 0; // of the lag's size
    double worstLate = 0;
    double worstEarly = 0;
    double framesPerSecond = 0;
    double kilobytesPerSecond = 0;
    bool ran = false;
    // Ended by SIGTERM and the link run on until everything arrived: bytes left
    // for the shell (answers that came after the terminal was given back),
    // and what the show said on its way out.
    std::size_t leftForShell = 0;
    std::string afterEnd;
};

inline double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[index];
}

// The emulator, what it was shown, and the lag samples. `answer` receives the
// emulator's replies to the show's queries (as a terminal writes them back).
class Viewer {
  public:
    Viewer(VTermOutputCallback answer, void* user) : vt(vterm_new(50, 80)) {
        vterm_set_utf8(vt, 1);
        VTermScreen* screen = vterm_obtain_screen(vt);
        vterm_screen_enable_altscreen(screen, 1);
        vterm_screen_reset(screen, 1);
        vterm_output_set_callback(vt, answer, user);
    }
    ~Viewer() { vterm_free(vt); }
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    void show(const std::string& bytes) {
        vterm_input_write(vt, bytes.data(), bytes.size());
        watch.feed(bytes);
        received += bytes.size();
    }
    // Samples from `fromMs` on, every 5 ms, the music time (since `musicZeroMs`)
    // minus the time of the frame on screen.
    void startSampling(double musicZeroMs, double fromMs) {
        zeroMs = musicZeroMs;
        nextSampleMs = fromMs;
        sampling = true;
    }
    void sample(double nowMs) {
        if (!sampling || !watch.frameKnown)
            return;
        if (nowMs >= nextSampleMs) {
            lags.push_back(nowMs - zeroMs - watch.frameTime * 1000.0);
            nextSampleMs += 5;
        }
    }
    Result result(double seconds, std::size_t frames) const {
        Result r;
        r.ran = !lags.empty();
        if (!r.ran)
            return r;
        std::vector<double> sizes;
        for (const double lag : lags)
            sizes.push_back(std::fabs(lag));
        r.p50 = percentile(lags, 0.5);
        r.p90 = percentile(sizes, 0.9);
        r.p99Size = percentile(sizes, 0.99);
        r.worstLate = std::max(0.0, *std::max_element(lags.begin(), lags.end()));
        r.worstEarly = std::min(0.0, *std::min_element(lags.begin(), lags.end()));
        r.framesPerSecond = static_cast<double>(frames) / seconds;
        r.kilobytesPerSecond = static_cast<double>(received) / 1024.0 / seconds;
        return r;
    }
    Result result(double seconds) const { return result(seconds, watch.frames); }
    // The lag samples in order, 5 ms apart.
    const std::vector<double>& samples() const { return lags; }

    VTerm* const vt;
    ScreenWatch watch;
    std::size_t received = 0;

  private:
    std::vector<double> lags;
    double zeroMs = 0;
    double nextSampleMs = 0;
    bool sampling = false;
};

// --- The report ---

inline void print(const char* name, const Result& r, const char* extra = "") {
    std::printf("%-26s %5.1f frames/s  lag median %+5.0f  p90 %4.0f  worst late %+5.0f"
                "  early %+5.0f ms  %6.1f KB/s%s\n",
                name, r.framesPerSecond, r.p50, r.p90, r.worstLate, r.worstEarly,
                r.kilobytesPerSecond, extra);
    std::fflush(stdout);
}

} // namespace linkbench
