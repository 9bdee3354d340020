// Helpers for the tests of the SDL player on SDL's headless drivers: `dummy`
// (a device that consumes buffers in real time) and `disk` (one that writes
// them to a file). Each test runs in a process of its own under ctest, and
// SDL reads the driver from the environment when its audio starts.
#pragma once

#include "audio/test_ogg.h"
#include "platform/posix/audio/sdl_audio_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

inline void useSdlDriver(const char* driver) {
    setenv("SDL_AUDIODRIVER", driver, 1);
}

// A file name of this process's own for the disk driver.
inline std::string diskOutputPath() {
    const char* dir = std::getenv("TMPDIR");
    std::string path = dir && *dir ? dir : "/tmp";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path += "/shadestrip-audio-" + std::to_string(getpid()) + "-" + info->name() + ".raw";
    return path;
}

inline std::vector<std::int16_t> readSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i])) |
            static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return samples;
}

inline void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A test stream. The player reads its bytes as it plays, so a track must
// outlive the player's stream: fixtures keep theirs in a TestTracks declared
// before the player.
struct TestTrack {
    explicit TestTrack(double seconds) : bytes(makeTestOgg(seconds)) {}
    std::uint32_t create(AudioPlayer& player) const {
        return player.streamCreateFromMemory(bytes.data(),
                                             static_cast<std::uint32_t>(bytes.size()));
    }
    std::vector<std::uint8_t> bytes;
};

struct TestTracks {
    const TestTrack& make(double seconds) {
        tracks.push_back(std::make_unique<TestTrack>(seconds));
        return *tracks.back();
    }
    std::vector<std::unique_ptr<TestTrack>> tracks;
};

// What the player fixtures share: the player, and the tracks it plays
// (declared first: they outlive its streams).
class SdlPlayerTest : public ::testing::Test {
  protected:
    // A stream of `track`, started from its first frame (the test fails when
    // it does not play).
    std::uint32_t play(const TestTrack& track) {
        const std::uint32_t stream = track.create(player);
        EXPECT_NE(stream, 0u);
        EXPECT_TRUE(player.streamPlay(stream, true));
        return stream;
    }
    // The same, once it has played for `ms` milliseconds.
    std::uint32_t playFor(const TestTrack& track, int ms) {
        const std::uint32_t stream = play(track);
        sleepMs(ms);
        return stream;
    }

    TestTracks tracks;
    SdlAudioPlayer player;
};
