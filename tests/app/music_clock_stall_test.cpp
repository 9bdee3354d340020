// The music clock over a sound device that stops: a position that stands
// still while the stream plays hands t to the timer, without a jump and never
// backwards, and when the position moves again the stream is sent to t. A
// device that is slow to start is given longer before that happens; a seek or
// a resume over a device that stopped keeps t on the timer until it moves.
#include "app/music_clock.h"
#include "platform/headless/headless_platform.h"

#include <gtest/gtest.h>

namespace {

// A stream whose position the test moves by hand, as a device that may stop.
class StoppingPlayer : public AudioPlayer {
  public:
    bool audioOpen(std::uint32_t) override { return true; }
    void audioClose() override {}
    std::uint32_t streamCreateFromMemory(const void*, std::uint32_t) override { return 1; }
    bool streamPlay(std::uint32_t, bool) override { return true; }
    bool streamPause(std::uint32_t) override { return true; }
    std::uint64_t streamGetPosition(std::uint32_t) override { return frames * 4; }
    bool streamSetPosition(std::uint32_t, std::uint64_t bytes) override {
        frames = bytes / 4;
        ++setPositionCalls;
        return true;
    }
    double streamBytesToSeconds(std::uint32_t, std::uint64_t bytes) override {
        const std::uint64_t frames = bytes / 4;
        return static_cast<double>(frames) / 44100.0;
    }
    std::uint64_t streamSecondsToBytes(std::uint32_t, float seconds) override {
        return static_cast<std::uint64_t>(static_cast<double>(seconds) * 44100.0) * 4;
    }
    bool streamFree(std::uint32_t) override { return true; }

    std::uint64_t frames = 0;
    int setPositionCalls = 0;
};

class StallingClock : public ::testing::Test {
  protected:
    void SetUp() override {
        ByteBlob blob(bytes, sizeof bytes);
        ASSERT_TRUE(clock.startFromMemory(blob));
    }
    // One 10 ms frame; the device plays on when `playing`.
    void frame(bool playing) {
        timer.ticks += 10;
        if (playing)
            player.frames += 441;
        clock.update();
    }

    const unsigned char bytes[4] = {1, 2, 3, 4};
    HeadlessTimer timer;
    StoppingPlayer player;
    MusicClock clock{&player, &timer};
};

TEST_F(StallingClock, AStoppedDeviceHandsTToTheTimerAndTakesItBackWhenItMoves) {
    for (int i = 0; i < 200; ++i)
        frame(true);
    EXPECT_NEAR(clock.t, 2.0f, 1e-4f);
    EXPECT_FALSE(clock.onTimer());

    // The server stops: t stands for the stall limit, then runs on from there.
    float previous = clock.t;
    const float stoppedAt = clock.t;
    for (int i = 0; i < 100; ++i) {
        frame(false);
        ASSERT_GE(clock.t, previous);
        ASSERT_LE(clock.t - previous, 0.0101f) << "t jumped at frame " << i;
        previous = clock.t;
    }
    EXPECT_TRUE(clock.onTimer());
    const float limit = MusicClock::stallLimitMs / 1000.0f;
    EXPECT_NEAR(clock.t, stoppedAt + 1.0f - limit, 0.011f);

    // The server wakes up where it stopped: the stream is sent to t, which
    // neither jumps back nor stands, and the position leads t again.
    const float beforeWake = clock.t;
    frame(true);
    EXPECT_EQ(player.setPositionCalls, 1);
    EXPECT_GE(clock.t, beforeWake);
    EXPECT_NEAR(static_cast<double>(player.frames) / 44100.0, clock.t, 0.001);
    EXPECT_FALSE(clock.onTimer());
    for (int i = 0; i < 10; ++i) {
        previous = clock.t;
        frame(true);
        EXPECT_GT(clock.t, previous);
    }
    EXPECT_NEAR(clock.t, beforeWake + 0.11f, 0.002f);
}

TEST_F(StallingClock, ASlowStartIsWaitedForLongerThanAStop) {
    // No movement at first, for less than the start limit: t waits at 0.
    const int waitFrames = static_cast<int>(MusicClock::startStallLimitMs / 10) - 20;
    for (int i = 0; i < waitFrames; ++i)
        frame(false);
    EXPECT_EQ(clock.t, 0.0f);
    EXPECT_FALSE(clock.onTimer());
    frame(true);
    EXPECT_NEAR(clock.t, 0.01f, 1e-4f);
    EXPECT_EQ(player.setPositionCalls, 0);

    // A device that never starts at all: the show goes on without it.
    clock.seek(5.0f);
    for (int i = 0; i < static_cast<int>(MusicClock::startStallLimitMs / 10) + 50; ++i)
        frame(false);
    EXPECT_TRUE(clock.onTimer());
    EXPECT_NEAR(clock.t, 5.5f, 0.03f);
}

TEST_F(StallingClock, SeeksAndResumesOverAStoppedDeviceKeepTOnTheTimer) {
    for (int i = 0; i < 100; ++i)
        frame(true);
    for (int i = 0; i < 60; ++i)
        frame(false);
    ASSERT_TRUE(clock.onTimer());

    // A seek or a resume while the device stands: t runs on from the target
    // at once, rather than standing for the first-movement wait.
    clock.seek(20.0f);
    frame(false);
    EXPECT_TRUE(clock.onTimer());
    EXPECT_NEAR(clock.t, 20.01f, 1e-4f);
    clock.setPaused(true);
    frame(false);
    clock.setPaused(false);
    for (int i = 0; i < 10; ++i)
        frame(false);
    EXPECT_NEAR(clock.t, 20.11f, 1e-3f);
    clock.setSilent(true);
    clock.setSilent(false);
    frame(false);
    EXPECT_NEAR(clock.t, 20.12f, 1e-3f);

    // The device moves again: the stream is sent to t and leads it from there.
    frame(true);
    EXPECT_FALSE(clock.onTimer());
    EXPECT_NEAR(clock.t, 20.13f, 1e-3f);

    // A pause longer than any limit is not a stall.
    clock.setPaused(true);
    for (int i = 0; i < 400; ++i)
        frame(false);
    clock.setPaused(false);
    frame(true);
    EXPECT_FALSE(clock.onTimer());
    EXPECT_NEAR(clock.t, 20.14f, 1e-3f);
}

} // namespace
