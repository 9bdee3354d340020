// Fuzzes the music stream the way the players use it: a track is opened (whole
// or cut short at any byte), then read in pieces of any size and sought to any
// frame, in any order. Checks the stream's promises: reads stay inside their
// buffers and hand out at most what was asked, the position never passes the
// track's end, a seek lands exactly where asked (or at the end), and what is
// read after a seek is what reading from the start gives there.
//
// The decoder itself (stb_vorbis 1.22, a system header) is not safe on damaged
// streams: edits to a valid stream make it read out of bounds within seconds of
// fuzzing. The show decodes only its own embedded track, so the normal run
// keeps to undamaged bytes; SHADESTRIP_FUZZ_DAMAGED_OGG=1 also opens the input
// itself and edited copies of the track, to study the decoder.
#include "audio/test_ogg.h"
#include "audio/vorbis_stream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

struct Track {
    std::vector<std::uint8_t> bytes;
    std::vector<std::int16_t> samples; // the whole track, read from the start
};

Track makeTrack(int channels) {
    Track track;
    track.bytes = makeTestOgg(0.75, 44100, channels);
    VorbisStream stream;
    check(stream.open(track.bytes.data(), static_cast<std::uint32_t>(track.bytes.size())));
    track.samples.resize(2 * stream.lengthFrames());
    check(stream.read(track.samples.data(), static_cast<std::uint32_t>(stream.lengthFrames())) ==
          stream.lengthFrames());
    return track;
}

const Track& track(int channels) {
    static const Track mono = makeTrack(1);
    static const Track stereo = makeTrack(2);
    return channels == 1 ? mono : stereo;
}

// Reads and seeks as the script says. With `reference`, the stream is the
// whole track and every read must match it.
void exercise(const std::uint8_t* bytes, std::size_t size, const std::uint8_t* script,
              std::size_t scriptSize, const std::vector<std::int16_t>* reference) {
    VorbisStream stream;
    if (!stream.open(bytes, static_cast<std::uint32_t>(size))) {
        check(reference == nullptr);
        return;
    }
    const std::uint64_t length = stream.lengthFrames();
    if (reference)
        check(2 * length == reference->size());
    constexpr std::uint32_t most = 4096;
    // Two guard frames after the buffer catch a read past its end.
    std::vector<std::int16_t> out(2 * most + 4);
    for (std::size_t i = 0; i + 2 < scriptSize && i < 3 * 24; i += 3) {
        const std::uint32_t value = static_cast<std::uint32_t>(script[i + 1]) << 8 | script[i + 2];
        if (script[i] & 1) {
            // A seek anywhere in the track or up to a quarter beyond its end.
            const std::uint64_t target = value * (length + length / 4) / 65535;
            stream.seek(target);
            check(stream.position() == std::min(target, length));
            check(stream.ended() == (target >= length));
        } else {
            const std::uint64_t at = stream.position();
            const std::uint32_t frames = 1 + value % most;
            std::fill(out.begin() + 2 * most, out.end(), std::int16_t{0x5A5A});
            const std::uint32_t got = stream.read(out.data(), frames);
            check(got <= frames);
            check(std::all_of(out.begin() + 2 * most, out.end(),
                              [](std::int16_t s) { return s == 0x5A5A; }));
            check(stream.position() == at + got && stream.position() <= length);
            if (reference) {
                check(got == std::min<std::uint64_t>(frames, length - at));
                check(std::equal(out.begin(), out.begin() + 2 * got,
                                 reference->begin() + static_cast<std::ptrdiff_t>(2 * at)));
                // The rest of the request is silence.
                check(std::all_of(out.begin() + 2 * got, out.begin() + 2 * frames,
                                  [](std::int16_t s) { return s == 0; }));
            }
        }
    }
}

bool damagedStreams() {
    static const bool on = std::getenv("SHADESTRIP_FUZZ_DAMAGED_OGG") != nullptr;
    return on;
}

} // namespace

// The decoder loses its temporary buffer of codeword lengths when a sparse
// codebook turns out cut short or malformed while a stream opens: a few
// kilobytes once per refused stream, inside the decoder. Every other leak
// still counts.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:start_decoder\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > 4096)
        return 0;
    // Byte 0: mono or stereo; bytes 1 and 2: where the track is cut (65535 is
    // the whole track); the rest: the script.
    const Track& chosen = track((data[0] & 1) ? 1 : 2);
    const std::uint32_t cut = static_cast<std::uint32_t>(data[1]) << 8 | data[2];
    const std::size_t whole = chosen.bytes.size();
    const std::size_t kept = cut == 65535 ? whole : whole * cut / 65535;
    exercise(chosen.bytes.data(), kept, data + 3, size - 3,
             kept == whole ? &chosen.samples : nullptr);

    if (damagedStreams()) {
        exercise(data, size, data, size, nullptr);
        // Edits of the track: (offset high, offset low, value) triples.
        std::vector<std::uint8_t> edited = chosen.bytes;
        for (std::size_t i = 3; i + 3 <= size && i < 3 + 3 * 32; i += 3) {
            const std::size_t offset =
                (static_cast<std::size_t>(data[i]) << 8 | data[i + 1]) % edited.size();
            edited[offset] = data[i + 2];
        }
        exercise(edited.data(), edited.size(), data + 3, size - 3, nullptr);
    }
    return 0;
}
