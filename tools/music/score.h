// The score: instruments, timed notes and parameter automation, read from the
// text format described at the top of resources/music/score.txt. This is the
// data the renderer plays; it holds no audio.
#pragma once

#include "dsp.h"

#include <string>
#include <vector>

namespace music {

enum class InstrumentKind { synth, fm, kick, snare, hat, clap };

// Every instrument parameter with its default. Times are seconds, levels
// decibels unless noted; decay and release are the times to fall by 60 dB.
struct Patch {
    // Mixing: level, stereo position (-1 left .. 1 right), sends to the echo
    // and the reverb (0..1), ducking under the kick (0..1).
    double gain = 0.0, pan = 0.0, echo = 0.0, reverb = 0.0, duck = 0.0;
    // 1 makes this instrument's hits duck the instruments that have `duck`.
    double trigger = 0.0;
    // Pitch of an `x` hit (MIDI number) and a transposition in semitones.
    double note = 60.0, transpose = 0.0;
    // Oscillators: unison voice count, total detune in cents, stereo spread of
    // the unison (0..1), pulse width, sub-octave and noise levels (0..1).
    Wave wave = Wave::saw;
    double voices = 1.0, detune = 0.0, spread = 0.0, width = 0.5, sub = 0.0, noise = 0.0;
    double vibrato = 0.0, rate = 5.0;
    // Amplitude envelope.
    double attack = 0.005, decay = 0.5, sustain = 1.0, release = 0.2;
    // Filter: cutoff in Hz, resonance 0..1, envelope depth in octaves and its
    // decay, key tracking (1 = the cutoff follows the pitch).
    FilterMode filter = FilterMode::lowpass;
    double cutoff = 18000.0, res = 0.0, envmod = 0.0, fdecay = 0.3, keytrack = 0.0;
    // Saturation before the filter, in decibels of drive (0 = clean).
    double drive = 0.0;
    // Two-operator FM: modulator frequency ratio, index and its decay time.
    double ratio = 1.0, index = 0.0, idecay = 0.5;
    // Drums: tone in Hz, the start of the kick's pitch sweep and its time, the
    // click level, the metallic share of the hats.
    double tone = 50.0, punch = 160.0, sweep = 0.05, click = 0.3, metal = 0.5;
};

struct Instrument {
    std::string name;
    InstrumentKind kind = InstrumentKind::synth;
    Patch patch;
};

// Parameters that can change over time (`set` and `ramp` in the score).
enum class LaneParam { gain, pan, cutoff, res, echo, reverb, count };

struct LanePoint {
    double time = 0.0;  // seconds
    double value = 0.0; // cutoff is stored in octaves (log2 Hz) so sweeps sound even
    bool jump = false;  // the value holds until this point, then jumps to it
};

struct Lane {
    int instrument = 0;
    LaneParam param = LaneParam::gain;
    std::vector<LanePoint> points; // sorted by time, stable for equal times
    // The value at `time`, or `base` before the first point.
    double valueAt(double time, double base) const;
};

struct NoteEvent {
    int instrument = 0;
    double time = 0.0;   // seconds
    double length = 0.0; // seconds the key is held
    double pitch = 60.0; // MIDI number
    double velocity = 1.0;
};

struct EchoSettings {
    double steps = 3.0;    // delay in sixteenths
    double feedback = 0.4; // 0..0.9
    double tone = 3000.0;  // lowpass in the feedback, Hz
    double reverb = 0.25;  // share of the echoes sent on to the reverb
};

struct ReverbSettings {
    double size = 0.84; // comb feedback, 0.5..0.97
    double damp = 0.4;  // high-frequency damping, 0..1
    double width = 1.0; // stereo width of the tail, 0..1
    double predelay = 0.02;
};

struct Score {
    double tempo = 120.0;
    long long lengthSamples = 0;
    double loudness = -14.0; // integrated loudness target, LUFS
    double ceiling = -2.0;   // limiter ceiling, dBFS
    double fadeStart = -1.0, fadeEnd = -1.0;
    EchoSettings echo;
    ReverbSettings reverb;
    std::vector<Instrument> instruments;
    std::vector<NoteEvent> notes;
    std::vector<Lane> lanes;

    double stepSeconds() const { return 15.0 / tempo; }
};

// Reads a score. On failure returns false with "LINE: message" in `error`.
bool parseScore(const std::string& text, Score& score, std::string& error);

} // namespace music
