// SdlAudioPlayer: the music player on Linux and macOS. One Ogg Vorbis stream
// at a time, decoded as it plays and handed to SDL2's audio callback; its
// position is the frame being heard. Not the decoder (src/audio).
#pragma once

#include "platform/device_stream_player.h"

#include <cstdint>

struct SDL_AudioSpec;

class SdlAudioPlayer : public DeviceStreamPlayer {
  public:
    // Frames per callback buffer: small enough that the heard position is
    // estimated within a fraction of a millisecond, large enough that SDL's
    // timing stays steady.
    static constexpr std::uint32_t deviceBufferFrames = 1024;
    struct Opening;

    SdlAudioPlayer() = default;
    ~SdlAudioPlayer() override;

    bool deviceOpen() const override { return device != 0; }

  private:
    // Starts SDL's audio alone and opens the default output device. Fails
    // when SDL finds no device (the failure reason is then SDL's own words),
    // or when it has not opened one within openTimeoutMs or the cancel check
    // asks to stop (the open is then left to end on its own, and later opens fail).
    bool openDevice() override;
    // Stops the device and SDL's audio.
    void closeDevice() override;
    // SDL's device lock, which its callback runs with; nothing to hold while
    // no device is open.
    void lockDevice() override;
    void unlockDevice() override;

    // Runs on SDL's audio thread, with the device lock held.
    static void deviceCallback(void* player, std::uint8_t* out, int length);
    void fill(std::int16_t* out, std::uint32_t frames);
    // The stream frame being heard now; the caller holds the device lock.
    std::uint64_t heardFrame() override;

    // Opens the device on a helper thread within openTimeoutMs; 0 on failure.
    std::uint32_t openBounded(const SDL_AudioSpec& want);

    // Main thread only.
    std::uint32_t device = 0;

    // Shared with the callback (as are the stream, `playing`, `heard` and
    // deviceFrames): guarded by the device lock while it is open.
    std::uint32_t bufferFrames = deviceBufferFrames;
    std::uint64_t lastBufferStart = 0; // device frame the last callback began at
    std::int64_t lastCallbackTime = 0; // steady clock, ns, of the last callback
    bool deviceStarted = false;        // the callback has run since the device opened
};
