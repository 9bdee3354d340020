// Costs of the music player: decoding the show's track (or, while resource 103
// is not a playable stream, a generated one) as a multiple of real time and
// per device buffer, a sample-exact seek, and the clock's once-per-frame
// position read on SDL's dummy driver. Prints figures; never passes or fails.
#include "app/music_clock.h"
#include "audio/test_ogg.h"
#include "audio/vorbis_stream.h"
#include "platform/posix/audio/sdl_audio_player.h"
#include "platform/posix/posix_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double microsecondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::micro>(b - a).count();
}

struct Track {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    const char* name = "";
};

// The show's music when it is there; a generated minute otherwise.
Track pickTrack(std::vector<std::uint8_t>& generated) {
    Track track;
    if (findPlatformResource(103, &track.data, &track.size)) {
        VorbisStream probe;
        if (probe.open(track.data, track.size)) {
            track.name = "resource 103";
            return track;
        }
    }
    generated = makeTestOgg(60.0);
    track.data = generated.data();
    track.size = static_cast<std::uint32_t>(generated.size());
    track.name = "generated test stream (resource 103 is not playable)";
    return track;
}

void benchDecode(const Track& track) {
    VorbisStream stream;
    const auto openStart = Clock::now();
    stream.open(track.data, track.size);
    const double openUs = microsecondsBetween(openStart, Clock::now());

    constexpr std::uint32_t buffer = SdlAudioPlayer::deviceBufferFrames;
    std::vector<std::int16_t> out(2 * buffer);
    std::vector<double> perBuffer;
    perBuffer.reserve(stream.lengthFrames() / buffer + 1);
    const auto start = Clock::now();
    while (!stream.ended()) {
        const auto a = Clock::now();
        stream.read(out.data(), buffer);
        perBuffer.push_back(microsecondsBetween(a, Clock::now()));
    }
    const double totalUs = microsecondsBetween(start, Clock::now());
    const double trackSeconds = static_cast<double>(stream.lengthFrames()) / 44100.0;
    std::sort(perBuffer.begin(), perBuffer.end());
    std::printf("track: %s, %u bytes, %.2f s\n", track.name, track.size, trackSeconds);
    std::printf("open (headers, length): %.0f us\n", openUs);
    std::printf("decode: %.1f ms for the whole track = %.0f x real time\n", totalUs / 1000.0,
                trackSeconds * 1e6 / totalUs);
    std::printf("decode per %u-frame buffer (%.1f ms of sound): median %.1f us, p99 %.1f us, "
                "max %.1f us\n",
                buffer, 1000.0 * buffer / 44100.0, perBuffer[perBuffer.size() / 2],
                perBuffer[perBuffer.size() * 99 / 100], perBuffer.back());

    // Seeks to scattered frames, as the controls make them.
    std::uint32_t x = 1;
    constexpr int seeks = 500;
    const auto seekStart = Clock::now();
    for (int i = 0; i < seeks; ++i) {
        x = x * 1103515245u + 12345u;
        stream.seek((x >> 8) % stream.lengthFrames());
    }
    std::printf("sample-exact seek: %.1f us each\n",
                microsecondsBetween(seekStart, Clock::now()) / seeks);
}

void benchPositionRead(const Track& track) {
    // The dummy driver takes buffers in real time with no sound card.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    SdlAudioPlayer player;
    if (!player.audioOpen(44100)) {
        std::printf("position read: no audio device for SDL_AUDIODRIVER=%s\n",
                    std::getenv("SDL_AUDIODRIVER"));
        return;
    }
    MusicClock clock(&player, &monotonicTimer());
    ByteBlob blob(track.data, track.size);
    clock.startFromMemory(blob);

    constexpr int reads = 200000;
    double sink = 0;
    const auto start = Clock::now();
    for (int i = 0; i < reads; ++i)
        sink += player.streamBytesToSeconds(clock.stream, player.streamGetPosition(clock.stream));
    const double readNs = microsecondsBetween(start, Clock::now()) * 1000.0 / reads;

    const auto updateStart = Clock::now();
    for (int i = 0; i < reads; ++i) {
        clock.update();
        sink += clock.t;
    }
    const double updateNs = microsecondsBetween(updateStart, Clock::now()) * 1000.0 / reads;
    std::printf("position read (get position + bytes to seconds): %.0f ns per frame\n", readNs);
    std::printf("MusicClock::update while playing: %.0f ns per frame (checksum %.0f)\n", updateNs,
                sink > 0 ? 1.0 : 0.0);
    clock.release();
    player.audioClose();
}

} // namespace

int main() {
    std::vector<std::uint8_t> generated;
    const Track track = pickTrack(generated);
    benchDecode(track);
    benchPositionRead(track);
    return 0;
}
