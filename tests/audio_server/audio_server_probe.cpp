// Plays a test stream through the SDL player on whatever audio server SDL
// finds (the check script gives it a private one) and measures how fast the
// position advances against the steady clock: 44100 frames per second within
// 1 %, never backwards, never ahead of the audio handed out. Prints the figures.
#include "audio/test_ogg.h"
#include "platform/posix/audio/sdl_audio_player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main() {
    constexpr double measureSeconds = 10.0;
    const std::vector<std::uint8_t> track = makeTestOgg(measureSeconds + 4.0);
    SdlAudioPlayer player;
    if (!player.audioOpen(44100)) {
        std::printf("no audio device\n");
        return 1;
    }
    const std::uint32_t stream =
        player.streamCreateFromMemory(track.data(), static_cast<std::uint32_t>(track.size()));
    if (!stream || !player.streamPlay(stream, true)) {
        std::printf("the test stream does not play\n");
        return 1;
    }

    // A server can take a moment before it asks for the first buffers.
    const Clock::time_point opened = Clock::now();
    while (player.streamGetPosition(stream) == 0 && secondsSince(opened) < 5.0)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const std::uint64_t firstBytes = player.streamGetPosition(stream);
    const Clock::time_point first = Clock::now();
    if (firstBytes == 0) {
        std::printf("the position never moved\n");
        return 1;
    }
    std::printf("first movement after %.1f ms\n",
                1000.0 * std::chrono::duration<double>(first - opened).count());

    int failures = 0;
    std::uint64_t previous = firstBytes;
    std::uint64_t lastBytes = firstBytes;
    // ms behind the straight line from the first reading at 44100 frames/s:
    // its spread is the jitter of the position as the program sees it.
    double lagLow = 0;
    double lagHigh = 0;
    double lastSeconds = 0;
    while ((lastSeconds = secondsSince(first)) < measureSeconds) {
        const std::uint64_t bytes = player.streamGetPosition(stream);
        const std::uint64_t handed = player.framesHandedOut();
        if (bytes < previous || bytes / 4 > handed) {
            if (failures++ < 5)
                std::printf("bad reading: %llu after %llu, %llu frames handed out\n",
                            static_cast<unsigned long long>(bytes),
                            static_cast<unsigned long long>(previous),
                            static_cast<unsigned long long>(handed));
        }
        // Whole frames of four bytes.
        const std::uint64_t firstFrames = firstBytes / 4;
        const std::uint64_t frames = bytes / 4;
        const double expected = static_cast<double>(firstFrames) + lastSeconds * 44100.0;
        const double lag = (expected - static_cast<double>(frames)) / 44.1;
        lagLow = std::min(lagLow, lag);
        lagHigh = std::max(lagHigh, lag);
        previous = bytes;
        lastBytes = bytes;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::uint64_t playedFrames = (lastBytes - firstBytes) / 4;
    const double rate = static_cast<double>(playedFrames) / lastSeconds;
    const double error = rate / 44100.0 - 1.0;
    std::printf("position rate %.1f frames/s over %.2f s (%+.3f %%), position jitter %.2f ms\n",
                rate, lastSeconds, 100.0 * error, lagHigh - lagLow);
    player.streamFree(stream);
    player.audioClose();
    if (std::fabs(error) >= 0.01 || failures > 0) {
        std::printf("FAILED\n");
        return 1;
    }
    return 0;
}
