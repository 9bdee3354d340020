// The loudness meter against tones of known loudness.
#include "loudness.h"

#include "dsp.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace music;

std::vector<float> tone(double hz, double amplitude, double seconds, bool bothChannels = true) {
    std::vector<float> out(2 * static_cast<std::size_t>(seconds * 44100.0), 0.0f);
    for (std::size_t i = 0; i < out.size() / 2; ++i) {
        const float x = static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * i / 44100.0));
        out[2 * i] = x;
        if (bothChannels)
            out[2 * i + 1] = x;
    }
    return out;
}

TEST(Loudness, ReadsTheReferenceTonesRight) {
    // A 997 Hz tone at -20 dBFS in both channels reads -20 LUFS; a full-scale
    // tone in one channel only reads -3 LUFS.
    EXPECT_NEAR(integratedLoudness(tone(997.0, 0.1, 5.0)), -20.0, 0.1);
    EXPECT_NEAR(integratedLoudness(tone(997.0, 1.0, 5.0, false)), -3.01, 0.1);
    // The K-weighting hears deep bass less and presence more.
    EXPECT_LT(integratedLoudness(tone(40.0, 0.1, 5.0)), -20.5);
    EXPECT_GT(integratedLoudness(tone(4000.0, 0.1, 5.0)), -19.0);
}

TEST(Loudness, GatesSilenceAndQuietPassagesOut) {
    std::vector<float> loudThenSilent = tone(997.0, 0.1, 4.0);
    loudThenSilent.resize(loudThenSilent.size() * 3, 0.0f);
    // Only the blocks that straddle the end pull the reading down a little.
    EXPECT_NEAR(integratedLoudness(loudThenSilent), -20.0, 0.2);
    // A passage 30 dB down falls under the relative gate.
    std::vector<float> withQuiet = tone(997.0, 0.1, 4.0);
    const std::vector<float> quiet = tone(997.0, 0.00316, 4.0);
    withQuiet.insert(withQuiet.end(), quiet.begin(), quiet.end());
    EXPECT_NEAR(integratedLoudness(withQuiet), -20.0, 0.2);
    EXPECT_EQ(integratedLoudness(std::vector<float>(44100 * 2, 0.0f)), -1000.0);
    EXPECT_EQ(integratedLoudness(tone(997.0, 0.1, 0.2)), -1000.0); // shorter than a block
}

TEST(Levels, PeakAndRmsOfARange) {
    const std::vector<float> t = tone(997.0, 0.5, 1.0);
    EXPECT_NEAR(samplePeak(t.data(), 0, 44100), 0.5, 1e-3);
    EXPECT_NEAR(rms(t.data(), 0, 44100), 0.5 / std::sqrt(2.0), 1e-3);
    EXPECT_EQ(samplePeak(t.data(), 0, 0), 0.0);
}

} // namespace
