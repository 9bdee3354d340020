// AlsaAudioPlayer: the music player on ALSA itself (no sound server: minimal
// installs, small boards), through alsa-lib. The position is the device's own
// account of what is still to be heard (its delay, which a plugin such as
// PulseAudio's or PipeWire's fills in with the server's own), read after each
// write and carried forward on the monotonic clock. One Ogg Vorbis stream at a
// time, decoded on the player's own thread.
#pragma once

#include "platform/posix/audio/locked_stream_player.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class AlsaAudioPlayer : public LockedStreamPlayer {
  public:
    // How long audioOpen waits for the device to open.
    static constexpr std::uint32_t openTimeoutMs = 3000;
    // Frames per write, and writes the device buffers: a pause or seek is
    // heard within about periodFrames * periods.
    static constexpr std::uint32_t periodFrames = 512;
    static constexpr std::uint32_t periods = 4;
    // Between two writes the position runs on the monotonic clock for at most
    // this long; past it (a device that stopped) it stands.
    static constexpr std::uint32_t extrapolationLimitMs = 200;

    AlsaAudioPlayer() = default;
    ~AlsaAudioPlayer() override;

    // Opens ALSA's default playback device (or SHADESTRIP_ALSA_DEVICE) on the
    // player's thread, which then plays (silence while nothing plays) until
    // audioClose. False, with a reason, when the device does not open, when
    // it has not opened within openTimeoutMs or the cancel check asks to stop
    // (the open is then left to end on its own), and for any rate but 44100 Hz.
    bool audioOpen(std::uint32_t rate) override;
    // Stops the thread and closes the device; a playing stream stands at the
    // position being heard.
    void audioClose() override;

    void setCancelCheck(CancelCheck check, void* context) override {
        cancelCheck = check;
        cancelContext = context;
    }
    bool deviceOpen() const { return worker.joinable(); }
    // The last open failed at once (no device), not by waiting: another kind
    // of player may be tried. Named as the servers' players name it.
    bool serverAbsent() const { return !openingLeftBehind; }

    // What the player's thread and audioOpen share; public for the thread only.
    struct Shared;

  private:
    // The player's thread: opens the device, then writes until told to stop.
    void run(std::shared_ptr<Shared> shared);
    // One period of music or silence into `out`; takes `lock`.
    void fill(std::int16_t* out, std::uint32_t frames);
    // After a write: the device's delay, read now, as the snapshot.
    void takeSnapshot(std::int64_t delayFrames, bool running);
    std::uint64_t heardFrame() override;

    // Main thread only.
    std::thread worker;
    std::shared_ptr<Shared> shared;
    CancelCheck cancelCheck = nullptr;
    void* cancelContext = nullptr;
    bool openingLeftBehind = false;

    // Guarded by `lock` (shared with the player's thread), as are the stream,
    // `playing` and `heard`.
    std::uint64_t deviceFrames = 0; // frames written to the device, silence included
    bool timed = false;
    std::uint64_t snapshotFrame = 0; // device frame heard at snapshotTime
    std::int64_t snapshotTime = 0;   // monotonic clock, ns
    bool snapshotRunning = false;
};
