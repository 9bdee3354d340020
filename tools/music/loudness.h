// Loudness and level measurement of stereo audio: K-weighted, gated integrated
// loudness in LUFS (the broadcast loudness measure) and sample peaks.
#pragma once

#include <cstddef>
#include <vector>

namespace music {

// Integrated loudness of frames [first, first + count) of interleaved stereo
// float samples: K-weighting, 400 ms blocks every 100 ms, the absolute gate at
// -70 LUFS and the relative gate 10 LU below. Returns -1000 for silence or a
// range shorter than one block.
double integratedLoudness(const float* interleaved, std::size_t first, std::size_t count);

inline double integratedLoudness(const std::vector<float>& interleaved) {
    return integratedLoudness(interleaved.data(), 0, interleaved.size() / 2);
}

// Largest absolute sample value of frames [first, first + count), both channels.
double samplePeak(const float* interleaved, std::size_t first, std::size_t count);

// Root mean square of frames [first, first + count), both channels together.
double rms(const float* interleaved, std::size_t first, std::size_t count);

} // namespace music
