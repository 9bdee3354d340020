// PipeWireAudioPlayer: the music player on a PipeWire graph, through
// libpipewire's own stream (not its PulseAudio service). The position is the
// graph's own account of when each buffer will be heard: the stream's time
// (the delay to the device, what waits in the stream and in its resampler)
// read as the buffer is handed over, carried forward on the monotonic clock.
// One Ogg Vorbis stream at a time, decoded on the graph's thread as it asks.
//
// The main thread never takes the loop's lock once the device is open: what it
// shares with the graph's thread is guarded by a lock of the player's own.
#pragma once

#include "platform/device_stream_player.h"

#include <atomic>
#include <cstdint>

struct pw_context;
struct pw_core;
struct pw_thread_loop;
struct pw_stream;

class PipeWireAudioPlayer : public DeviceStreamPlayer {
  public:
    // The buffer size asked of the graph, in frames: the graph may choose
    // another (its forced quantum, another client's smaller one).
    static constexpr std::uint32_t latencyFrames = 1024;

    PipeWireAudioPlayer();
    ~PipeWireAudioPlayer() override;

    bool deviceOpen() const override { return loop != nullptr; }

    // What the graph's thread sees; public for the C callbacks only.
    struct Hooks;

  private:
    // Connects to the PipeWire daemon (never starts one) and opens a playback
    // stream. Fails, with a reason, when there is no daemon (absent), when the
    // graph does not start the stream within openTimeoutMs, or when the cancel
    // check asks to stop.
    bool openDevice() override;
    // Stops the graph's thread and drops the connection.
    void closeDevice() override { teardown(); }
    // Graph thread: fills one buffer with music or silence and notes when its
    // first frame will be heard.
    void process();
    // The stream frame being heard, carried forward from the cycle's
    // snapshot (which may lie ahead); the caller holds `lock`.
    std::uint64_t heardFrame() override;
    // Connects the stream (main thread, loop locked); false on failure.
    bool connectStream();
    void teardown();

    // Main thread only.
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* output = nullptr;
    Hooks* hooks = nullptr;

    // Set by the loop's thread: 0 pending, 1 streaming, -1 failed.
    std::atomic<int> streamState{0};

    // Guarded by `lock` (shared with the graph's thread), as are the stream,
    // `playing`, `heard` and the snapshot (whose time may lie ahead).
    std::int64_t lastCycle = 0;    // monotonic clock, ns, of the last graph cycle
    std::uint64_t lastTicks = 0;   // the graph's ticks at the last cycle
    std::int64_t quantumTicks = 0; // the graph's cycle, in its ticks (0: not known yet)
};
