// MusicClock: plays the music and is the program's only time source. While the
// music plays, t is the stream's own playback position; paused, t stands;
// silent, the stream is halted and t runs on the millisecond timer.
#pragma once

#include "imaging/blob.h"
#include "platform.h"

#include <cstdint>

class MusicClock {
  public:
    MusicClock(AudioPlayer* audio = nullptr, FrameTimer* timer = nullptr)
        : audio(audio), timer(timer) {}
    ~MusicClock() { release(); }

    // Creates the stream over the blob's bytes (which must outlive it) and starts it.
    bool startFromMemory(const Blob& blob);
    // Starts with no stream and no audio device: silent from t = 0, on the
    // millisecond timer. The sound cannot be switched on afterwards.
    void startWithoutSound();
    // New dt (never below 0.001 s) and t. Called first in every frame.
    void update();
    void setPaused(bool p);
    // Without a stream (startWithoutSound) the clock stays silent.
    void setSilent(bool s);
    // Moves t at once; the stream follows now, or when playback resumes.
    void seek(float seconds);
    void release();

    std::uint32_t stream = 0;
    bool paused = false;
    bool silent = false;
    std::uint32_t lastTick = 0;  // ms, timer reading at the previous update
    std::uint32_t startTick = 0; // ms, timer reading that corresponds to t = 0
    float dt = 0.001f;           // seconds
    float t = 0.0f;              // seconds of music time

    AudioPlayer* audio;
    FrameTimer* timer;

    // While the stream plays, a position that stops moving (a sound server
    // that died or stopped answering) hands t to the timer after this long, so
    // the show goes on; before the first movement of a run (a device that is
    // slow to start) the wait is longer. When the position moves again the
    // stream is sent to t, and t goes on from the stream.
    static constexpr std::uint32_t stallLimitMs = 500;
    static constexpr std::uint32_t startStallLimitMs = 3000;
    // t runs on the timer because the stream's position stopped moving.
    bool onTimer() const { return stalled; }

  private:
    // startTick for the current t: now - trunc(t * 1000), modulo 2^32.
    void alignStartTick(std::uint32_t now);
    void resumeStreamAtT();
    // A new run of the stream starts now: watch its position afresh.
    void watchStream(std::uint32_t now);
    // The same for a resume or a seek, which keeps t on the timer if the
    // stream had stalled, until its position moves again.
    void rewatchStream(std::uint32_t now);
    // The stream-driven part of update.
    void followStream(std::uint32_t now);
    void runOnTimer(std::uint32_t now);

    bool positionKnown = false;
    bool positionMoved = false;
    bool stalled = false;
    std::uint64_t lastPosition = 0;
    std::uint32_t lastMoveTick = 0;
};

// The process-wide audio set-up: the output device at 44100 Hz and the finest
// timer resolution. initAudio leaves the timer alone when the device fails.
bool initAudio(AudioPlayer& audio, FrameTimer& timer);
void shutdownAudio(AudioPlayer& audio, FrameTimer& timer);
