// The renderer: plays a Score through its instruments, the echo and the
// reverb into a stereo mix, then masters it (loudness, limiter, fade). Knows
// nothing about files or encoding.
#pragma once

#include "score.h"

#include <cstddef>
#include <vector>

namespace music {

// Interleaved stereo samples, left first.
using StereoBuffer = std::vector<float>;

// Renders frames [0, untilFrame) of the raw mix (no mastering); untilFrame < 0
// renders the whole score. The result has exactly that many frames.
StereoBuffer renderMix(const Score& score, long long untilFrame = -1);

// Settles the finished track from a raw mix: brings its integrated loudness to
// the score's target, limits sample peaks to the ceiling and applies the fade.
// Returns the gain in dB applied before the limiter.
double masterMix(const Score& score, StereoBuffer& samples);

// A single note of one instrument, alone and dry, for checking a voice.
StereoBuffer renderNote(const Instrument& instrument, double pitch, double velocity,
                        double holdSeconds, double totalSeconds);

} // namespace music
