// waveout-probe: plays the show's music through the Windows player and checks
// the heard position against the millisecond timer. Run under Wine with a
// private PulseAudio null sink by audio-test; `--no-device` expects Wine to
// have no audio driver at all, so the device must fail to open.
// Prints one line per check; exit code 0 when every check held.
#include "app/music_clock.h"
#include "platform/win32/win32_platform.h"
#include "scenes/resource_blob.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double frameRate = 44100.0;
int failures = 0;

void check(bool ok, const char* what, double value) {
    std::printf("%s %s (%.4f)\n", ok ? "ok  " : "FAIL", what, value);
    std::fflush(stdout);
    if (!ok)
        ++failures;
}

double seconds(AudioPlayer& audio, std::uint32_t stream) {
    return audio.streamBytesToSeconds(stream, audio.streamGetPosition(stream));
}

// Waits until the position passes `from` (an idle sink can take a moment to start).
bool waitForMovement(AudioPlayer& audio, std::uint32_t stream, double from) {
    for (int i = 0; i < 500; ++i) {
        if (seconds(audio, stream) > from)
            return true;
        Sleep(10);
    }
    return false;
}

// Frames per second of position over about `ms` of the timer, checking on
// the way that the position never goes backwards.
double measureRate(AudioPlayer& audio, std::uint32_t stream, DWORD ms, bool& monotonic) {
    const DWORD start = timeGetTime();
    const std::uint64_t first = audio.streamGetPosition(stream);
    std::uint64_t last = first;
    monotonic = true;
    DWORD now = start;
    while (now - start < ms) {
        Sleep(5);
        const std::uint64_t position = audio.streamGetPosition(stream);
        if (position < last)
            monotonic = false;
        last = position;
        now = timeGetTime();
    }
    return static_cast<double>((last - first) / 4) / (static_cast<double>(now - start) / 1000.0);
}

} // namespace

int main(int argc, char** argv) {
    AudioPlayer& audio = waveOutPlayer();
    FrameTimer& timer = multimediaTimer();
    if (argc > 1 && std::strcmp(argv[1], "--no-device") == 0) {
        check(!initAudio(audio, timer), "no output device: initAudio fails", 0);
        return failures ? 1 : 0;
    }

    check(initAudio(audio, timer), "initAudio opens the default device", 0);
    if (failures)
        return 1;
    ResourceBlob music;
    check(music.load(resourceId::music) != nullptr, "the music resource loads", music.size);
    const std::uint32_t stream = audio.streamCreateFromMemory(music.data, music.size);
    check(stream != 0, "a stream over the resource", stream);
    if (failures)
        return 1;
    const double length = seconds(audio, stream); // 0 before playing
    check(length == 0.0, "a new stream stands at 0", length);

    // Playing: the position follows the device at the sample rate, once the
    // first half second (where a sound server may still be settling) is past.
    // A busy machine can starve the device for a moment, which the position
    // rightly shows; one of three windows of three seconds must be on time.
    audio.streamPlay(stream, true);
    const bool moving = waitForMovement(audio, stream, 0.5);
    check(moving, "the position moves on", seconds(audio, stream));
    bool monotonic = true;
    double rate = 0;
    for (int window = 0; window < 3; ++window) {
        bool forwards = false;
        rate = measureRate(audio, stream, 3000, forwards);
        monotonic = monotonic && forwards;
        if (std::fabs(rate - frameRate) < frameRate * 0.02)
            break;
        std::printf("     (%.1f frames per second in window %d)\n", rate, window + 1);
    }
    check(std::fabs(rate - frameRate) < frameRate * 0.02, "44100 frames per second, within 2%",
          rate);
    check(monotonic, "the position never goes backwards", 0);

    // Paused: the position keeps its value.
    audio.streamPause(stream);
    const double paused = seconds(audio, stream);
    Sleep(500);
    check(seconds(audio, stream) == paused, "a pause keeps the position", paused);

    // A move while paused is read back at once and played from on resume.
    audio.streamSetPosition(stream, audio.streamSecondsToBytes(stream, 60.0f));
    check(seconds(audio, stream) == 60.0, "a move while paused reads back exactly", 60.0);
    audio.streamPlay(stream, false);
    const bool resumedFromMove = waitForMovement(audio, stream, 60.0);
    check(resumedFromMove, "resume plays on from the move", seconds(audio, stream));
    Sleep(1000);
    const double resumed = seconds(audio, stream);
    check(resumed > 60.5 && resumed < 62.0, "about a second after the move", resumed);

    // A move while playing restarts from there.
    audio.streamSetPosition(stream, audio.streamSecondsToBytes(stream, 30.0f));
    const double moved = seconds(audio, stream);
    check(moved >= 30.0 && moved < 30.2, "a move while playing starts at its frame", moved);
    Sleep(1000);
    const double after = seconds(audio, stream);
    check(after > 30.5 && after < 32.0, "and plays on from it", after);

    // The clock on top of the player: t follows the music time.
    MusicClock clock(&audio, &timer);
    clock.stream = stream;
    clock.update();
    const float t0 = clock.t;
    const DWORD tick0 = timeGetTime();
    Sleep(2000);
    clock.update();
    const double clockRate = (clock.t - t0) / ((timeGetTime() - tick0) / 1000.0);
    check(std::fabs(clockRate - 1.0) < 0.1,
          "the clock's t runs at one second per second, within 10%", clockRate);
    clock.stream = 0;

    // Near the end: the position stops at the last frame and stays there.
    audio.streamSetPosition(stream, audio.streamSecondsToBytes(stream, 141.5f));
    Sleep(1500);
    const double end = seconds(audio, stream);
    Sleep(300);
    check(seconds(audio, stream) == end && end > 141.5 && end < 142.5,
          "the position stands at the end of the track", end);

    // A restart goes back to 0.
    audio.streamPlay(stream, true);
    const double restarted = seconds(audio, stream);
    check(restarted < 0.2, "a restart plays from 0", restarted);

    check(audio.streamFree(stream), "the stream is freed", 0);
    check(!audio.streamFree(stream), "a freed stream is refused", 0);
    shutdownAudio(audio, timer);
    std::printf("%d failure(s)\n", failures);
    return failures ? 1 : 0;
}
