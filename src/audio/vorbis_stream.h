// VorbisStream: an Ogg Vorbis track read from memory and decoded as it is
// played, handed out as 16-bit stereo frames at 44100 Hz. It has no device and
// no thread of its own: a player pulls frames from it and guards it with its own lock.
#pragma once

#include "imaging/non_copyable.h"

#include <cstdint>

struct stb_vorbis;

class VorbisStream : NonCopyable {
  public:
    // The only format handed out: 44100 frames per second of two 16-bit samples
    // (left, right). Byte positions are of that format.
    static constexpr std::uint32_t frameRate = 44100;
    static constexpr std::uint32_t channels = 2;
    static constexpr std::uint32_t bytesPerFrame = 4;

    VorbisStream() = default;
    ~VorbisStream() { close(); }

    // Reads the stream's headers from the `length` bytes at `data`, which must
    // stay valid and unmoved until close. Decodes no more than the first packet.
    // False, and closed, when the bytes are missing, empty or not a readable
    // Ogg Vorbis stream, when its length cannot be found, or when it is not at
    // 44100 Hz (there is no resampler). A mono track plays on both channels.
    bool open(const void* data, std::uint32_t length);
    void close();
    bool isOpen() const { return decoder != nullptr; }

    // Fills `frames` frames at `out` (left, right interleaved) from the
    // position on and moves the position past them. After the end of the track,
    // or a packet that cannot be decoded, the rest is silence. Returns the
    // number of track frames written; the position moves by exactly that.
    std::uint32_t read(std::int16_t* out, std::uint32_t frames);

    // Moves to `frame`, sample-exact: the next read starts with that frame, as
    // reading from the start would give it. At or past the end, the stream
    // stands at its end and reads silence. About 0.1 ms.
    void seek(std::uint64_t frame);

    // Frames handed out: the index of the frame the next read starts with.
    std::uint64_t position() const { return nextFrame; }
    // Frames in the whole track; 0 when closed.
    std::uint64_t lengthFrames() const { return length; }
    // True once nothing is left to hand out.
    bool ended() const { return atEnd; }

    // --- Conversions of the 16-bit stereo 44100 Hz format ---

    // Whole frames of a byte position, in seconds.
    static double bytesToSeconds(std::uint64_t bytes);
    // The byte position of the frame that is playing at `seconds`. A negative
    // time (drag scrubbing can ask for one) and NaN give 0, the start.
    static std::uint64_t secondsToBytes(float seconds);

  private:
    stb_vorbis* decoder = nullptr;
    std::uint64_t length = 0;
    std::uint64_t nextFrame = 0;
    bool atEnd = true;
};
