// The renderer: every voice starts and ends at rest, rendering repeats
// exactly, and mastering meets its loudness and peak targets.
#include "loudness.h"
#include "score.h"
#include "synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

using namespace music;

Instrument instrument(InstrumentKind kind, const std::string& name) {
    Instrument result;
    result.name = name;
    result.kind = kind;
    return result;
}

// Each kind of voice, played once and held for 0.3 s, rises from silence and
// dies away to silence: no click at either end, no endless voice.
TEST(Voices, EveryKindStartsAndEndsAtRest) {
    Instrument kinds[] = {
        instrument(InstrumentKind::synth, "synth"), instrument(InstrumentKind::fm, "fm"),
        instrument(InstrumentKind::kick, "kick"),   instrument(InstrumentKind::snare, "snare"),
        instrument(InstrumentKind::hat, "hat"),     instrument(InstrumentKind::clap, "clap")};
    kinds[1].patch.index = 3.0;
    kinds[3].patch.noise = 0.5;
    Instrument noisy = instrument(InstrumentKind::synth, "noise synth");
    noisy.patch.wave = Wave::noise;
    noisy.patch.attack = 0.0;
    noisy.patch.release = 0.0;
    for (const Instrument& i :
         {kinds[0], kinds[1], kinds[2], kinds[3], kinds[4], kinds[5], noisy}) {
        const StereoBuffer out = renderNote(i, 57.0, 1.0, 0.3, 3.0);
        const double peak = samplePeak(out.data(), 0, out.size() / 2);
        EXPECT_GT(peak, 0.05) << i.name;
        // The first two samples are on the attack ramp, a few percent at most.
        EXPECT_LT(samplePeak(out.data(), 0, 2), 0.05 * peak) << i.name;
        // Two seconds after the key is let go nothing is left.
        EXPECT_LT(samplePeak(out.data(), out.size() / 2 - 1000, 1000), 1e-4) << i.name;
    }
}

TEST(Voices, DrumsRingOutPastTheirWrittenLengthAndSynthsStopAtIt) {
    // Both fall by 60 dB in a second by their decay; the drum's note is
    // written a sixteenth long, and the synth lets go of its key then.
    Instrument crash = instrument(InstrumentKind::hat, "crash");
    crash.patch.decay = 1.0;
    Instrument synth = instrument(InstrumentKind::synth, "synth");
    synth.patch.decay = 1.0;
    synth.patch.sustain = 0.0;
    synth.patch.release = 0.05;
    const StereoBuffer ringing = renderNote(crash, 60.0, 1.0, 0.125, 2.0);
    const StereoBuffer held = renderNote(synth, 60.0, 1.0, 0.125, 2.0);
    const std::size_t late = static_cast<std::size_t>(0.4 * sampleRate);
    EXPECT_GT(samplePeak(ringing.data(), late, 4410), 0.01 * samplePeak(ringing.data(), 0, late));
    EXPECT_LT(samplePeak(held.data(), late, 4410), 1e-4);
}

TEST(Voices, ARestartedNoteDoesNotCutTheOneBefore) {
    // Two quick notes: the second starts while the first still sounds; the
    // first keeps decaying instead of stopping dead.
    Score score;
    score.lengthSamples = 44100;
    score.instruments.push_back(instrument(InstrumentKind::synth, "s"));
    score.instruments[0].patch.wave = Wave::sine;
    score.instruments[0].patch.release = 0.5;
    score.notes.push_back(NoteEvent{0, 0.0, 0.1, 69.0, 1.0});
    score.notes.push_back(NoteEvent{0, 0.1, 0.1, 69.0, 1.0});
    const StereoBuffer out = renderMix(score);
    // Largest change between neighbouring samples around the second start,
    // against a 440 Hz sine's own largest change.
    double jump = 0.0;
    for (std::size_t i = 4400; i < 4500; ++i)
        jump = std::fmax(jump, std::fabs(out[2 * i + 2] - out[2 * i]));
    EXPECT_LT(jump, 2.0 * 2.0 * M_PI * 440.0 / 44100.0 * 1.1);
}

Score showScore() {
    std::ifstream file(SHADESTRIP_SOURCE_DIR "/resources/music/score.txt");
    std::ostringstream text;
    text << file.rdbuf();
    Score score;
    std::string error;
    EXPECT_TRUE(parseScore(text.str(), score, error)) << error;
    return score;
}

// The show's score renders to the same samples every time, however much of
// it is rendered: no state survives from one render to the next, and no
// block depends on where the render stops.
TEST(Render, TheSameScoreGivesTheSameSamples) {
    const Score score = showScore();
    ASSERT_GT(score.lengthSamples, 0);
    const long long shortRun = static_cast<long long>(12.3 * sampleRate);
    const StereoBuffer first = renderMix(score, shortRun);
    const StereoBuffer second = renderMix(score, shortRun + 12345);
    ASSERT_EQ(first.size(), static_cast<std::size_t>(2 * shortRun));
    ASSERT_EQ(second.size(), static_cast<std::size_t>(2 * (shortRun + 12345)));
    std::size_t differing = 0;
    for (std::size_t i = 0; i < first.size(); ++i)
        differing += first[i] != second[i];
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(samplePeak(first.data(), 0, first.size() / 2), 0.01);
}

TEST(Master, BringsAMixToTheTargetLoudnessUnderTheCeiling) {
    // A loud, peaky mix: a sine with sharp bursts at +6 dBFS.
    Score score;
    score.lengthSamples = 5 * 44100;
    score.loudness = -14.0;
    score.ceiling = -2.0;
    score.fadeStart = 4.0;
    score.fadeEnd = 4.5;
    StereoBuffer mix(2 * static_cast<std::size_t>(score.lengthSamples));
    for (std::size_t i = 0; i < mix.size() / 2; ++i) {
        const double burst = (i % 22050) < 200 ? 2.0 : 0.7;
        mix[2 * i] = mix[2 * i + 1] = static_cast<float>(burst * sineTurns(220.0 * i / 44100.0));
    }
    masterMix(score, mix);
    EXPECT_LE(samplePeak(mix.data(), 0, mix.size() / 2), dbToGain(-2.0) + 1e-6);
    EXPECT_NEAR(integratedLoudness(mix.data(), 0, 4 * 44100), -14.0, 0.3);
    // Silent after the fade.
    EXPECT_EQ(samplePeak(mix.data(), static_cast<std::size_t>(4.5 * 44100) + 1, 20000), 0.0);
}

} // namespace
