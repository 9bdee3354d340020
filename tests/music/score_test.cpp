// Reading the score's text format: times, pitches, patterns, automation, and
// errors that name the line.
#include "score.h"

#include <gtest/gtest.h>

namespace {

using namespace music;

Score parse(const std::string& text) {
    Score score;
    std::string error;
    EXPECT_TRUE(parseScore(text, score, error)) << error;
    return score;
}

std::string errorOf(const std::string& text) {
    Score score;
    std::string error;
    EXPECT_FALSE(parseScore(text, score, error));
    return error;
}

const std::string header = "tempo 120\nlength 44100\n"
                           "instrument k kick note=40\n"
                           "instrument p synth wave=square voices=3 cutoff=800 filter=bp\n";

TEST(Score, ReadsInstrumentsAndTheirParameters) {
    const Score score = parse(header);
    ASSERT_EQ(score.instruments.size(), 2u);
    EXPECT_EQ(score.instruments[0].kind, InstrumentKind::kick);
    EXPECT_EQ(score.instruments[0].patch.trigger, 1.0); // kicks duck the others
    EXPECT_EQ(score.instruments[1].patch.wave, Wave::square);
    EXPECT_EQ(score.instruments[1].patch.voices, 3.0);
    EXPECT_EQ(score.instruments[1].patch.filter, FilterMode::bandpass);
    EXPECT_EQ(score.lengthSamples, 44100);
}

TEST(Score, TimesArePlacedOnTheBarGridOrInSeconds) {
    const Score score = parse(header + "note p 2 C4\nnote p 2:6 C4\nnote p 36.25s C4\n"
                                       "note p 1:2.5 C4 4\n");
    ASSERT_EQ(score.notes.size(), 4u);
    EXPECT_DOUBLE_EQ(score.notes[0].time, 2.3125); // 1:2.5, sorted first
    EXPECT_DOUBLE_EQ(score.notes[0].length, 0.5);
    EXPECT_DOUBLE_EQ(score.notes[1].time, 4.0);
    EXPECT_DOUBLE_EQ(score.notes[1].length, 0.125);
    EXPECT_DOUBLE_EQ(score.notes[2].time, 4.75);
    EXPECT_DOUBLE_EQ(score.notes[3].time, 36.25);
}

TEST(Score, PitchesChordsAndVelocities) {
    const Score score = parse(header + "chord Mine A3 C#4\n"
                                       "note p 0 C4\nnote p 1 F#3!\nnote p 2 Bb2?\n"
                                       "note p 3 Mine+C-1\nnote k 4 x\n");
    ASSERT_EQ(score.notes.size(), 7u);
    EXPECT_EQ(score.notes[0].pitch, 60.0);
    EXPECT_EQ(score.notes[1].pitch, 54.0);
    EXPECT_GT(score.notes[1].velocity, 1.0);
    EXPECT_EQ(score.notes[2].pitch, 46.0);
    EXPECT_LT(score.notes[2].velocity, 1.0);
    EXPECT_EQ(score.notes[3].pitch, 57.0);
    EXPECT_EQ(score.notes[4].pitch, 61.0);
    EXPECT_EQ(score.notes[5].pitch, 0.0);
    EXPECT_EQ(score.notes[6].pitch, 40.0);
    EXPECT_EQ(score.notes[6].time, 8.0); // the kick's x plays its own note
    EXPECT_EQ(score.notes[6].instrument, 0);
}

TEST(Score, PatternsHoldRepeatAndStopAtTheirEnd) {
    // Four steps of two sixteenths; the second note is held for two steps;
    // the pattern repeats from bar 1 until 1:10, which cuts the second round
    // after its first note. The indented line continues the pattern.
    const Score score = parse(header + "pattern a p step=2 gate=0.5 C4 | E4\n"
                                       "    - G4!\n"
                                       "play a 1 1:10 transpose=12\n");
    ASSERT_EQ(score.notes.size(), 4u);
    const double s = 0.125;
    EXPECT_DOUBLE_EQ(score.notes[0].time, 2.0);
    EXPECT_DOUBLE_EQ(score.notes[0].length, 2 * s * 0.5);
    EXPECT_EQ(score.notes[0].pitch, 72.0);
    EXPECT_DOUBLE_EQ(score.notes[1].time, 2.0 + 2 * s);
    EXPECT_DOUBLE_EQ(score.notes[1].length, 4 * s * 0.5);
    EXPECT_DOUBLE_EQ(score.notes[2].time, 2.0 + 6 * s);
    EXPECT_GT(score.notes[2].velocity, 1.0);
    EXPECT_DOUBLE_EQ(score.notes[3].time, 2.0 + 8 * s);
    EXPECT_EQ(score.notes[3].pitch, 72.0);
}

TEST(Score, LanesHoldJumpAndGlide) {
    const Score score = parse(header + "set p gain 1 -6\nramp p gain 2 -20 3 0\n"
                                       "ramp p cutoff 0 100 1 400\n");
    ASSERT_EQ(score.lanes.size(), 2u);
    const Lane& gain = score.lanes[0];
    EXPECT_EQ(gain.valueAt(1.9, -3.0), -3.0);  // before the first point: the patch's own
    EXPECT_EQ(gain.valueAt(2.0, -3.0), -6.0);  // holds until the ramp starts
    EXPECT_EQ(gain.valueAt(4.0, -3.0), -20.0); // then jumps to the ramp's start
    EXPECT_EQ(gain.valueAt(5.0, -3.0), -10.0);
    EXPECT_EQ(gain.valueAt(9.0, -3.0), 0.0); // and keeps its end value
    // Cutoff glides evenly in pitch: halfway from 100 Hz to 400 Hz is 200 Hz.
    EXPECT_NEAR(exp2d(score.lanes[1].valueAt(1.0, 0.0)), 200.0, 1e-9);
}

TEST(Score, ErrorsNameTheLine) {
    EXPECT_EQ(errorOf(header + "note q 0 C4\n"), "5: unknown instrument 'q'");
    EXPECT_EQ(errorOf(header + "note p 0 H4\n"), "5: 'H4' is neither a note nor a chord");
    EXPECT_EQ(errorOf(header + "\n# comment\nnote p 1:x C4\n").substr(0, 3), "7: ");
    EXPECT_EQ(errorOf(header + "instrument z synth cutof=3\n"),
              "5: unknown instrument parameter 'cutof'");
    EXPECT_EQ(errorOf(header + "play nothing 0\n"), "5: unknown pattern 'nothing'");
    EXPECT_EQ(errorOf(header + "ramp p gain 2 0 1 0\n"), "5: a ramp must end after it starts");
    EXPECT_EQ(errorOf(header + "chord C4 E4\n"), "5: 'C4' cannot name a chord");
    EXPECT_EQ(errorOf("\n  - C4\n"), "2: an indented line continues nothing");
    EXPECT_EQ(errorOf("tempo 120\n"), "the score needs a 'length' line");
    EXPECT_EQ(errorOf(header + "wobble 3\n"), "5: unknown statement 'wobble'");
}

} // namespace
