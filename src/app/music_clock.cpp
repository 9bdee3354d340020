// MusicClock and the process-wide audio set-up.
#include "music_clock.h"

namespace {
constexpr std::uint32_t outputRate = 44100;
constexpr float minimumDt = 0.001f;
} // namespace

bool initAudio(AudioPlayer& audio, FrameTimer& timer) {
    if (!audio.audioOpen(outputRate))
        return false;
    timer.raiseResolution();
    return true;
}

void shutdownAudio(AudioPlayer& audio, FrameTimer& timer) {
    audio.audioClose();
    timer.restoreResolution();
}

bool MusicClock::startFromMemory(const Blob& blob) {
    if (stream)
        audio->streamFree(stream);
    stream = 0;
    dt = minimumDt;
    t = 0;
    stream = audio->streamCreateFromMemory(blob.data, blob.size);
    if (!stream)
        return false;
    if (!paused && !silent)
        audio->streamPlay(stream, true);
    startTick = lastTick = timer->now();
    watchStream(startTick);
    return true;
}

void MusicClock::startWithoutSound() {
    if (stream)
        audio->streamFree(stream);
    stream = 0;
    dt = minimumDt;
    t = 0;
    silent = true;
    startTick = lastTick = timer->now();
}

void MusicClock::update() {
    const std::uint32_t now = timer->now();
    // Unsigned difference: a wrap of the counter still gives the small true step.
    const std::uint32_t elapsed = now - lastTick;
    dt = static_cast<float>(static_cast<double>(elapsed) * 0.001);
    if (dt < minimumDt)
        dt = minimumDt;
    lastTick = now;
    if (paused)
        return;
    if (silent) {
        runOnTimer(now);
        return;
    }
    followStream(now);
}

void MusicClock::runOnTimer(std::uint32_t now) {
    // The 32-bit difference is read as signed. After a seek before the
    // start (drag scrubbing), startTick lies ahead of now, and t must count
    // up from that negative time, not wrap to 4294967 s and end the show.
    const auto sinceStart = static_cast<std::int32_t>(now - startTick);
    t = static_cast<float>(static_cast<double>(sinceStart) * 0.001);
}

void MusicClock::watchStream(std::uint32_t now) {
    positionKnown = false;
    positionMoved = false;
    stalled = false;
    lastMoveTick = now;
}

void MusicClock::rewatchStream(std::uint32_t now) {
    // A stream that had stopped moving is not trusted again until it moves:
    // meanwhile t keeps running on the timer rather than standing for the
    // first-movement wait.
    const bool wasStalled = stalled;
    watchStream(now);
    stalled = wasStalled;
}

void MusicClock::followStream(std::uint32_t now) {
    const std::uint64_t position = audio->streamGetPosition(stream);
    if (!positionKnown) {
        positionKnown = true;
        lastPosition = position;
        lastMoveTick = now;
    } else if (position != lastPosition) {
        lastPosition = position;
        lastMoveTick = now;
        if (stalled) {
            // The sound is back: it picks up where the picture is.
            runOnTimer(now);
            resumeStreamAtT();
            watchStream(now);
            return;
        }
        positionMoved = true;
    }
    if (!stalled && now - lastMoveTick > (positionMoved ? stallLimitMs : startStallLimitMs)) {
        // t goes on from where it stands, without a jump.
        stalled = true;
        alignStartTick(now);
    }
    if (stalled) {
        runOnTimer(now);
        return;
    }
    t = static_cast<float>(audio->streamBytesToSeconds(stream, position));
}

void MusicClock::alignStartTick(std::uint32_t now) {
    // trunc rounds toward zero; a negative t (drag scrubbing) moves startTick ahead.
    const auto millis = static_cast<std::int32_t>(static_cast<double>(t) * 1000.0);
    startTick = now - static_cast<std::uint32_t>(millis);
}

void MusicClock::resumeStreamAtT() {
    audio->streamSetPosition(stream, audio->streamSecondsToBytes(stream, t));
    audio->streamPlay(stream, false);
}

void MusicClock::setPaused(bool p) {
    std::uint32_t now = lastTick;
    if (!p && paused) {
        now = timer->now();
        alignStartTick(now);
    }
    if (p != paused && !silent) {
        if (p) {
            audio->streamPause(stream);
        } else {
            resumeStreamAtT();
            rewatchStream(now);
        }
    }
    paused = p;
}

void MusicClock::setSilent(bool s) {
    // Stream 0 would be played, and its position read back as the time.
    if (!s && !stream)
        return;
    if (s != silent && !paused) {
        if (s) {
            audio->streamPause(stream);
        } else {
            resumeStreamAtT();
            rewatchStream(timer->now());
        }
    }
    silent = s;
}

void MusicClock::seek(float seconds) {
    t = seconds;
    const std::uint32_t now = timer->now();
    alignStartTick(now);
    if (!paused && !silent) {
        audio->streamSetPosition(stream, audio->streamSecondsToBytes(stream, t));
        rewatchStream(now);
    }
}

void MusicClock::release() {
    if (stream && audio)
        audio->streamFree(stream);
    stream = 0;
    dt = minimumDt;
    t = 0;
}
