// The pacing by the terminal's answers, over simulated links: a line of a
// given rate and a delay each way, a show that offers a frame every 16 ms.
#include "platform/posix/terminal/flow_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>

namespace {

struct LinkRun {
    double framesPerSecond = 0;
    double worstQueueMs = 0; // how long a frame waited for the line, at worst
    // The same on average, over the frames from 5 s after the line slowed down.
    double settledQueueMs = 0;
    double meanDelayMs = 0; // from writing a frame to its being shown
    std::uint32_t estimateMs = 0;
};

// Runs `seconds` of frames of `frameBytes` over a line of `bytesPerMs` with
// `oneWayMs` each way; a lost answer never happens here. From `slowFromMs` on
// the line carries only `slowShare` of its rate (as a transport does after a
// loss).
LinkRun simulate(double bytesPerMs, std::uint32_t oneWayMs, std::size_t frameBytes,
                 int seconds = 20, std::uint32_t slowFromMs = ~0u, double slowShare = 1.0) {
    FlowControl flow;
    flow.reset(0);
    std::deque<std::uint32_t> answersAt;
    double lineFree = 0;
    LinkRun run;
    int frames = 0;
    int settledFrames = 0;
    double delaySum = 0;
    // The opening query: a few bytes.
    flow.querySent(0, 64, false);
    answersAt.push_back(2 * oneWayMs + 1);
    for (std::uint32_t now = 1; now < static_cast<std::uint32_t>(seconds) * 1000; ++now) {
        while (!answersAt.empty() && answersAt.front() <= now) {
            flow.answerReceived(now, now - 1);
            answersAt.pop_front();
        }
        if (now % 16 != 0 || !flow.maySend(now))
            continue;
        const double start = std::max(static_cast<double>(now), lineFree);
        if (now > 5000)
            run.worstQueueMs = std::max(run.worstQueueMs, start - now);
        if (now >= slowFromMs + 5000) {
            ++settledFrames;
            run.settledQueueMs += start - now;
        }
        const double rate = now >= slowFromMs ? bytesPerMs * slowShare : bytesPerMs;
        lineFree = start + static_cast<double>(frameBytes) / rate;
        const double shown = lineFree + oneWayMs;
        flow.querySent(now, frameBytes, true);
        answersAt.push_back(static_cast<std::uint32_t>(shown) + oneWayMs);
        if (now > 5000) {
            ++frames;
            delaySum += shown - now;
        }
    }
    run.framesPerSecond = frames / (seconds - 5.0);
    run.meanDelayMs = frames > 0 ? delaySum / frames : 0;
    if (settledFrames > 0)
        run.settledQueueMs /= settledFrames;
    run.estimateMs = flow.presentDelayMs();
    return run;
}

struct LinkCase {
    const char* link;
    double bytesPerMs;
    std::uint32_t oneWayMs;
    std::size_t frameBytes;
};

} // namespace

// Frames go out at the pace the line carries them, whatever the round trip:
// several are on their way at once, and none waits long behind the others.
TEST(FlowControl, FramesFollowTheLinesPaceNotTheRoundTrip) {
    const LinkCase cases[] = {
        {"100 ms, 2 Mbit, 5 KB frames", 250, 50, 5000},
        {"200 ms, 256 kbit, 8 KB frames", 32, 100, 8000},
        {"20 ms, 10 Mbit, 20 KB frames", 1250, 10, 20000},
        {"no delay, 30 KB/s, 10 KB frames", 30.72, 0, 10000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        const LinkRun run = simulate(c.bytesPerMs, c.oneWayMs, c.frameBytes);
        // The offered 62.5 frames/s, or what the line carries.
        const double possible = std::min(62.5, c.bytesPerMs * 1000.0 / c.frameBytes);
        EXPECT_GE(run.framesPerSecond, 0.8 * possible);
        EXPECT_LE(run.framesPerSecond, 1.01 * possible);
        // Never a backlog (once the rate is known): a frame waits for the line
        // a moment at most.
        EXPECT_LE(run.worstQueueMs, 60.0);
    }
}

// A line that slows down to a third (a transport backing off after a loss)
// while the rates measured on it say otherwise: the frames that waited tell,
// the backlog drains, and none builds up again behind the slower line. (The
// frames sent before the first of them is answered do wait: a round trip of
// frames at the old rate.)
TEST(FlowControl, ALineThatSlowsDownKeepsNoBacklog) {
    const LinkCase cases[] = {
        {"300 ms, 1 Mbit, 8 KB frames", 125, 150, 8000},
        {"100 ms, 2 Mbit, 5 KB frames", 250, 50, 5000},
        {"200 ms, 256 kbit, 4 KB frames", 32, 100, 4000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        const LinkRun run = simulate(c.bytesPerMs, c.oneWayMs, c.frameBytes, 30, 10000, 1.0 / 3);
        EXPECT_LE(run.settledQueueMs, 60.0);
        const double possible = std::min(62.5, c.bytesPerMs * 1000.0 / 3 / c.frameBytes);
        EXPECT_GE(run.framesPerSecond, 0.7 * possible);
    }
}

// The picture is drawn ahead by the time from writing to showing (the round
// trip less the answer's way back), plus half the time a frame stays up.
TEST(FlowControl, DrawsAheadByTheOneWayDelayNotTheRoundTrip) {
    const LinkRun run = simulate(250, 50, 5000);
    const double spacing = 1000.0 / run.framesPerSecond;
    EXPECT_NEAR(run.estimateMs, run.meanDelayMs + spacing / 2, 15.0);
    EXPECT_LT(run.estimateMs, 100u) << "well under the 100 ms round trip";
    // A local terminal: nothing to draw ahead for.
    EXPECT_EQ(simulate(100000, 0, 2000, 8).estimateMs, 0u);
}

// A terminal that never answers is waited for once, then frames go as they
// come; after answering, a lost answer is given up on in time.
TEST(FlowControl, UnansweringTerminalsAndLostAnswersDoNotStopTheShow) {
    FlowControl flow;
    flow.replyWaitMs = 1000;
    flow.lostReplyMs = 3000;
    flow.reset(0);
    flow.querySent(0, 64, false);
    EXPECT_TRUE(flow.maySend(10)) << "one frame ahead of the first answer";
    flow.querySent(10, 5000, true);
    EXPECT_FALSE(flow.maySend(20));
    EXPECT_TRUE(flow.maySend(1020));
    EXPECT_EQ(flow.answersDue(), 0) << "nothing to wait for at exit";
    for (std::uint32_t t = 1030; t < 1100; t += 10) {
        flow.querySent(t, 5000, true);
        EXPECT_TRUE(flow.maySend(t + 5));
    }
    // It answers after all: paced again, and a lost answer stops nothing.
    flow.answerReceived(1200, 1190);
    EXPECT_TRUE(flow.hasAnswered());
    flow.querySent(1210, 5000, true);
    flow.querySent(1220, 5000, true);
    EXPECT_FALSE(flow.maySend(2000));
    EXPECT_TRUE(flow.maySend(4300));
}
