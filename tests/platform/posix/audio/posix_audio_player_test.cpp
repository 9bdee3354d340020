// The POSIX program's player choice without a sound server: it falls back
// from PulseAudio to the next player and says why the last one failed, its
// close never waits longer than its bound on a stuck device, and no sound
// library writes on standard error (the user's terminal) while a device is sought.
#include "platform/posix/audio/posix_audio_player.h"
#include "sdl_audio_support.h"
#ifdef SHADESTRIP_HAVE_PULSE
#include "platform/posix/audio/pulse_audio_player.h"
#include "platform/posix/monotonic_clock.h"
#endif
#ifdef SHADESTRIP_HAVE_PIPEWIRE
#include "platform/posix/audio/pipewire_audio_player.h"
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A device that opens (or not) as told and whose close takes as long as told.
class ScriptedPlayer : public AudioPlayer {
  public:
    bool opens = true;
    int closeMs = 0;
    std::atomic<int> calls{0};
    bool audioOpen(std::uint32_t) override { return ++calls, opens; }
    void audioClose() override {
        ++calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(closeMs));
    }
    std::uint32_t streamCreateFromMemory(const void*, std::uint32_t) override { return ++calls, 7; }
    bool streamPlay(std::uint32_t, bool) override { return ++calls, true; }
    bool streamPause(std::uint32_t) override { return ++calls, true; }
    std::uint64_t streamGetPosition(std::uint32_t) override { return ++calls, 400; }
    bool streamSetPosition(std::uint32_t, std::uint64_t) override { return ++calls, true; }
    double streamBytesToSeconds(std::uint32_t, std::uint64_t) override { return 0; }
    std::uint64_t streamSecondsToBytes(std::uint32_t, float) override { return 0; }
    bool streamFree(std::uint32_t) override { return ++calls, true; }
    const char* failureReason() const override { return "no audio device: scripted"; }
};

// Standard error captured into a file while the object lives.
class CapturedStandardError {
  public:
    CapturedStandardError() {
        std::fflush(stderr);
        saved = dup(STDERR_FILENO);
        std::snprintf(path, sizeof path, "/tmp/shadestrip-stderr-%d.txt",
                      static_cast<int>(getpid()));
        const int file = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, STDERR_FILENO);
        close(file);
    }
    ~CapturedStandardError() { restore(); }
    std::string text() {
        restore();
        std::ifstream in(path);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

  private:
    void restore() {
        if (saved < 0)
            return;
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        saved = -1;
    }
    int saved = -1;
    char path[64];
};

TEST(PosixAudioPlayerClose, AStuckDeviceIsLeftBehindAfterTheBound) {
    unsetenv("SHADESTRIP_AUDIO");
    unsetenv("SDL_AUDIODRIVER");
    // Outlives the test: the abandoned close goes on running in its thread.
    auto* stuck = new ScriptedPlayer;
    stuck->closeMs = 10000;
    PosixAudioPlayer player(nullptr, stuck);
    ASSERT_TRUE(player.audioOpen(44100));
    const std::uint32_t stream = player.streamCreateFromMemory("x", 1);
    EXPECT_TRUE(player.streamPlay(stream, true));

    const std::int64_t asked = monotonicNanoseconds();
    player.audioClose();
    const double took = millisecondsSince(asked);
    EXPECT_GE(took, PosixAudioPlayer::closeTimeoutMs - 50.0);
    EXPECT_LT(took, PosixAudioPlayer::closeTimeoutMs + 1500.0);
    EXPECT_TRUE(player.abandoned());

    // Nothing more reaches the abandoned device (the program's exit frees the stream).
    const int before = stuck->calls.load();
    EXPECT_EQ(player.streamGetPosition(stream), 0u);
    EXPECT_FALSE(player.streamFree(stream));
    player.audioClose();
    EXPECT_FALSE(player.audioOpen(44100));
    EXPECT_EQ(stuck->calls.load(), before);

    // A device that lets go at once is waited for, not left behind.
    ScriptedPlayer quick;
    PosixAudioPlayer other(nullptr, &quick);
    ASSERT_TRUE(other.audioOpen(44100));
    const std::int64_t again = monotonicNanoseconds();
    other.audioClose();
    EXPECT_LT(millisecondsSince(again), 1000.0);
    EXPECT_FALSE(other.abandoned());
}

#ifdef SHADESTRIP_HAVE_PULSE
TEST(PosixAudioPlayerChoice, WithoutAServerTheNextPlayerIsTriedAtOnce) {
    unsetenv("SHADESTRIP_AUDIO");
    unsetenv("SDL_AUDIODRIVER");
    setenv("PULSE_SERVER", "unix:/nonexistent/shadestrip-no-server", 1);
    setenv("PIPEWIRE_REMOTE", "/nonexistent/shadestrip-no-pipewire", 1);
    PulseAudioPlayer pulse;
    ScriptedPlayer fallback;
    fallback.opens = false;
#ifdef SHADESTRIP_HAVE_PIPEWIRE
    // Both servers are asked, and neither is there.
    PipeWireAudioPlayer pipewire;
    PosixAudioPlayer player(&pulse, &fallback, &pipewire);
#else
    PosixAudioPlayer player(&pulse, &fallback);
#endif
    const std::int64_t asked = monotonicNanoseconds();
    EXPECT_FALSE(player.audioOpen(44100));
    EXPECT_LT(millisecondsSince(asked), 1000.0);
    EXPECT_TRUE(pulse.serverAbsent());
#ifdef SHADESTRIP_HAVE_PIPEWIRE
    EXPECT_TRUE(pipewire.serverAbsent());
    ASSERT_NE(pipewire.failureReason(), nullptr);
    EXPECT_NE(std::string(pipewire.failureReason()).find("no sound server"), std::string::npos);
#endif
    ASSERT_NE(pulse.failureReason(), nullptr);
    EXPECT_NE(std::string(pulse.failureReason()).find("no sound server"), std::string::npos);
    // The message is the last player's.
    ASSERT_NE(player.failureReason(), nullptr);
    EXPECT_STREQ(player.failureReason(), "no audio device: scripted");

    fallback.opens = true;
    EXPECT_TRUE(player.audioOpen(44100));
    EXPECT_EQ(player.active(), &fallback);

    unsetenv("SHADESTRIP_AUDIO");
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("PULSE_SERVER");
    unsetenv("PIPEWIRE_REMOTE");
}
#endif

TEST(SdlPlayerWithoutDevice, SaysWhatFailedAndWritesNothingOnStandardError) {
    // ALSA on a machine without a card (the CI's, this one's) reports each
    // card it cannot open on standard error unless told not to.
    useSdlDriver("alsa");
    SdlAudioPlayer player;
    CapturedStandardError captured;
    const bool opened = player.audioOpen(44100);
    const std::string written = captured.text();
    if (opened)
        GTEST_SKIP() << "this machine has a sound card";
    EXPECT_EQ(written, "");
    ASSERT_NE(player.failureReason(), nullptr);
    EXPECT_EQ(std::string(player.failureReason()).rfind("no audio device: ", 0), 0u)
        << player.failureReason();
}

} // namespace
