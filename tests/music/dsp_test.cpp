// The synthesizer's own math and building blocks: accuracy of the
// deterministic functions, and envelopes that start and end at rest.
#include "dsp.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace music;

TEST(DeterministicMath, MatchesTheLibraryFunctionsClosely) {
    for (double x = -40.0; x <= 40.0; x += 0.37) {
        EXPECT_NEAR(exp2d(x) / std::exp2(x), 1.0, 1e-14) << x;
        const double y = std::exp2(x);
        EXPECT_NEAR(log2d(y), x, 1e-12) << x;
    }
    for (double turns = -2.0; turns <= 2.0; turns += 0.0137)
        EXPECT_NEAR(sineTurns(turns), std::sin(2.0 * M_PI * turns), 1e-6) << turns;
    EXPECT_NEAR(noteHz(69.0), 440.0, 1e-9);
    EXPECT_NEAR(noteHz(57.0), 220.0, 1e-9);
    EXPECT_NEAR(dbToGain(-6.0), std::pow(10.0, -0.3), 1e-12);
    EXPECT_NEAR(gainToDb(dbToGain(-13.7)), -13.7, 1e-9);
    EXPECT_EQ(gainToDb(0.0), -1000.0);
    EXPECT_NEAR(prewarp(1000.0), std::tan(M_PI * 1000.0 / 44100.0), 1e-12);
}

TEST(DeterministicMath, SoftClipIsBoundedOddAndMonotonic) {
    double last = -1.0;
    for (double x = -5.0; x <= 5.0; x += 0.01) {
        const double y = softClip(x);
        EXPECT_LE(std::fabs(y), 1.0);
        EXPECT_GE(y, last - 1e-15);
        EXPECT_DOUBLE_EQ(softClip(-x), -y);
        last = y;
    }
    EXPECT_NEAR(softClip(0.01), 0.01, 1e-5);
}

TEST(Noise, IsUniformInRangeAndRepeatsFromItsSeed) {
    Noise a(7), b(7);
    double sum = 0.0;
    for (int i = 0; i < 100000; ++i) {
        const double x = a.next();
        ASSERT_EQ(x, b.next());
        ASSERT_GE(x, -1.0);
        ASSERT_LT(x, 1.0);
        sum += x;
    }
    EXPECT_NEAR(sum / 100000.0, 0.0, 0.01);
}

TEST(Envelope, RisesFromZeroAndReleasesToZero) {
    Envelope env;
    env.start(0.01, 0.2, 0.5, 0.1);
    EXPECT_LT(env.next(), 0.01); // the first sample is only one step up
    double level = 0.0;
    for (int i = 1; i < 441; ++i)
        level = env.next();
    EXPECT_EQ(level, 1.0); // 441 samples: the attack has just ended
    for (int i = 0; i < 44100; ++i)
        level = env.next();
    EXPECT_NEAR(level, 0.5, 1e-3); // it settled on the sustain level
    env.releaseNow();
    double previous = level;
    int samples = 0;
    while (!env.finished() && samples < 44100) {
        const double next = env.next();
        ASSERT_LE(next, previous);
        previous = next;
        ++samples;
    }
    EXPECT_TRUE(env.finished());
    // The release falls 60 dB per 0.1 s, from 0.5 down to -90 dBFS where it stops.
    EXPECT_NEAR(samples / 44100.0, 0.1 * 20.0 * std::log10(0.5 / 3e-5) / 60.0, 0.002);
}

TEST(Envelope, ReleasedDuringTheAttackFadesFromWhereItWas) {
    Envelope env;
    env.start(1.0, 0.2, 1.0, 0.05);
    double level = 0.0;
    for (int i = 0; i < 441; ++i)
        level = env.next();
    EXPECT_NEAR(level, 0.01, 1e-6);
    env.releaseNow();
    EXPECT_LE(env.next(), level);
}

TEST(Svf, LowpassPassesLowsAndStopsHighs) {
    auto gainAt = [](double hz, FilterMode mode) {
        Svf filter;
        filter.setup(1000.0, 0.0);
        double peak = 0.0;
        for (int i = 0; i < 44100; ++i) {
            const double y = filter.process(sineTurns(hz * i / 44100.0), mode);
            if (i > 22050)
                peak = std::fmax(peak, std::fabs(y));
        }
        return peak;
    };
    EXPECT_NEAR(gainAt(100.0, FilterMode::lowpass), 1.0, 0.02);
    EXPECT_LT(gainAt(10000.0, FilterMode::lowpass), 0.02);
    EXPECT_LT(gainAt(100.0, FilterMode::highpass), 0.02);
    EXPECT_NEAR(gainAt(10000.0, FilterMode::highpass), 1.0, 0.02);
}

} // namespace
