// Building blocks of the music synthesizer: deterministic math, a noise
// generator, oscillators, filters and envelopes. Everything here is plain
// double arithmetic (no C library transcendental calls), so the track renders
// to the same samples on every machine and C library.
#pragma once

#include <cstdint>

namespace music {

constexpr double sampleRate = 44100.0;
constexpr double pi = 3.14159265358979311600e+00;

// --- Deterministic math ---

// 2^x, accurate to a few units in the last place over the range audio needs.
double exp2d(double x);
// log2 x for x > 0; returns -1000 for x <= 0 (far below any audible level).
double log2d(double x);
double dbToGain(double db);
// -1000 for gain <= 0.
double gainToDb(double gain);
// Frequency in Hz of a MIDI note number (69 = A 440 Hz), fractional notes allowed.
double noteHz(double note);
// sin(2 pi turns) from a 4096-entry table with linear interpolation (error below 3e-7).
double sineTurns(double turns);
// A smooth saturation: odd, monotonic, x for small x, bounded by +-1.
double softClip(double x);
// tan(pi * f / sampleRate) for f below 0.49 sampleRate, the prewarped filter gain.
double prewarp(double hz);

// --- Noise ---

// xorshift32: the same sequence everywhere, one 32-bit state.
class Noise {
  public:
    explicit Noise(std::uint32_t seed = 0x9E3779B9u) : state(seed ? seed : 1u) {}
    std::uint32_t nextBits() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // Uniform in [-1, 1).
    double next() { return static_cast<double>(nextBits()) * (2.0 / 4294967296.0) - 1.0; }

  private:
    std::uint32_t state;
};

// --- Oscillators ---

enum class Wave { sine, saw, square, triangle, pulse, noise };

// One band-limited oscillator (polyBLEP corrections on the saw and square edges).
class Oscillator {
  public:
    void reset(double startPhase) { phase = startPhase; }
    // One sample at frequency hz; width is the pulse duty cycle (0..1).
    double next(Wave wave, double hz, double width, Noise& noise);

  private:
    double phase = 0.0;
};

// --- Filters ---

enum class FilterMode { lowpass, bandpass, highpass };

// State-variable filter in trapezoidal form: stable under fast cutoff changes,
// which the sweeps and envelopes need.
class Svf {
  public:
    void reset() { s1 = s2 = 0.0; }
    // cutoff in Hz (clamped to 20 Hz..0.45 sampleRate), resonance 0..1.
    void setup(double cutoffHz, double resonance);
    double process(double x, FilterMode mode);

  private:
    double g = 0.0, k = 2.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
    double s1 = 0.0, s2 = 0.0;
};

// One-pole lowpass / DC blocker, for tone controls and damping.
class OnePole {
  public:
    void setup(double cutoffHz);
    double lowpass(double x) {
        state += coefficient * (x - state);
        return state;
    }
    double highpass(double x) { return x - lowpass(x); }
    void reset() { state = 0.0; }

  private:
    double coefficient = 1.0;
    double state = 0.0;
};

// --- Envelopes ---

// Attack-decay-sustain-release. The attack is a straight ramp; decay and release
// approach their targets exponentially. Every stage is at least a couple of
// milliseconds long, so no note starts or stops with a click.
class Envelope {
  public:
    void start(double attack, double decay, double sustain, double release);
    void releaseNow();
    double next();
    // True once the release has fallen below -90 dB.
    bool finished() const { return stage == Stage::done; }
    bool releasing() const { return stage == Stage::release || stage == Stage::done; }

  private:
    enum class Stage { attack, decay, release, done };
    Stage stage = Stage::done;
    double level = 0.0;
    double attackStep = 0.0;
    double decayFactor = 0.0, sustainLevel = 0.0;
    double releaseFactor = 0.0;
};

// The per-sample multiplier that makes a level fall by 60 dB over `seconds`.
double decayCoefficient(double seconds);

} // namespace music
