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

#include "platform/device_stream_player.h"

#include <atomic>
#include <cstdint>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

class PulseAudioPlayer : public DeviceStreamPlayer {
  public:
    // Audio queued ahead of the listener: what a pause or seek takes to be heard.
    static constexpr std::uint32_t targetLatencyMs = 40;

    PulseAudioPlayer() = default;
    ~PulseAudioPlayer() override;

    bool deviceOpen() const override { return mainloop != nullptr; }

  private:
    // Connects to the server (never starts one) and opens a playback stream.
    // Fails, with a reason, when there is no server (absent), when it does not
    // take the stream within openTimeoutMs, or when the cancel check asks to stop.
    bool openDevice() override;
    // Stops libpulse's thread and drops the connection without waiting for the server.
    void closeDevice() override { teardown(); }

    static void contextStateChanged(pa_context* context, void* player);
    static void streamStateChanged(pa_stream* stream, void* player);
    static void streamWantsData(pa_stream* stream, std::size_t bytes, void* player);
    static void timingUpdated(pa_stream* stream, void* player);
    static void timingAnswered(pa_stream* stream, int success, void* player);

    // Audio thread: writes `bytes` of music or silence, then takes a snapshot.
    void fill(std::size_t bytes);
    // Audio thread, libpulse's lock held: the server's time for the stream.
    void takeSnapshot();
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

    // Audio thread only: a timing request is on its way.
    bool timingRequested = false;
    // Set by libpulse's thread: 0 pending, 1 ready, -1 failed.
    std::atomic<int> contextState{0};
    std::atomic<int> streamState{0};
};
