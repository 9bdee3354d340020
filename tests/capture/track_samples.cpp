// track-samples FIRST COUNT: writes COUNT stereo frames of the show's track
// from frame FIRST on, as the program decodes them (16-bit little-endian,
// left then right), to standard output. The reference for exported sound.
#include "audio/vorbis_stream.h"
#include "scenes/resource_blob.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const long long first = std::atoll(argv[1]);
    long long count = std::atoll(argv[2]);
    ResourceBlob music;
    VorbisStream track;
    if (first < 0 || count < 0 || !music.load(resourceId::music) ||
        !track.open(music.data, music.size))
        return 1;
    track.seek(static_cast<std::uint64_t>(first));
    std::vector<std::int16_t> chunk(2 * 4096);
    while (count > 0) {
        const std::uint32_t n = static_cast<std::uint32_t>(count < 4096 ? count : 4096);
        track.read(chunk.data(), n);
        if (std::fwrite(chunk.data(), 4, n, stdout) != n)
            return 1;
        count -= n;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
