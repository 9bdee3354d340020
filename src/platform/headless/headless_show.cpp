// HeadlessShow: fixed-rate frames of the real show without a terminal or audio.
#include "headless_show.h"

#include "imaging/shared_random.h"

#include <cmath>

namespace {

Platform headlessPlatform(HeadlessConsole& console, HeadlessTimer& timer, HeadlessPlayer& player) {
    return Platform{&console, &timer, &player, nullptr, false};
}

} // namespace

HeadlessShow::HeadlessShow(int framesPerSecond)
    : fps(framesPerSecond > 0 ? framesPerSecond : 100), player(&timer),
      demo(headlessPlatform(console, timer, player)) {}

bool HeadlessShow::start() {
    setSharedRandomState(1);
    timer.ticks = 0;
    nextFrame = 0;
    return demo.start();
}

std::int64_t HeadlessShow::frameAt(double seconds) const {
    return static_cast<std::int64_t>(std::ceil(seconds * fps - 1e-9));
}

bool HeadlessShow::step() {
    const std::int64_t n = nextFrame;
    // The timer gives dt; the player gives t = n / fps exactly.
    timer.ticks = static_cast<std::uint32_t>(std::llround(static_cast<double>(n) * 1000.0 / fps));
    player.setPositionSeconds(timeOf(n));
    ++nextFrame;
    return demo.step(Demo::Pacing::driven) != Demo::Step::ended;
}

bool HeadlessShow::runTo(std::int64_t index) {
    while (nextFrame <= index) {
        if (!step())
            return false;
    }
    return true;
}
