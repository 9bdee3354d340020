// FramePacer: keeps frames at least frameSpacingMs apart on the millisecond
// timer, whose counter wraps modulo 2^32. A loop that can sleep waits out the
// rest of the spacing after each frame; one that cannot notes when each frame
// begins and asks whether the next is due.
#pragma once

#include "platform.h"

#include <cstdint>

constexpr std::uint32_t frameSpacingMs = 10;

class FramePacer {
  public:
    explicit FramePacer(FrameTimer* timer) : timer(timer) {}

    // How long sleep would wait now: what is left of the spacing since
    // lastTick, 0 after a late frame or a counter that went backwards.
    std::uint32_t waitMs() const {
        // Unsigned arithmetic: more than the spacing elapsed (or a counter that
        // went backwards) wraps to a large wait, which means no sleep at all.
        const std::uint32_t wait = lastTick - timer->now() + frameSpacingMs;
        return wait > frameSpacingMs ? 0 : wait;
    }
    // Sleeps what is left of the spacing (never after a late frame) and notes
    // the next frame's start.
    void sleep() {
        timer->sleep(waitMs());
        lastTick = timer->now();
    }
    // Notes now as a frame's start, for a loop that cannot sleep.
    void begin() { lastTick = timer->now(); }

    // Timer reading at the start of the current frame (0 before the first).
    std::uint32_t lastTick = 0;

  private:
    FrameTimer* timer;
};
