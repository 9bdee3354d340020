// K-weighted gated loudness, sample peak and RMS of stereo float audio.
#include "loudness.h"

#include "dsp.h"

#include <cmath>

namespace music {

namespace {

struct Biquad {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double z1 = 0.0, z2 = 0.0;
    double process(double x) {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// The two stages of the K-weighting at 44.1 kHz, from the analogue prototypes
// (a high shelf of about +4 dB above 1.7 kHz, then a 38 Hz high-pass).
void kWeighting(Biquad& shelf, Biquad& highpass) {
    double k = prewarp(1681.974450955533);
    const double q = 0.7071752369554196;
    const double vh = dbToGain(3.999843853973347);
    const double vb = exp2d(log2d(vh) * 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    shelf.b0 = (vh + vb * k / q + k * k) / a0;
    shelf.b1 = 2.0 * (k * k - vh) / a0;
    shelf.b2 = (vh - vb * k / q + k * k) / a0;
    shelf.a1 = 2.0 * (k * k - 1.0) / a0;
    shelf.a2 = (1.0 - k / q + k * k) / a0;

    k = prewarp(38.13547087602444);
    const double q2 = 0.5003270373238773;
    a0 = 1.0 + k / q2 + k * k;
    highpass.b0 = 1.0;
    highpass.b1 = -2.0;
    highpass.b2 = 1.0;
    highpass.a1 = 2.0 * (k * k - 1.0) / a0;
    highpass.a2 = (1.0 - k / q2 + k * k) / a0;
}

double blockLoudness(double meanSquare) {
    return -0.691 + 10.0 * log2d(meanSquare) * 0.30102999566398119521;
}

} // namespace

double integratedLoudness(const float* interleaved, std::size_t first, std::size_t count) {
    const std::size_t hop = static_cast<std::size_t>(sampleRate / 10.0); // 100 ms
    if (count < 4 * hop)
        return -1000.0;
    // Sum of the weighted squares of both channels per 100 ms hop; a 400 ms
    // block is four consecutive hops.
    std::vector<double> hops(count / hop, 0.0);
    Biquad shelf[2], highpass[2];
    kWeighting(shelf[0], highpass[0]);
    kWeighting(shelf[1], highpass[1]);
    for (std::size_t h = 0; h < hops.size(); ++h) {
        double sum = 0.0;
        for (std::size_t i = 0; i < hop; ++i) {
            const std::size_t frame = first + h * hop + i;
            for (int c = 0; c < 2; ++c) {
                const double y = highpass[c].process(shelf[c].process(interleaved[2 * frame + c]));
                sum += y * y;
            }
        }
        hops[h] = sum;
    }
    std::vector<double> blocks;
    for (std::size_t b = 0; b + 4 <= hops.size(); ++b)
        blocks.push_back((hops[b] + hops[b + 1] + hops[b + 2] + hops[b + 3]) / (4.0 * hop));

    double sum = 0.0;
    std::size_t used = 0;
    for (double block : blocks)
        if (blockLoudness(block) > -70.0) {
            sum += block;
            ++used;
        }
    if (used == 0)
        return -1000.0;
    const double relativeGate = blockLoudness(sum / used) - 10.0;
    sum = 0.0;
    used = 0;
    for (double block : blocks)
        if (blockLoudness(block) > -70.0 && blockLoudness(block) > relativeGate) {
            sum += block;
            ++used;
        }
    return blockLoudness(sum / used);
}

double samplePeak(const float* interleaved, std::size_t first, std::size_t count) {
    double peak = 0.0;
    for (std::size_t i = 2 * first; i < 2 * (first + count); ++i)
        peak = std::fmax(peak, std::fabs(static_cast<double>(interleaved[i])));
    return peak;
}

double rms(const float* interleaved, std::size_t first, std::size_t count) {
    if (count == 0)
        return 0.0;
    double sum = 0.0;
    for (std::size_t i = 2 * first; i < 2 * (first + count); ++i)
        sum += static_cast<double>(interleaved[i]) * interleaved[i];
    return std::sqrt(sum / (2.0 * count));
}

} // namespace music
