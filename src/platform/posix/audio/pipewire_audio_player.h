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

#include "platform/posix/audio/locked_stream_player.h"

#include <atomic>
#include <cstdint>
#include <mutex>

struct pw_context;
struct pw_core;
struct pw_thread_loop;
struct pw_stream;

class PipeWireAudioPlayer : public LockedStreamPlayer {
  public:
    // How long audioOpen waits for the graph to take the stream.
    static constexpr std::uint32_t openTimeoutMs = 3000;
    // The buffer size asked of the graph, in frames: the graph may choose
    // another (its forced quantum, another client's smaller one).
    static constexpr std::uint32_t latencyFrames = 1024;
    // Between two graph cycles the position runs on the monotonic clock for at
    // most this long; past it (a graph that stopped) it stands.
    static constexpr std::uint32_t extrapolationLimitMs = 200;

    PipeWireAudioPlayer();
    ~PipeWireAudioPlayer() override;

    // Connects to the PipeWire daemon (never starts one) and opens a playback
    // stream that runs, silent while nothing plays, until audioClose. False,
    // with a reason, when there is no daemon (serverAbsent), when the graph
    // does not start the stream within openTimeoutMs, when the cancel check
    // asks to stop, and for any rate but 44100 Hz.
    bool audioOpen(std::uint32_t rate) override;
    // Stops the graph's thread and drops the connection; a playing stream
    // stands at the position being heard.
    void audioClose() override;

    void setCancelCheck(CancelCheck check, void* context) override;

    // The last failed open found no PipeWire daemon at all: another kind of
    // player may be tried.
    bool serverAbsent() const { return absent; }
    bool deviceOpen() const { return loop != nullptr; }

    // What the graph's thread sees; public for the C callbacks only.
    struct Hooks;

  private:
    // Graph thread: fills one buffer with music or silence and notes when its
    // first frame will be heard.
    void process();
    // The stream frame being heard; the caller holds `lock`.
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
    CancelCheck cancelCheck = nullptr;
    void* cancelContext = nullptr;
    bool absent = false;

    // Set by the loop's thread: 0 pending, 1 streaming, -1 failed.
    std::atomic<int> streamState{0};

    // Guarded by `lock` (shared with the graph's thread), as are the stream,
    // `playing` and `heard`.
    std::uint64_t deviceFrames = 0;  // frames handed to the graph, silence included
    bool timed = false;              // a snapshot exists
    std::uint64_t snapshotFrame = 0; // device frame heard at snapshotTime
    std::int64_t snapshotTime = 0;   // monotonic clock, ns (may lie ahead)
    std::int64_t lastCycle = 0;      // monotonic clock, ns, of the last graph cycle
    std::uint64_t lastTicks = 0;     // the graph's ticks at the last cycle
    std::int64_t quantumTicks = 0;   // the graph's cycle, in its ticks (0: not known yet)
};
