// What the SDL player actually plays, bit for bit: SDL's disk driver writes
// every buffer the player hands it, and the file must be silence and runs of
// the directly decoded track, each run starting exactly where playback was
// sent (the start, a seek, the paused position, a restart).
#include "audio/vorbis_stream.h"
#include "sdl_audio_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

constexpr std::uint64_t bufferFrames = SdlAudioPlayer::deviceBufferFrames;

struct Run {
    std::uint64_t silenceBefore; // silent frames between the previous run and this one
    std::uint64_t start;         // stream frame the run starts at
    std::uint64_t frames;
};

bool silent(const std::vector<std::int16_t>& s, std::size_t frame) {
    return s[2 * frame] == 0 && s[2 * frame + 1] == 0;
}

// Splits what was played into silence and runs of `track`, the n-th run
// starting at stream frame starts[n]. Fails the test on any frame that is
// neither silence nor the next frame of the run it belongs to.
std::vector<Run> splitPlayed(const std::vector<std::int16_t>& played,
                             const std::vector<std::int16_t>& track,
                             const std::vector<std::uint64_t>& starts) {
    std::vector<Run> runs;
    const std::size_t frames = played.size() / 2;
    const std::size_t trackFrames = track.size() / 2;
    std::size_t i = 0;
    for (std::uint64_t start : starts) {
        Run run{0, start, 0};
        while (i < frames && silent(played, i)) {
            ++i;
            ++run.silenceBefore;
        }
        while (i < frames && start + run.frames < trackFrames &&
               played[2 * i] == track[2 * (start + run.frames)] &&
               played[2 * i + 1] == track[2 * (start + run.frames) + 1]) {
            ++i;
            ++run.frames;
        }
        if (run.frames == 0) {
            ADD_FAILURE() << "no run from stream frame " << start << " at played frame " << i;
            return runs;
        }
        runs.push_back(run);
    }
    while (i < frames && silent(played, i))
        ++i;
    EXPECT_EQ(i, frames) << "played frame " << i << " is neither silence nor the track";
    return runs;
}

class SdlDiskPlayback : public SdlPlayerTest {
  protected:
    void SetUp() override {
        useSdlDriver("disk");
        path = diskOutputPath();
        setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
        ASSERT_TRUE(player.audioOpen(44100));
    }
    void TearDown() override { std::remove(path.c_str()); }

    // Closes the device (the file is complete then) and reads what was played.
    std::vector<std::int16_t> played() {
        player.audioClose();
        return readSamples(path);
    }

    std::vector<std::int16_t> decoded(const TestTrack& t) {
        VorbisStream stream;
        EXPECT_TRUE(stream.open(t.bytes.data(), static_cast<std::uint32_t>(t.bytes.size())));
        std::vector<std::int16_t> out(2 * stream.lengthFrames());
        stream.read(out.data(), static_cast<std::uint32_t>(stream.lengthFrames()));
        return out;
    }

    std::uint64_t positionFrames(std::uint32_t stream) {
        return player.streamGetPosition(stream) / 4;
    }

    std::string path;
};

} // namespace

TEST_F(SdlDiskPlayback, PlaysTheTrackFromTheStartAndSeeksWhilePlaying) {
    const TestTrack& track = tracks.make(4.0);
    const std::uint32_t stream = track.create(player);
    ASSERT_NE(stream, 0u);
    ASSERT_TRUE(player.streamPlay(stream, true));
    sleepMs(400);
    const std::uint64_t heardBeforeSeek = positionFrames(stream);
    // A negative time seeks to the start: drag scrubbing can ask for one.
    ASSERT_TRUE(player.streamSetPosition(stream, 2 * 44100 * 4));
    EXPECT_EQ(positionFrames(stream), 2u * 44100u); // read back at once
    sleepMs(300);
    ASSERT_TRUE(player.streamSetPosition(stream, player.streamSecondsToBytes(stream, -1.5f)));
    sleepMs(300);

    const auto runs = splitPlayed(played(), decoded(track), {0, 2 * 44100, 0});
    ASSERT_EQ(runs.size(), 3u);
    // The seeks cut in without silence, and never before what had been heard.
    EXPECT_EQ(runs[1].silenceBefore, 0u);
    EXPECT_EQ(runs[2].silenceBefore, 0u);
    EXPECT_GE(runs[0].frames, heardBeforeSeek);
    EXPECT_GT(runs[0].frames, 4 * bufferFrames);
    EXPECT_GT(runs[1].frames, 4 * bufferFrames);
}

TEST_F(SdlDiskPlayback, PauseAndResumePlaysOnFromWhatWasHeard) {
    const TestTrack& track = tracks.make(4.0);
    const std::uint32_t stream = playFor(track, 400);
    ASSERT_TRUE(player.streamPause(stream));
    const std::uint64_t paused = positionFrames(stream);
    sleepMs(250);
    EXPECT_EQ(positionFrames(stream), paused); // pause keeps the position
    ASSERT_TRUE(player.streamPlay(stream, false));
    sleepMs(300);

    const auto runs = splitPlayed(played(), decoded(track), {0, paused});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_GT(runs[1].silenceBefore, 4 * bufferFrames); // the pause was silent
    // Resumed exactly at the heard position: at most the buffers that were
    // handed out but not yet heard play twice.
    EXPECT_LE(paused, runs[0].frames);
    EXPECT_LE(runs[0].frames - paused, 2 * bufferFrames);
    EXPECT_GT(runs[1].frames, 4 * bufferFrames);
}

TEST_F(SdlDiskPlayback, ASeekWhilePausedTakesEffectOnResume) {
    const TestTrack& track = tracks.make(4.0);
    const std::uint32_t stream = playFor(track, 300);
    ASSERT_TRUE(player.streamPause(stream));
    ASSERT_TRUE(player.streamSetPosition(stream, 1000));
    ASSERT_TRUE(player.streamSetPosition(stream, 12345 * 4));
    ASSERT_TRUE(player.streamSetPosition(stream, 3 * 44100 * 4 + 2)); // a partial frame
    EXPECT_EQ(positionFrames(stream), 3u * 44100u);
    sleepMs(200);
    ASSERT_TRUE(player.streamPlay(stream, false));
    sleepMs(300);

    const auto runs = splitPlayed(played(), decoded(track), {0, 3 * 44100});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_GT(runs[1].silenceBefore, 4 * bufferFrames);
}

TEST_F(SdlDiskPlayback, RestartPlaysFromTheFirstFrame) {
    const TestTrack& track = tracks.make(4.0);
    const std::uint32_t stream = playFor(track, 300);
    ASSERT_TRUE(player.streamPlay(stream, false)); // already playing: nothing changes
    sleepMs(100);
    ASSERT_TRUE(player.streamPlay(stream, true));
    EXPECT_EQ(positionFrames(stream), 0u);
    sleepMs(300);

    const auto runs = splitPlayed(played(), decoded(track), {0, 0});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].silenceBefore, 0u);
    EXPECT_GT(runs[0].frames, 8 * bufferFrames);
}

TEST_F(SdlDiskPlayback, TheTrackEndsInSilenceAndThePositionStaysAtItsEnd) {
    const TestTrack& track = tracks.make(0.3);
    const std::uint32_t stream = playFor(track, 700);
    const std::uint64_t length = decoded(track).size() / 2;
    EXPECT_EQ(positionFrames(stream), length);
    sleepMs(100);
    EXPECT_EQ(positionFrames(stream), length);

    const auto runs = splitPlayed(played(), decoded(track), {0});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].frames, length); // all of it, then silence
}
