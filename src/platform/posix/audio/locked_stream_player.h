// LockedStreamPlayer: the stream calls of the players whose device runs on a
// thread of its own (PulseAudio's, PipeWire's, the ALSA player's), each taken
// under one std::mutex that the device's thread also holds while it decodes.
// A player supplies the device and heardFrame.
#pragma once

#include "platform/vorbis_stream_player.h"

#include <cstdint>
#include <mutex>

class LockedStreamPlayer : public VorbisStreamPlayer {
  public:
    std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) override;
    // Plays from the first frame (restart) or from where the stream stands.
    bool streamPlay(std::uint32_t stream, bool restart) override;
    // What was handed to the device but not yet heard plays again on resume.
    bool streamPause(std::uint32_t stream) override;
    std::uint64_t streamGetPosition(std::uint32_t stream) override;
    // Past the end the stream stands at its end and plays silence.
    bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) override;
    bool streamFree(std::uint32_t stream) override;
    // Frames of the stream handed to the device so far (for tests).
    std::uint64_t framesHandedOut();

  protected:
    LockedStreamPlayer() = default;
    ~LockedStreamPlayer() override = default;

    // A new run also restarts the heard frames' climb.
    void moveTo(std::uint64_t frame) override;
    // The stream frame heard while the device plays its frame `device`: never
    // past what was handed to it (`written`), and never back within a run (a
    // timing update may correct the device's time slightly downwards). With
    // `lock` held.
    std::uint64_t climbTo(std::uint64_t device, std::uint64_t written);

    // Guards the stream, the run and `playing` against the device's thread.
    std::mutex lock;

  private:
    std::uint64_t lastReported = 0; // heard frames never go back within a run
};
