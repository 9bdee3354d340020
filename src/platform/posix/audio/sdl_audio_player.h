// SdlAudioPlayer: the music player on Linux and macOS. One Ogg Vorbis stream
// at a time, decoded as it plays and handed to SDL2's audio callback; its
// position is the frame being heard. Not the decoder (src/audio).
#pragma once

#include "platform/vorbis_stream_player.h"

#include <cstdint>

struct SDL_AudioSpec;

class SdlAudioPlayer : public VorbisStreamPlayer {
  public:
    // Frames per callback buffer: small enough that the heard position is
    // estimated within a fraction of a millisecond, large enough that SDL's
    // timing stays steady.
    static constexpr std::uint32_t deviceBufferFrames = 1024;
    // How long audioOpen waits for SDL to open the device.
    static constexpr std::uint32_t openTimeoutMs = 3000;
    struct Opening;

    SdlAudioPlayer() = default;
    ~SdlAudioPlayer() override;

    // Starts SDL's audio alone and opens the default output device, which then
    // runs (silent while nothing plays) until audioClose. False when SDL finds
    // no device (the failure reason is then SDL's own words), when it has not
    // opened one within openTimeoutMs or the cancel check asks to stop (the
    // open is then left to end on its own, and later opens fail), and for any
    // rate but 44100 Hz, the only one streams decode to.
    bool audioOpen(std::uint32_t rate) override;
    // Stops the device; a playing stream stands at the position being heard.
    void audioClose() override;

    // One stream at a time: 0 while another exists, and for bytes that are not
    // a readable 44100 Hz Ogg Vorbis stream.
    std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) override;
    bool streamPlay(std::uint32_t stream, bool restart) override;
    bool streamPause(std::uint32_t stream) override;
    std::uint64_t streamGetPosition(std::uint32_t stream) override;
    bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) override;
    bool streamFree(std::uint32_t stream) override;
    void setCancelCheck(CancelCheck check, void* context) override {
        cancelCheck = check;
        cancelContext = context;
    }

    // Frames of the stream handed to the device so far (for tests: the
    // position never passes it).
    std::uint64_t framesHandedOut();
    bool deviceOpen() const { return device != 0; }

  private:
    // Runs on SDL's audio thread, with the device lock held.
    static void deviceCallback(void* player, std::uint8_t* out, int length);
    void fill(std::int16_t* out, std::uint32_t frames);
    // The stream frame being heard now; the caller holds the device lock.
    std::uint64_t heardFrame() override;

    // Opens the device on a helper thread within openTimeoutMs; 0 on failure.
    std::uint32_t openBounded(const SDL_AudioSpec& want);

    // Main thread only.
    std::uint32_t device = 0;
    CancelCheck cancelCheck = nullptr;
    void* cancelContext = nullptr;
    bool openingLeftBehind = false;

    // Shared with the callback (as are the stream, `playing` and `heard`):
    // guarded by the device lock while it is open.
    std::uint32_t bufferFrames = deviceBufferFrames;
    std::uint64_t deviceFrames = 0;    // frames handed to the device, silence included
    std::uint64_t lastBufferStart = 0; // device frame the last callback began at
    std::int64_t lastCallbackTime = 0; // steady clock, ns, of the last callback
    bool deviceStarted = false;        // the callback has run since the device opened
};
