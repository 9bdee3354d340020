// Ogg Vorbis streams made on the spot for the audio tests and benchmarks, so
// they need no track on disk. The signal never rests on zero in either
// channel: silence a player writes is always told apart from the music.
#pragma once

#include <cstdint>
#include <vector>

// `seconds` of the test signal at `rate` Hz in `channels` channels (1 or 2),
// encoded with libvorbisenc at a low quality (small and quick to make).
std::vector<std::uint8_t> makeTestOgg(double seconds, int rate = 44100, int channels = 2);

// The signal that is encoded, in [-1, 1]: the left channel rides on a
// positive offset and the right on a negative one, so a swap shows; a chirp
// and a pseudo-random part make every stretch of it different from the others.
float testSignal(std::uint64_t frame, int channel, int rate = 44100);
