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
    // Whole milliseconds since the page opened, wrapping modulo 2^32.
    std::uint32_t now() override {
        const double ms = std::floor(emscripten_get_now());
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms > 0 ? ms : 0));
    }
    // A page cannot block: the frame loop waits for a later animation frame instead.
    void sleep(std::uint32_t) override {}
};

} // namespace

FrameTimer& pageTimer() {
    static PageTimer timer;
    return timer;
}

void reportErrorOnPage(const char* caption, const char* text, const char* detail) {
    pageShowError(caption, text, detail);
}
