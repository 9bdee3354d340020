// Checks of the soundtrack the build rendered and encoded: its format, its
// levels, and that its sections follow the picture.
#include "decoded_track.h"

#include "loudness.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double rate = 44100.0;

const DecodedTrack& track() {
    static DecodedTrack decoded;
    static const bool ok = decodeTrack(SHADESTRIP_TEST_RESOURCE_DIR "/music.ogg", decoded);
    EXPECT_TRUE(ok) << "cannot decode the built music.ogg";
    return decoded;
}

std::size_t frameAt(double seconds) {
    return static_cast<std::size_t>(seconds * rate);
}

// Loudness in LUFS of the track between two times.
double loudness(double from, double to) {
    return music::integratedLoudness(track().samples.data(), frameAt(from),
                                     frameAt(to) - frameAt(from));
}

TEST(Track, IsStereoAt44100HzWithTheShowsLengthAndBitrate) {
    const DecodedTrack& t = track();
    ASSERT_FALSE(t.samples.empty());
    EXPECT_EQ(t.channels, 2);
    EXPECT_EQ(t.sampleRate, 44100);
    const double seconds = t.frames() / rate;
    EXPECT_GE(seconds, 141.9);
    EXPECT_LE(seconds, 142.1);
    EXPECT_EQ(t.nominalBitrate, 112000);
}

TEST(Track, LevelsStayBelowTheCeilingAtTheTargetLoudness) {
    const DecodedTrack& t = track();
    ASSERT_FALSE(t.samples.empty());
    const double peakDb = 20.0 * std::log10(music::samplePeak(t.samples.data(), 0, t.frames()));
    EXPECT_LE(peakDb, -1.0);
    const double integrated = music::integratedLoudness(t.samples);
    EXPECT_NEAR(integrated, -14.0, 2.0);
}

TEST(Track, NeverFallsSilentBeforeTheEndAndIsSilentAfterIt) {
    const DecodedTrack& t = track();
    ASSERT_FALSE(t.samples.empty());
    // Longest run of 100 ms windows quieter than -60 dBFS RMS before 141 s.
    const std::size_t window = frameAt(0.1);
    int run = 0, longest = 0;
    for (std::size_t start = 0; start + window <= frameAt(141.0); start += window) {
        const double level = music::rms(t.samples.data(), start, window);
        run = level < 0.001 ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    EXPECT_LE(longest, 20) << "silent for " << longest / 10.0 << " s";
    // The show ends at 141.5 s; so does the music.
    EXPECT_LT(music::samplePeak(t.samples.data(), frameAt(141.5), t.frames() - frameAt(141.5)),
              0.001);
}

TEST(Track, SectionsBuildTowardsTheClimax) {
    ASSERT_FALSE(track().samples.empty());
    const double opening = loudness(0.0, 16.0);
    const double tree = loudness(24.0, 56.0);
    const double sky = loudness(60.0, 79.0);
    const double rotation = loudness(79.0, 110.0);
    const double fire = loudness(110.0, 136.0);
    const double ending = loudness(136.0, 141.0);
    // Every section is clearly audible, none is pushed into the ceiling.
    for (double section : {opening, tree, sky, rotation, fire, ending}) {
        EXPECT_GT(section, -24.0);
        EXPECT_LT(section, -9.0);
    }
    EXPECT_LT(opening, tree - 2.0);
    EXPECT_GT(fire, tree);
    EXPECT_GT(fire, sky);
    EXPECT_GT(fire, rotation);
    EXPECT_LT(ending, fire);
}

TEST(Track, EnergyRisesWhereTheScenesChange) {
    ASSERT_FALSE(track().samples.empty());
    struct Boundary {
        double time;
        const char* what;
    };
    // The second before each change against the second after it.
    const Boundary boundaries[] = {{24.0, "the tree"},
                                   {60.0, "the spark"},
                                   {79.0, "the rotation"},
                                   {110.0, "the fire"},
                                   {136.0, "the closing picture"}};
    for (const Boundary& b : boundaries)
        EXPECT_GT(loudness(b.time, b.time + 1.0), loudness(b.time - 1.0, b.time))
            << "at " << b.time << " s, " << b.what;
    // The blink of the closing picture has its own accent.
    EXPECT_GT(loudness(139.5, 140.0 + 0.1), loudness(138.8, 139.5) + 1.0);
}

} // namespace
