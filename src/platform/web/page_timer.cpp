// The page's millisecond timer (performance.now) and the error report.
#include "platform/web/web_platform.h"

#include <emscripten/emscripten.h>

#include <cmath>

// clang-format off
EM_JS(void, pageShowError, (const char* caption, const char* text, const char* detail), {
    var message = UTF8ToString(caption) + " " + UTF8ToString(text);
    if (Module.showError)
        Module.showError(message, detail ? UTF8ToString(detail) : "");
});
// clang-format on

namespace {

class PageTimer : public FrameTimer {
  public:
    // Whole milliseconds since the page opened, wrapping modulo 2^32. Inside
    // an animation frame this is the frame's own time, so that the frame
    // times (dt) follow the display's frames rather than when each callback
    // happened to run on a busy page; it never goes backwards.
    std::uint32_t now() override {
        double ms = frameMs >= 0 ? frameMs : emscripten_get_now();
        if (ms < lastMs)
            ms = lastMs;
        lastMs = ms;
        ms = std::floor(ms);
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms > 0 ? ms : 0));
    }
    // A page cannot block: the frame loop waits for a later animation frame instead.
    void sleep(std::uint32_t) override {}

    double frameMs = -1; // the animation frame's time, or -1 outside one
    double lastMs = 0;
};

PageTimer& timer() {
    static PageTimer instance;
    return instance;
}

} // namespace

FrameTimer& pageTimer() {
    return timer();
}

void setPageFrameTime(double ms) {
    timer().frameMs = ms;
}

void reportErrorOnPage(const char* caption, const char* text, const char* detail) {
    pageShowError(caption, text, detail);
}
