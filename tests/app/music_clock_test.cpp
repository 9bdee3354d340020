// MusicClock against a scripted player (what it asks of the audio library) and
// the headless player and timer (how t moves): dt's floor and wrap, pausing
// and seeking, silent mode, release, and the process-wide audio set-up.
#include "app/music_clock.h"
#include "platform/headless/headless_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::_;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::StrictMock;

class MockPlayer : public AudioPlayer {
  public:
    MOCK_METHOD(bool, audioOpen, (std::uint32_t), (override));
    MOCK_METHOD(void, audioClose, (), (override));
    MOCK_METHOD(std::uint32_t, streamCreateFromMemory, (const void*, std::uint32_t), (override));
    MOCK_METHOD(bool, streamPlay, (std::uint32_t, bool), (override));
    MOCK_METHOD(bool, streamPause, (std::uint32_t), (override));
    MOCK_METHOD(std::uint64_t, streamGetPosition, (std::uint32_t), (override));
    MOCK_METHOD(bool, streamSetPosition, (std::uint32_t, std::uint64_t), (override));
    MOCK_METHOD(double, streamBytesToSeconds, (std::uint32_t, std::uint64_t), (override));
    MOCK_METHOD(std::uint64_t, streamSecondsToBytes, (std::uint32_t, float), (override));
    MOCK_METHOD(bool, streamFree, (std::uint32_t), (override));
};

const std::uint8_t trackBytes[32] = {1};

// The clock on the headless player, started at tick `start`.
struct HeadlessShow {
    explicit HeadlessShow(std::uint32_t start = 1000) {
        timer.ticks = start;
        EXPECT_TRUE(clock.startFromMemory(blob));
    }
    // Lets `ms` milliseconds pass and runs one frame's update.
    void frame(std::uint32_t ms) {
        timer.ticks += ms;
        clock.update();
    }
    HeadlessTimer timer;
    HeadlessPlayer player{&timer};
    ByteBlob blob{trackBytes, sizeof trackBytes};
    MusicClock clock{&player, &timer};
};

double secondsAt(HeadlessPlayer& player) {
    return player.streamBytesToSeconds(1, player.streamGetPosition(1));
}

} // namespace

// --- dt ---

TEST(MusicClockDt, NeverZeroAndTrueAcrossTheCounterWrap) {
    HeadlessShow show(0xFFFFFFF0u);
    show.frame(0); // the same millisecond
    EXPECT_EQ(show.clock.dt, 0.001f);
    show.frame(32); // wraps past 2^32
    EXPECT_EQ(show.timer.ticks, 0x10u);
    EXPECT_FLOAT_EQ(show.clock.dt, 0.032f);
    EXPECT_NEAR(show.clock.t, 0.032f, 1.0 / 44100);

    // Timer-driven time across the wrap is continuous too.
    show.clock.setSilent(true);
    show.timer.ticks = 0xFFFFFF00u;
    show.clock.seek(5.0f);
    show.frame(0x200);
    EXPECT_FLOAT_EQ(show.clock.t, 5.512f);
}

TEST(MusicClockDt, RefreshedWhilePausedWhileTStands) {
    HeadlessShow show;
    show.frame(500);
    show.clock.setPaused(true);
    const float frozen = show.clock.t;
    show.frame(25);
    EXPECT_FLOAT_EQ(show.clock.dt, 0.025f);
    show.frame(40);
    EXPECT_FLOAT_EQ(show.clock.dt, 0.040f);
    EXPECT_EQ(show.clock.t, frozen);
}

// --- Pause and seek ---

TEST(MusicClockPause, SeeksWhilePausedOnlyMoveTAndTheSoundResumesAtTheLastTarget) {
    StrictMock<MockPlayer> player;
    HeadlessTimer timer;
    MusicClock clock(&player, &timer);
    ByteBlob blob(trackBytes, sizeof trackBytes);
    {
        InSequence order;
        EXPECT_CALL(player, streamCreateFromMemory(trackBytes, sizeof trackBytes))
            .WillOnce(Return(7u));
        EXPECT_CALL(player, streamPlay(7u, true)).WillOnce(Return(true));
        EXPECT_CALL(player, streamPause(7u)).WillOnce(Return(true));
        // Nothing reaches the stream during the three seeks.
        EXPECT_CALL(player, streamSecondsToBytes(7u, 30.5f)).WillOnce(Return(5380200u));
        EXPECT_CALL(player, streamSetPosition(7u, 5380200u)).WillOnce(Return(true));
        EXPECT_CALL(player, streamPlay(7u, false)).WillOnce(Return(true));
        EXPECT_CALL(player, streamFree(7u)).WillOnce(Return(true));
    }
    ASSERT_TRUE(clock.startFromMemory(blob));
    clock.setPaused(true);
    clock.setPaused(true); // pausing twice pauses the stream once
    clock.seek(80.0f);
    clock.seek(-3.0f);
    clock.seek(30.5f);
    timer.ticks += 20;
    clock.update();
    EXPECT_EQ(clock.t, 30.5f);
    clock.setPaused(false);
    clock.release();
}

TEST(MusicClockPause, TContinuesFromTheSeekTargetWithoutAJump) {
    HeadlessShow show;
    show.frame(4000);
    EXPECT_FLOAT_EQ(show.clock.t, 4.0f);
    show.clock.setPaused(true);
    show.clock.seek(50.0f);
    show.frame(300);
    show.clock.seek(12.0f);
    show.frame(300);
    EXPECT_EQ(show.clock.t, 12.0f);
    show.clock.setPaused(false);
    EXPECT_DOUBLE_EQ(secondsAt(show.player), 12.0);
    show.frame(0);
    EXPECT_EQ(show.clock.t, 12.0f);
    show.frame(100);
    EXPECT_NEAR(show.clock.t, 12.1f, 1e-4);
}

TEST(MusicClockPause, ASeekWhilePlayingMovesTheStreamAndReadsBack) {
    HeadlessShow show;
    show.frame(1000);
    show.clock.seek(60.0f);
    EXPECT_EQ(show.player.setPositionCalls, 1);
    show.frame(10);
    EXPECT_NEAR(show.clock.t, 60.01f, 1e-4);
}

TEST(MusicClockPause, ADragBeforeTheStartResumesTheMusicFromItsStart) {
    HeadlessShow show;
    show.frame(2000);
    show.clock.setPaused(true);
    show.clock.seek(-1.5f); // the clock keeps the time as it is
    EXPECT_EQ(show.clock.t, -1.5f);
    show.clock.setPaused(false);
    EXPECT_EQ(show.player.streamGetPosition(1), 0u);
    show.frame(50);
    EXPECT_NEAR(show.clock.t, 0.05f, 1e-4);
}

// --- Silent mode ---

TEST(MusicClockSilent, SwitchedOnAfterTenSecondsTKeepsRunningOnTheTimer) {
    HeadlessShow show;
    show.frame(10000);
    EXPECT_FLOAT_EQ(show.clock.t, 10.0f);
    show.clock.setSilent(true);
    EXPECT_EQ(show.player.pauseCalls, 1);
    EXPECT_FALSE(show.player.playing);
    show.frame(16);
    EXPECT_FLOAT_EQ(show.clock.t, 10.016f);
    show.frame(5000);
    EXPECT_FLOAT_EQ(show.clock.t, 15.016f);

    // Off again: the stream is moved to the current t and played from there.
    show.clock.setSilent(false);
    EXPECT_TRUE(show.player.playing);
    EXPECT_NEAR(secondsAt(show.player), 15.016, 1.0 / 44100);
    show.frame(0);
    EXPECT_NEAR(show.clock.t, 15.016f, 1e-4);
}

TEST(MusicClockSilent, SeeksAndPausesWhileSilentNeverTouchTheStream) {
    HeadlessShow show;
    show.frame(3000);
    show.clock.setSilent(true);
    const int setPositions = show.player.setPositionCalls;
    const int plays = show.player.playCalls;
    show.clock.seek(42.0f);
    show.frame(10);
    EXPECT_NEAR(show.clock.t, 42.01f, 1e-4);
    show.clock.setPaused(true);
    show.frame(500);
    EXPECT_NEAR(show.clock.t, 42.01f, 1e-4);
    // Up resumes the time, not the sound; t goes on from its whole
    // milliseconds (42.01f is a hair below 42.01).
    show.clock.setPaused(false);
    show.frame(20);
    EXPECT_NEAR(show.clock.t, 42.029f, 1e-4);
    EXPECT_EQ(show.player.setPositionCalls, setPositions);
    EXPECT_EQ(show.player.playCalls, plays);
    EXPECT_FALSE(show.player.playing);
}

TEST(MusicClockSilent, ADragBeforeTheStartCountsUpFromThere) {
    HeadlessShow show;
    show.frame(2000);
    show.clock.setSilent(true);
    show.clock.setPaused(true);
    show.clock.seek(-0.5f);
    show.clock.setPaused(false);
    show.frame(100);
    EXPECT_NEAR(show.clock.t, -0.4f, 1e-4);
    show.frame(600);
    EXPECT_NEAR(show.clock.t, 0.2f, 1e-4);
}

// --- Start and release ---

TEST(MusicClockLifetime, ReleaseWithoutAStreamOnlyResetsTAndDt) {
    StrictMock<MockPlayer> player; // any call fails the test
    HeadlessTimer timer;
    MusicClock clock(&player, &timer);
    clock.paused = true;
    clock.silent = true;
    clock.lastTick = 5;
    clock.startTick = 7;
    clock.dt = 0.5f;
    clock.t = 3.0f;
    clock.release();
    EXPECT_EQ(clock.dt, 0.001f);
    EXPECT_EQ(clock.t, 0.0f);
    EXPECT_TRUE(clock.paused);
    EXPECT_TRUE(clock.silent);
    EXPECT_EQ(clock.lastTick, 5u);
    EXPECT_EQ(clock.startTick, 7u);
}

TEST(MusicClockLifetime, StreamsAreFreedOnceAndAFailedStartLeavesNone) {
    HeadlessTimer timer;
    HeadlessPlayer player(&timer);
    {
        MusicClock clock(&player, &timer);
        ByteBlob blob(trackBytes, sizeof trackBytes);
        ASSERT_TRUE(clock.startFromMemory(blob));
        ASSERT_TRUE(clock.startFromMemory(blob)); // the first stream is freed first
        EXPECT_EQ(player.freeCalls, 1);
        clock.release();
        EXPECT_EQ(player.freeCalls, 2);
        ByteBlob empty;
        EXPECT_FALSE(clock.startFromMemory(empty));
        EXPECT_EQ(clock.stream, 0u);
    } // the destructor has nothing left to free
    EXPECT_EQ(player.freeCalls, 2);
}

TEST(MusicClockLifetime, StartingWhilePausedOrSilentLeavesTheStreamStill) {
    HeadlessTimer timer;
    HeadlessPlayer player(&timer);
    MusicClock clock(&player, &timer);
    ByteBlob blob(trackBytes, sizeof trackBytes);
    clock.paused = true;
    ASSERT_TRUE(clock.startFromMemory(blob));
    EXPECT_EQ(player.playCalls, 0);
    clock.paused = false;
    clock.silent = true;
    ASSERT_TRUE(clock.startFromMemory(blob));
    EXPECT_EQ(player.playCalls, 0);
}

TEST(AudioSetUp, TheTimerPeriodIsRaisedOnlyWithADeviceAndRestoredAtShutdown) {
    HeadlessTimer timer;
    HeadlessPlayer player(&timer);
    player.failOpen = true;
    EXPECT_FALSE(initAudio(player, timer));
    EXPECT_FALSE(timer.resolutionRaised);

    player.failOpen = false;
    ASSERT_TRUE(initAudio(player, timer));
    EXPECT_TRUE(player.deviceOpen);
    EXPECT_TRUE(timer.resolutionRaised);
    shutdownAudio(player, timer);
    EXPECT_FALSE(player.deviceOpen);
    EXPECT_FALSE(timer.resolutionRaised);
}
