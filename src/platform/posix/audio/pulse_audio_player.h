// PulseAudioPlayer: the music player on a PulseAudio (or PipeWire) server,
// through libpulse. The position is the server's own account of the sample
// being played (its stream timing, carried forward between updates), not an
// estimate from buffer sizes. One Ogg Vorbis stream at a time, decoded on
// libpulse's thread as the server asks for more.
//
// The main thread never takes libpulse's lock once the device is open: what it
// shares with the audio thread is guarded by a lock of the player's own, which
// the audio thread holds only while it decodes, never while it waits on the server.
#pragma once

#include "platform/posix/audio/locked_stream_player.h"

#include <atomic>
#include <cstdint>
#include <mutex>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

class PulseAudioPlayer : public LockedStreamPlayer {
  public:
    // How long audioOpen waits for the server to take the stream.
    static constexpr std::uint32_t openTimeoutMs = 3000;
    // Audio queued ahead of the listener: what a pause or seek takes to be heard.
    static constexpr std::uint32_t targetLatencyMs = 40;
    // Between two timing snapshots the position runs on the steady clock for at
    // most this long; past it (a server that stopped answering) it stands.
    static constexpr std::uint32_t extrapolationLimitMs = 200;

    PulseAudioPlayer() = default;
    ~PulseAudioPlayer() override;

    // Connects to the server (never starts one) and opens a playback stream
    // that runs, silent while nothing plays, until audioClose. False, with a
    // reason, when there is no server, when it does not take the stream within
    // openTimeoutMs, when the cancel check asks to stop, and for any rate but 44100 Hz.
    bool audioOpen(std::uint32_t rate) override;
    // Stops libpulse's thread and drops the connection without waiting for the
    // server; a playing stream stands at the position being heard.
    void audioClose() override;

    void setCancelCheck(CancelCheck check, void* context) override;

    // The last failed open found no server at all (rather than one that did
    // not answer): another kind of player may be tried.
    bool serverAbsent() const { return absent; }
    bool deviceOpen() const { return mainloop != nullptr; }

  private:
    enum class Wait { ready, failed, timedOut, cancelled };

    static void contextStateChanged(pa_context* context, void* player);
    static void streamStateChanged(pa_stream* stream, void* player);
    static void streamWantsData(pa_stream* stream, std::size_t bytes, void* player);
    static void timingUpdated(pa_stream* stream, void* player);
    static void timingAnswered(pa_stream* stream, int success, void* player);

    // Audio thread: writes `bytes` of music or silence, then takes a snapshot.
    void fill(std::size_t bytes);
    // Audio thread, libpulse's lock held: the server's time for the stream.
    void takeSnapshot();
    // The stream frame being heard; the caller holds `lock`.
    std::uint64_t heardFrame() override;
    // Waits (main thread) until `state` says ready or failed.
    Wait waitUntilReady(const std::atomic<int>& state, std::int64_t deadline);
    // The steps of audioOpen: the main loop and the connection to the server
    // (on failure, the reason given and what was made torn down), then the
    // playback stream requested (false, with a reason, when refused).
    bool startContext();
    bool requestStream();
    // The reason libpulse gives for the last failure, under its lock.
    void failWithServerError(const char* what);
    void teardown();

    // Main thread only.
    pa_threaded_mainloop* mainloop = nullptr;
    pa_context* context = nullptr;
    pa_stream* output = nullptr;
    CancelCheck cancelCheck = nullptr;
    void* cancelContext = nullptr;
    bool absent = false;

    // Audio thread only: a timing request is on its way.
    bool timingRequested = false;
    // Set by libpulse's thread: 0 pending, 1 ready, -1 failed.
    std::atomic<int> contextState{0};
    std::atomic<int> streamState{0};

    // Guarded by `lock` (shared with the audio thread), as are the stream,
    // `playing` and `heard`.
    std::uint64_t deviceFrames = 0;  // frames written to the server, silence included
    bool timed = false;              // a snapshot exists
    std::uint64_t snapshotFrame = 0; // device frame being played at snapshotTime
    std::int64_t snapshotTime = 0;   // steady clock, ns
    bool snapshotRunning = false;    // the server was playing then
};
