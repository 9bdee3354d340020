// Pacing frames by the terminal's answers to status queries.
#include "flow_control.h"

#include <cmath>

void FlowControl::reset(std::uint32_t now) {
    answered = false;
    silent = false;
    outstanding = 0;
    lastQueryMs = now;
    forgetQueries();
    frameDelayMs = 0.0f;
    frameDelayKnown = false;
}

void FlowControl::forgetQueries() {
    queryHead = 0;
    queryCount = 0;
}

void FlowControl::querySent(std::uint32_t now, std::size_t, bool closesFrame) {
    if (closesFrame && silent) {
        forgetQueries();
        outstanding = 0;
    }
    ++outstanding;
    lastQueryMs = now;
    if (queryCount == queryCapacity) {
        queryHead = (queryHead + 1) % queryCapacity;
        --queryCount;
    }
    const int slot = (queryHead + queryCount) % queryCapacity;
    querySentMs[slot] = now;
    queryClosesFrame[slot] = closesFrame;
    ++queryCount;
}

bool FlowControl::maySend(std::uint32_t now) {
    if (outstanding <= (answered ? 0 : 1))
        return true;
    const std::uint32_t waited = now - lastQueryMs;
    if (!answered && waited >= replyWaitMs) {
        // The terminal does not answer: frames go out as they come.
        silent = true;
        outstanding = 0;
        forgetQueries();
    } else if (answered && waited >= lostReplyMs) {
        outstanding = 0;
        forgetQueries();
    }
    return silent || outstanding == 0;
}

// The answer came in after the input was last looked at (or after the query
// went out, if later) and by now: the middle of that span is the sample.
void FlowControl::answerReceived(std::uint32_t now, std::uint32_t previousPollMs) {
    if (outstanding > 0)
        --outstanding;
    answered = true;
    silent = false;
    if (queryCount == 0)
        return;
    const std::uint32_t sent = querySentMs[queryHead];
    const bool closesFrame = queryClosesFrame[queryHead];
    queryHead = (queryHead + 1) % queryCapacity;
    --queryCount;
    if (!closesFrame)
        return;
    const auto latest = static_cast<std::int32_t>(now - sent);
    auto earliest = static_cast<std::int32_t>(previousPollMs - sent);
    if (latest < 0)
        return;
    if (earliest < 0 || earliest > latest)
        earliest = 0;
    float sample = 0.5f * static_cast<float>(earliest + latest);
    const auto cap = static_cast<float>(delayCapMs);
    if (sample > cap)
        sample = cap;
    // A quarter of each new sample: one odd frame (a full redraw, a hiccup of
    // the link) moves the estimate only a little.
    if (frameDelayKnown)
        frameDelayMs += 0.25f * (sample - frameDelayMs);
    else
        frameDelayMs = sample;
    frameDelayKnown = true;
}

std::uint32_t FlowControl::presentDelayMs() const {
    if (silent || !answered || !frameDelayKnown)
        return 0;
    const auto delay = static_cast<std::uint32_t>(std::lround(frameDelayMs));
    if (delay < delayFloorMs)
        return 0;
    return delay < delayCapMs ? delay : delayCapMs;
}
