// VorbisStream over stb_vorbis, which is compiled in its own translation unit;
// only its declarations are seen here.
#include "audio/vorbis_stream.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <climits>
#include <cmath>
#include <cstring>

namespace {

// stb_vorbis counts samples in 32 bits and gives at most this many.
constexpr std::uint64_t maximumFrames = 0xFFFFFFFEu;

void fillSilence(std::int16_t* out, std::uint32_t frames) {
    std::memset(out, 0, static_cast<std::size_t>(frames) * VorbisStream::bytesPerFrame);
}

} // namespace

bool VorbisStream::open(const void* data, std::uint32_t bytes) {
    close();
    if (!data || bytes == 0 || bytes > static_cast<std::uint32_t>(INT_MAX))
        return false;
    int error = 0;
    decoder = stb_vorbis_open_memory(static_cast<const unsigned char*>(data),
                                     static_cast<int>(bytes), &error, nullptr);
    if (!decoder)
        return false;
    const stb_vorbis_info info = stb_vorbis_get_info(decoder);
    const unsigned int frames = stb_vorbis_stream_length_in_samples(decoder);
    // Seeking and the position both need the length: a stream whose last page
    // cannot be found is refused here rather than misbehaving later.
    if (info.sample_rate != frameRate || info.channels < 1 || frames == 0 ||
        frames > maximumFrames) {
        close();
        return false;
    }
    length = frames;
    nextFrame = 0;
    atEnd = false;
    return true;
}

void VorbisStream::close() {
    if (decoder)
        stb_vorbis_close(decoder);
    decoder = nullptr;
    length = 0;
    nextFrame = 0;
    atEnd = true;
}

std::uint32_t VorbisStream::read(std::int16_t* out, std::uint32_t frames) {
    std::uint32_t done = 0;
    while (!atEnd && done < frames) {
        // Never ask for more than the track has left: the last page's length
        // is the track's length, whatever the final packet decodes to.
        std::uint64_t wanted = frames - done;
        if (wanted > length - nextFrame)
            wanted = length - nextFrame;
        const int got = stb_vorbis_get_samples_short_interleaved(
            decoder, static_cast<int>(channels), out + static_cast<std::size_t>(done) * channels,
            static_cast<int>(wanted * channels));
        if (got <= 0) {
            // The end, or a packet the decoder gives up on: silence from here.
            atEnd = true;
            break;
        }
        done += static_cast<std::uint32_t>(got);
        nextFrame += static_cast<std::uint64_t>(got);
        if (nextFrame >= length)
            atEnd = true;
    }
    if (done < frames)
        fillSilence(out + static_cast<std::size_t>(done) * channels, frames - done);
    return done;
}

void VorbisStream::seek(std::uint64_t frame) {
    if (!decoder)
        return;
    if (frame >= length) {
        nextFrame = length;
        atEnd = true;
        return;
    }
    if (!stb_vorbis_seek(decoder, static_cast<unsigned int>(frame))) {
        // A damaged page on the way: rather silence than the wrong music.
        nextFrame = frame;
        atEnd = true;
        return;
    }
    nextFrame = frame;
    atEnd = false;
}

double VorbisStream::bytesToSeconds(std::uint64_t bytes) {
    // Whole frames: a partial frame has not been played.
    const std::uint64_t frames = bytes / bytesPerFrame;
    return static_cast<double>(frames) / static_cast<double>(frameRate);
}

std::uint64_t VorbisStream::secondsToBytes(float seconds) {
    // A negative time plays from the start; so does NaN, which fails the test too.
    if (!(seconds > 0.0f))
        return 0;
    const double frames = std::floor(static_cast<double>(seconds) * frameRate);
    // Far past any track: stand at the end rather than overflow.
    if (frames >= static_cast<double>(maximumFrames))
        return maximumFrames * bytesPerFrame;
    return static_cast<std::uint64_t>(frames) * bytesPerFrame;
}
