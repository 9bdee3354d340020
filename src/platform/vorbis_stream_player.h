// VorbisStreamPlayer: what the players that decode the track themselves (SDL,
// PulseAudio, waveOut, Web Audio) share: the one Ogg Vorbis stream and its
// handle, whether it plays, the run being heard, and why the last open failed.
// Not a device and not a lock: each player keeps its own of both, and calls the
// helpers below with its own lock held (where it has one).
#pragma once

#include "app/platform.h"
#include "audio/heard_position.h"
#include "audio/vorbis_stream.h"
#include "imaging/non_copyable.h"

#include <cstdint>

class VorbisStreamPlayer : public AudioPlayer, NonCopyable {
  public:
    // Conversions of the one format streams decode to: they need no stream and no lock.
    double streamBytesToSeconds(std::uint32_t stream, std::uint64_t bytes) final;
    // A negative time (the controls' drag scrubbing can seek before the start)
    // becomes 0: on resume the music plays from its first frame.
    std::uint64_t streamSecondsToBytes(std::uint32_t stream, float seconds) final;
    // The text of the last fail since clearFailure (null when there is none).
    const char* failureReason() const override;

  protected:
    VorbisStreamPlayer() = default;
    ~VorbisStreamPlayer() override = default;

    // The stream frame being heard now. Called by the helpers below, so with
    // the player's lock held.
    virtual std::uint64_t heardFrame() = 0;
    // Begins a new run at stream frame `frame` (a start, a resume or a seek);
    // every run begins here. A player that keeps more per run extends it.
    virtual void moveTo(std::uint64_t frame) { heard.moveTo(frame); }

    // --- With the player's lock held ---

    bool valid(std::uint32_t stream) const { return stream != 0 && stream == handle; }
    // A stream that decodes the `length` bytes at `data`, stopped at its first
    // frame. Its handle is one never given before, so a stale handle is refused
    // rather than acting on the next stream. 0 while a stream exists, and for
    // bytes that are not a readable 44100 Hz Ogg Vorbis stream (failing with
    // `undecodable` when that is not null).
    std::uint32_t openStream(const void* data, std::uint32_t length, const char* undecodable);
    // Stops and closes the stream; its handle is refused from now on.
    void closeStream();
    // Moves the decoder to `frame` (past the end: to the end, where it reads
    // silence) and begins a run from where it stands.
    void standAt(std::uint64_t frame);
    // A playing stream stops and stands at the frame being heard, as after a
    // pause (a device that closes). Nothing happens while it is stopped.
    void stopWhereHeard();
    // The same for a pause: what was handed out but not yet heard plays again
    // on resume. The decoder is moved only when it is not already there, ready
    // to go on.
    void pauseWhereHeard();

    // The reason for failureReason: `what`, then ": why" when `why` is not null.
    void fail(const char* what, const char* why = nullptr);
    void clearFailure() { reason[0] = '\0'; }

    // Guarded by the player's lock: the device's thread (where there is one)
    // reads the stream, the run and `playing` too. A run begins only through moveTo.
    VorbisStream music;
    HeardPosition heard;
    bool playing = false; // sounding, or to sound as soon as the device runs
    std::uint32_t handle = 0;

  private:
    std::uint32_t lastHandle = 0;
    char reason[200] = {};
};
