// The SDL player as a clock, on SDL's dummy driver (a device that takes its
// buffers in real time): the position never runs ahead of the audio handed
// out and never goes backwards except on a seek; pause holds it. Also its
// failures: no device, unreadable streams, stale handles.
#include "app/music_clock.h"
#include "platform/posix/posix_platform.h"
#include "sdl_audio_support.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using Clock = std::chrono::steady_clock;

class SdlDummyPlayer : public SdlPlayerTest {
  protected:
    void SetUp() override {
        useSdlDriver("dummy");
        ASSERT_TRUE(player.audioOpen(44100));
    }

    // Reads the position for `ms` milliseconds, checking every reading against
    // the one before and against what was handed out. Returns the last.
    std::uint64_t watch(std::uint32_t stream, int ms, std::uint64_t from) {
        std::uint64_t previous = from;
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            const std::uint64_t bytes = player.streamGetPosition(stream);
            const std::uint64_t handed = player.framesHandedOut();
            EXPECT_EQ(bytes % 4, 0u);
            EXPECT_LE(bytes / 4, handed) << "ahead of the audio handed out";
            EXPECT_GE(bytes, previous) << "went backwards";
            if (bytes < previous || bytes / 4 > handed)
                return bytes;
            previous = bytes;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return previous;
    }
};

} // namespace

TEST_F(SdlDummyPlayer, ThePositionFollowsPlaybackNeverAheadNeverBack) {
    const TestTrack& track = tracks.make(3.0);
    const std::uint32_t stream = track.create(player);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(player.streamGetPosition(stream), 0u);
    ASSERT_TRUE(player.streamPlay(stream, true));
    const auto started = Clock::now();
    const std::uint64_t bytes = watch(stream, 1000, 0);
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    const double heard = player.streamBytesToSeconds(stream, bytes);
    // Real time, give or take a buffer or two and a busy machine.
    EXPECT_GT(heard, wall - 0.25);
    EXPECT_LT(heard, wall + 0.03);

    // A seek reads back at once and runs on from there.
    ASSERT_TRUE(player.streamSetPosition(stream, player.streamSecondsToBytes(stream, 2.0f)));
    EXPECT_EQ(player.streamGetPosition(stream), 2u * 44100u * 4u);
    watch(stream, 300, 2u * 44100u * 4u);
}

TEST_F(SdlDummyPlayer, PauseHoldsThePositionAndResumeRunsOnFromIt) {
    const TestTrack& track = tracks.make(3.0);
    const std::uint32_t stream = playFor(track, 300);
    ASSERT_TRUE(player.streamPause(stream));
    const std::uint64_t held = player.streamGetPosition(stream);
    EXPECT_GT(held, 0u);
    sleepMs(150);
    EXPECT_EQ(player.streamGetPosition(stream), held);
    ASSERT_TRUE(player.streamPause(stream)); // twice is harmless
    EXPECT_EQ(player.streamGetPosition(stream), held);
    ASSERT_TRUE(player.streamPlay(stream, false));
    const std::uint64_t later = watch(stream, 300, held);
    EXPECT_GT(later, held);

    // Closing the device while playing leaves the stream where it was heard.
    player.audioClose();
    const std::uint64_t closed = player.streamGetPosition(stream);
    EXPECT_GE(closed, later);
    sleepMs(50);
    EXPECT_EQ(player.streamGetPosition(stream), closed);
}

TEST_F(SdlDummyPlayer, TheEndOfTheTrackIsKept) {
    const TestTrack& track = tracks.make(0.25);
    const std::uint32_t stream = play(track);
    const std::uint64_t end = watch(stream, 600, 0);
    EXPECT_EQ(end / 4, player.framesHandedOut());
    EXPECT_EQ(end / 4, static_cast<std::uint64_t>(0.25 * 44100));
    // Seeking past the end stands at the end.
    ASSERT_TRUE(player.streamSetPosition(stream, 1u << 30));
    EXPECT_EQ(player.streamGetPosition(stream), end);
}

TEST_F(SdlDummyPlayer, OneStreamAtATimeAndStaleHandlesAreRefused) {
    const TestTrack& track = tracks.make(0.5);
    const std::uint32_t first = track.create(player);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(track.create(player), 0u); // one at a time
    ASSERT_TRUE(player.streamPlay(first, true));
    ASSERT_TRUE(player.streamFree(first));

    for (std::uint32_t stale : {first, 0u, first + 1}) {
        EXPECT_FALSE(player.streamPlay(stale, true));
        EXPECT_FALSE(player.streamPause(stale));
        EXPECT_FALSE(player.streamSetPosition(stale, 0));
        EXPECT_EQ(player.streamGetPosition(stale), 0u);
        EXPECT_FALSE(player.streamFree(stale));
    }
    const std::uint32_t second = track.create(player);
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_FALSE(player.streamPlay(first, true));
    EXPECT_TRUE(player.streamFree(second));
}

TEST_F(SdlDummyPlayer, UnreadableStreamsAreRefusedCleanly) {
    const std::uint8_t placeholder[16] = {};
    EXPECT_EQ(player.streamCreateFromMemory(nullptr, 0), 0u);
    EXPECT_EQ(player.streamCreateFromMemory(placeholder, 0), 0u);
    EXPECT_EQ(player.streamCreateFromMemory(placeholder, sizeof placeholder), 0u);
    const TestTrack& track = tracks.make(0.5);
    EXPECT_EQ(player.streamCreateFromMemory(track.bytes.data(), 300), 0u); // cut short
    // After all that, a good stream still plays.
    const std::uint32_t stream = track.create(player);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(player.streamPlay(stream, true));
    watch(stream, 100, 0);
}

TEST_F(SdlDummyPlayer, SdlLeavesInterruptAndTerminateToTheProgram) {
    // SDL's own handlers would turn Ctrl+C into a quit event nobody reads.
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction action {};
        ASSERT_EQ(sigaction(signal, nullptr, &action), 0);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << "signal " << signal;
    }
}

TEST_F(SdlDummyPlayer, TheMusicClockRunsOnTheStreamPosition) {
    player.audioClose();
    const TestTrack& track = tracks.make(3.0);
    ByteBlob blob(track.bytes.data(), static_cast<std::uint32_t>(track.bytes.size()));
    MusicClock clock(&player, &monotonicTimer());
    ASSERT_TRUE(initAudio(player, monotonicTimer()));
    ASSERT_TRUE(clock.startFromMemory(blob));
    // The bounds are on the time that really passed: a busy machine sleeps
    // longer than asked.
    const auto secondsSince = [](Clock::time_point from) {
        return std::chrono::duration<double>(Clock::now() - from).count();
    };
    auto started = Clock::now();

    float previous = 0;
    for (int i = 0; i < 40; ++i) {
        sleepMs(10);
        clock.update();
        ASSERT_GE(clock.t, previous);
        previous = clock.t;
    }
    EXPECT_GT(clock.t, 0.2f);
    EXPECT_LT(clock.t, secondsSince(started) + 0.05);

    clock.setPaused(true);
    clock.seek(1.0f);
    clock.seek(-2.0f);
    clock.seek(2.25f);
    clock.update();
    EXPECT_EQ(clock.t, 2.25f);
    clock.setPaused(false);
    clock.update();
    EXPECT_FLOAT_EQ(clock.t, 2.25f); // the sound resumes at the picture's time
    started = Clock::now();
    sleepMs(100);
    clock.update();
    EXPECT_GT(clock.t, 2.25f);
    EXPECT_LT(clock.t, 2.25 + secondsSince(started) + 0.05);

    shutdownAudio(player, monotonicTimer());
    clock.release();
    EXPECT_EQ(clock.stream, 0u);
}

TEST(SdlPlayerWithoutDevice, OpenFailsAndEverythingElseStaysSafe) {
    // A driver SDL does not have stands for a machine with no sound card and no
    // sound server (SDL never falls back to a silent driver on its own).
    useSdlDriver("no-such-driver");
    TestTracks tracks;
    SdlAudioPlayer player;
    EXPECT_FALSE(player.audioOpen(44100));
    EXPECT_FALSE(player.deviceOpen());
    player.audioClose();

    // Only 44100 Hz is offered, whatever the device could do.
    useSdlDriver("dummy");
    EXPECT_FALSE(player.audioOpen(48000));
    EXPECT_FALSE(player.deviceOpen());

    // A stream without a device stands still at its start.
    const TestTrack& track = tracks.make(0.5);
    const std::uint32_t stream = track.create(player);
    ASSERT_NE(stream, 0u);
    EXPECT_TRUE(player.streamPlay(stream, true));
    sleepMs(50);
    EXPECT_EQ(player.streamGetPosition(stream), 0u);
    EXPECT_TRUE(player.streamFree(stream));
}
