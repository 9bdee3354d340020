// The PulseAudio player against a real server (pulse_position_check.sh starts
// a private one and names its pid in SHADESTRIP_TEST_SERVER_PID): the position
// keeps the server's pace and never goes back or past what was written; pause,
// seek, resume and the end of the track behave as on every player; and a
// server that stops answering never holds the caller up, at start-up or mid-play.
#include "audio/test_ogg.h"
#include "imaging/non_copyable.h"
#include "platform/posix/audio/pulse_audio_player.h"
#include "platform/posix/monotonic_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Stops the test's server while it lives.
class StoppedServer : NonCopyable {
  public:
    StoppedServer() {
        const char* pid = std::getenv("SHADESTRIP_TEST_SERVER_PID");
        server = pid ? std::atoi(pid) : 0;
        if (server > 0)
            kill(server, SIGSTOP);
    }
    ~StoppedServer() {
        if (server > 0)
            kill(server, SIGCONT);
    }
    bool stopped() const { return server > 0; }

  private:
    int server = 0;
};

class PulsePlayer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(player.audioOpen(44100)) << player.failureReason();
        stream =
            player.streamCreateFromMemory(track.data(), static_cast<std::uint32_t>(track.size()));
        ASSERT_NE(stream, 0u);
    }
    void TearDown() override {
        player.streamFree(stream);
        player.audioClose();
    }
    std::uint64_t frames() { return player.streamGetPosition(stream) / 4; }
    // Waits (at most 3 s) until the position has left `from`.
    bool movesFrom(std::uint64_t from) {
        const std::int64_t start = monotonicNanoseconds();
        while (frames() == from && millisecondsSince(start) < 3000)
            sleepMs(2);
        return frames() != from;
    }

    const std::vector<std::uint8_t> track = makeTestOgg(6.0);
    PulseAudioPlayer player;
    std::uint32_t stream = 0;
};

TEST_F(PulsePlayer, ThePositionKeepsTheServersPaceNeverBackNeverAhead) {
    ASSERT_TRUE(player.streamPlay(stream, true));
    ASSERT_TRUE(movesFrom(0)) << "the server never played";
    const std::uint64_t first = frames();
    const std::int64_t start = monotonicNanoseconds();
    std::uint64_t previous = first;
    int bad = 0;
    while (millisecondsSince(start) < 2000) {
        const std::uint64_t now = frames();
        if (now < previous || now > player.framesHandedOut())
            ++bad;
        previous = now;
        sleepMs(3);
    }
    EXPECT_EQ(bad, 0);
    const double rate = static_cast<double>(frames() - first) / (millisecondsSince(start) / 1000.0);
    EXPECT_NEAR(rate, 44100.0, 441.0);
}

TEST_F(PulsePlayer, PauseSeekResumeAndTheEndOfTheTrack) {
    ASSERT_TRUE(player.streamPlay(stream, true));
    ASSERT_TRUE(movesFrom(0));
    sleepMs(200);
    ASSERT_TRUE(player.streamPause(stream));
    const std::uint64_t paused = frames();
    sleepMs(150);
    EXPECT_EQ(frames(), paused);

    // A seek while paused is reported at once, and playback resumes from it.
    ASSERT_TRUE(player.streamSetPosition(stream, 3 * 44100 * 4));
    EXPECT_EQ(frames(), 3u * 44100u);
    ASSERT_TRUE(player.streamPlay(stream, false));
    ASSERT_TRUE(movesFrom(3 * 44100));
    sleepMs(200);
    const std::uint64_t resumed = frames();
    EXPECT_GT(resumed, 3u * 44100u + 4410u);
    EXPECT_LT(resumed, 3u * 44100u + 44100u / 2);

    // A seek while playing: the target at once, then on from it.
    ASSERT_TRUE(player.streamSetPosition(stream, 1 * 44100 * 4));
    EXPECT_EQ(frames(), 44100u);
    ASSERT_TRUE(movesFrom(44100));
    EXPECT_LT(frames(), 44100u + 44100u / 2);

    // Near the end: the position stops at the track's last frame.
    ASSERT_TRUE(player.streamSetPosition(stream, static_cast<std::uint64_t>(5.9 * 44100) * 4));
    sleepMs(600);
    const std::uint64_t end = frames();
    sleepMs(100);
    EXPECT_EQ(frames(), end);
    EXPECT_NEAR(static_cast<double>(end) / 44100.0, 6.0, 0.05);
}

TEST_F(PulsePlayer, AStoppedServerNeverHoldsTheCallerUp) {
    ASSERT_TRUE(player.streamPlay(stream, true));
    ASSERT_TRUE(movesFrom(0));
    StoppedServer stopped;
    if (!stopped.stopped())
        GTEST_SKIP() << "SHADESTRIP_TEST_SERVER_PID is not set";
    double slowest = 0;
    std::uint64_t last = frames();
    std::int64_t lastMove = monotonicNanoseconds();
    const std::int64_t start = monotonicNanoseconds();
    while (millisecondsSince(start) < 1200) {
        const std::int64_t before = monotonicNanoseconds();
        const std::uint64_t now = frames();
        slowest = std::max(slowest, millisecondsSince(before));
        if (now != last) {
            last = now;
            lastMove = monotonicNanoseconds();
        }
        sleepMs(5);
    }
    EXPECT_LT(slowest, 50.0);
    // The position stops soon after the server does: it runs on for no more
    // than the extrapolation limit.
    EXPECT_GT(millisecondsSince(lastMove), 600.0);

    const std::int64_t controls = monotonicNanoseconds();
    EXPECT_TRUE(player.streamPause(stream));
    EXPECT_TRUE(player.streamSetPosition(stream, 44100 * 4));
    EXPECT_TRUE(player.streamPlay(stream, false));
    player.audioClose();
    EXPECT_LT(millisecondsSince(controls), 500.0);
    EXPECT_FALSE(player.deviceOpen());
}

TEST(PulsePlayerStart, AServerThatDoesNotAnswerIsGivenUpOnOrCancelled) {
    StoppedServer stopped;
    if (!stopped.stopped())
        GTEST_SKIP() << "SHADESTRIP_TEST_SERVER_PID is not set";
    PulseAudioPlayer player;

    // Asked to stop waiting (Escape, a signal): it stops at once.
    std::int64_t start = monotonicNanoseconds();
    struct Cancel {
        std::int64_t after;
        static bool check(void* self) {
            return monotonicNanoseconds() >= static_cast<Cancel*>(self)->after;
        }
    } cancel{start + 300 * 1000000};
    player.setCancelCheck(&Cancel::check, &cancel);
    EXPECT_FALSE(player.audioOpen(44100));
    EXPECT_LT(millisecondsSince(start), 800.0);
    EXPECT_STREQ(player.failureReason(), "cancelled");

    // Left to itself, it gives up after its limit and says why.
    player.setCancelCheck(nullptr, nullptr);
    start = monotonicNanoseconds();
    EXPECT_FALSE(player.audioOpen(44100));
    const double took = millisecondsSince(start);
    EXPECT_GE(took, PulseAudioPlayer::openTimeoutMs - 50.0);
    EXPECT_LT(took, PulseAudioPlayer::openTimeoutMs + 1500.0);
    EXPECT_FALSE(player.serverAbsent());
    ASSERT_NE(player.failureReason(), nullptr);
    EXPECT_NE(std::string(player.failureReason()).find("does not answer"), std::string::npos)
        << player.failureReason();
    EXPECT_FALSE(player.deviceOpen());
}

} // namespace
