// Ogg Vorbis decoding for the tests. The decoder's implementation lives in
// this file only: it leaves single-letter macros defined.
#include "decoded_track.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <stb/stb_vorbis.h>

namespace {

// The first Ogg page holds the identification header: after the page header
// and its segment table come 0x01 "vorbis", version (4 bytes), channels (1),
// rate (4), maximum (4) and nominal (4) bitrate, little-endian.
long readNominalBitrate(const std::vector<unsigned char>& bytes) {
    if (bytes.size() < 27 || std::memcmp(bytes.data(), "OggS", 4) != 0)
        return 0;
    const std::size_t header = 27 + bytes[26];
    const std::size_t nominal = header + 7 + 4 + 1 + 4 + 4;
    if (bytes.size() < nominal + 4 || bytes[header] != 1 ||
        std::memcmp(&bytes[header + 1], "vorbis", 6) != 0)
        return 0;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[nominal + i];
    return static_cast<long>(static_cast<std::int32_t>(value));
}

} // namespace

bool decodeTrack(const std::string& path, DecodedTrack& track) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    track.nominalBitrate = readNominalBitrate(bytes);
    short* decoded = nullptr;
    const int frames = stb_vorbis_decode_memory(bytes.data(), static_cast<int>(bytes.size()),
                                                &track.channels, &track.sampleRate, &decoded);
    if (frames <= 0 || !decoded)
        return false;
    track.samples.resize(static_cast<std::size_t>(frames) * track.channels);
    for (std::size_t i = 0; i < track.samples.size(); ++i)
        track.samples[i] = decoded[i] / 32768.0f;
    std::free(decoded);
    return true;
}
