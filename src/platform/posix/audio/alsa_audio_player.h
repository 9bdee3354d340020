// AlsaAudioPlayer: the music player on ALSA itself (no sound server: minimal
// installs, small boards), through alsa-lib. The position is the device's own
// account of what is still to be heard (its delay, which a plugin such as
// PulseAudio's or PipeWire's fills in with the server's own), read after each
// write and carried forward on the monotonic clock. One Ogg Vorbis stream at a
// time, decoded on the player's own thread.
#pragma once

#include "platform/device_stream_player.h"

#include <cstdint>
#include <memory>
#include <thread>

class AlsaAudioPlayer : public DeviceStreamPlayer {
  public:
    // Frames per write, and writes the device buffers: a pause or seek is
    // heard within about periodFrames * periods.
    static constexpr std::uint32_t periodFrames = 512;
    static constexpr std::uint32_t periods = 4;

    AlsaAudioPlayer() = default;
    ~AlsaAudioPlayer() override;

    bool deviceOpen() const override { return worker.joinable(); }

    // What the player's thread and audioOpen share; public for the thread only.
    struct Shared;

  private:
    // Opens ALSA's default playback device (or SHADESTRIP_ALSA_DEVICE) on the
    // player's thread, which then plays until closeDevice. Fails, with a
    // reason, when the device does not open (absent: another kind of player
    // may be tried), or when it has not opened within openTimeoutMs or the
    // cancel check asks to stop (the open is then left to end on its own).
    bool openDevice() override;
    // Stops the thread, which closes the device.
    void closeDevice() override;
    // The player's thread: opens the device, then writes until told to stop.
    void run(std::shared_ptr<Shared> shared);
    // After a write: the device's delay, read now, as the snapshot.
    void takeSnapshot(std::int64_t delayFrames, bool running);

    // Main thread only.
    std::thread worker;
    std::shared_ptr<Shared> shared;
};
