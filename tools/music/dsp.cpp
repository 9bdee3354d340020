// Deterministic math, oscillators, filters and envelopes of the synthesizer.
#include "dsp.h"

#include "imaging/det_math.h"

#include <cmath>

namespace music {

namespace {

constexpr double ln2 = 6.93147180559945286227e-01;
constexpr double sqrtHalf = 7.07106781186547572737e-01;
constexpr double sqrtTwo = 1.41421356237309514547e+00;
// log2(10) / 20: decibels to powers of two.
constexpr double dbToOctaves = 1.66096404744368120e-01;

// Below this a filter state is flushed to zero: decaying states would
// otherwise drift into subnormal numbers, which are very slow on some CPUs.
constexpr double tiny = 1e-30;

inline double flush(double x) {
    return (x < tiny && x > -tiny) ? 0.0 : x;
}

struct SineTable {
    static constexpr int size = 4096;
    double values[size + 1];
    SineTable() {
        for (int i = 0; i <= size; ++i)
            values[i] = detmath::sin(2.0 * pi * i / size);
    }
};

const SineTable& sineTable() {
    static const SineTable table;
    return table;
}

} // namespace

// --- Deterministic math ---

double exp2d(double x) {
    if (x < -1070.0)
        return 0.0;
    if (x > 1020.0)
        x = 1020.0;
    const double n = std::floor(x);
    // 2^f = sqrt(2) * e^((f - 0.5) ln 2) with |(f - 0.5) ln 2| < 0.35: the
    // Taylor series is exact to double precision after 14 terms.
    const double y = (x - n - 0.5) * ln2;
    double sum = 1.0;
    for (int k = 14; k >= 1; --k)
        sum = 1.0 + sum * y / k;
    return std::ldexp(sum * sqrtTwo, static_cast<int>(n));
}

double log2d(double x) {
    if (!(x > 0.0))
        return -1000.0;
    int exponent = 0;
    double m = std::frexp(x, &exponent);
    if (m < sqrtHalf) {
        m *= 2.0;
        exponent -= 1;
    }
    // ln m = 2 atanh s with |s| < 0.172: eleven odd terms reach double precision.
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double sum = 0.0;
    for (int k = 23; k >= 3; k -= 2)
        sum = s2 * (1.0 / k + sum);
    const double lnM = 2.0 * s * (1.0 + sum);
    return exponent + lnM / ln2;
}

double dbToGain(double db) {
    return exp2d(db * dbToOctaves);
}

double gainToDb(double gain) {
    if (!(gain > 0.0))
        return -1000.0;
    return log2d(gain) / dbToOctaves;
}

double noteHz(double note) {
    return 440.0 * exp2d((note - 69.0) / 12.0);
}

double sineTurns(double turns) {
    const SineTable& table = sineTable();
    const double wrapped = turns - std::floor(turns);
    const double position = wrapped * SineTable::size;
    const int index = static_cast<int>(position);
    const double fraction = position - index;
    return table.values[index] + (table.values[index + 1] - table.values[index]) * fraction;
}

double softClip(double x) {
    if (x >= 3.0)
        return 1.0;
    if (x <= -3.0)
        return -1.0;
    const double x2 = x * x;
    return x * (27.0 + x2) / (27.0 + 9.0 * x2);
}

double prewarp(double hz) {
    const double limit = 0.45 * sampleRate;
    const double clamped = hz < 20.0 ? 20.0 : (hz > limit ? limit : hz);
    const double w = pi * clamped / sampleRate;
    return detmath::sin(w) / detmath::cos(w);
}

double decayCoefficient(double seconds) {
    // Falls by 60 dB (a factor 1000) over `seconds`: 1000 = 2^9.9658.
    const double samples = (seconds < 0.001 ? 0.001 : seconds) * sampleRate;
    return exp2d(-9.96578428466208704362 / samples);
}

// --- Oscillators ---

namespace {

// The polyBLEP residual that rounds off a unit step at phase 0.
inline double blep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

} // namespace

double Oscillator::next(Wave wave, double hz, double width, Noise& noise) {
    double dt = hz / sampleRate;
    if (dt > 0.45)
        dt = 0.45;
    const double t = phase;
    double out = 0.0;
    switch (wave) {
    case Wave::sine:
        out = sineTurns(t);
        break;
    case Wave::saw:
        out = 2.0 * t - 1.0 - blep(t, dt);
        break;
    case Wave::square:
    case Wave::pulse: {
        const double w = wave == Wave::square ? 0.5 : width;
        out = t < w ? 1.0 : -1.0;
        double t2 = t + 1.0 - w;
        if (t2 >= 1.0)
            t2 -= 1.0;
        out += blep(t, dt) - blep(t2, dt);
        break;
    }
    case Wave::triangle:
        // Its harmonics fall by 12 dB an octave; aliasing stays inaudible.
        out = 4.0 * (t < 0.5 ? t : 1.0 - t) - 1.0;
        break;
    case Wave::noise:
        out = noise.next();
        break;
    }
    phase += dt;
    if (phase >= 1.0)
        phase -= 1.0;
    return out;
}

// --- Filters ---

void Svf::setup(double cutoffHz, double resonance) {
    const double r = resonance < 0.0 ? 0.0 : (resonance > 1.0 ? 1.0 : resonance);
    g = prewarp(cutoffHz);
    k = 2.0 - 1.96 * r;
    a1 = 1.0 / (1.0 + g * (g + k));
    a2 = g * a1;
    a3 = g * a2;
}

double Svf::process(double x, FilterMode mode) {
    const double v3 = x - s2;
    const double v1 = a1 * s1 + a2 * v3;
    const double v2 = s2 + a2 * s1 + a3 * v3;
    s1 = flush(2.0 * v1 - s1);
    s2 = flush(2.0 * v2 - s2);
    switch (mode) {
    case FilterMode::lowpass:
        return v2;
    case FilterMode::bandpass:
        return v1;
    case FilterMode::highpass:
        break;
    }
    return x - k * v1 - v2;
}

void OnePole::setup(double cutoffHz) {
    coefficient = 1.0 - exp2d(-2.0 * pi * cutoffHz / sampleRate / ln2);
}

// --- Envelopes ---

void Envelope::start(double attack, double decay, double sustain, double release) {
    stage = Stage::attack;
    level = 0.0;
    attackStep = 1.0 / ((attack < 0.002 ? 0.002 : attack) * sampleRate);
    decayFactor = decayCoefficient(decay);
    sustainLevel = sustain < 0.0 ? 0.0 : (sustain > 1.0 ? 1.0 : sustain);
    releaseFactor = decayCoefficient(release < 0.01 ? 0.01 : release);
}

void Envelope::releaseNow() {
    if (stage == Stage::attack || stage == Stage::decay)
        stage = Stage::release;
}

double Envelope::next() {
    switch (stage) {
    case Stage::attack:
        level += attackStep;
        if (level >= 1.0) {
            level = 1.0;
            stage = Stage::decay;
        }
        break;
    case Stage::decay:
        level = sustainLevel + (level - sustainLevel) * decayFactor;
        // A one-shot (no sustain) ends by itself once it has died away.
        if (sustainLevel == 0.0 && level < 3e-5) {
            level = 0.0;
            stage = Stage::done;
        }
        break;
    case Stage::release:
        level *= releaseFactor;
        if (level < 3e-5) {
            level = 0.0;
            stage = Stage::done;
        }
        break;
    case Stage::done:
        level = 0.0;
        break;
    }
    return level;
}

} // namespace music
