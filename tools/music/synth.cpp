// The voices of each instrument kind, the echo and reverb, the block-wise
// mixer that plays the score, and the mastering stage.
//
// Index: Voice (per kind) - Echo - Reverb - renderMix - masterMix - renderNote
#include "synth.h"

#include "loudness.h"

#include <algorithm>
#include <cmath>

namespace music {

namespace {

constexpr int blockSize = 64;
constexpr int maxUnison = 7;

long long frameOf(double seconds) {
    return static_cast<long long>(std::floor(seconds * sampleRate + 0.5));
}

// --- Voice ---

// Drums ring out by their own decay, however long the note is written.
bool isOneShot(InstrumentKind kind) {
    return kind != InstrumentKind::synth && kind != InstrumentKind::fm;
}

// One sounding note of any instrument kind. Renders itself into a stereo
// block; every kind starts with a ramp and ends on a decayed envelope.
class Voice {
  public:
    Voice(const Instrument& instrument, const NoteEvent& note, long long startFrame,
          std::uint32_t seed)
        : kind(instrument.kind), patch(instrument.patch), startFrame(startFrame),
          releaseFrame(isOneShot(instrument.kind)
                           ? -1
                           : startFrame + std::max<long long>(1, frameOf(note.length))),
          velocity(note.velocity), noise(seed) {
        pitch = note.pitch + patch.transpose;
        hz = noteHz(pitch);
        // Drums sound at their own tone when played at their own note.
        drumRatio = exp2d((pitch - patch.note) / 12.0);
        switch (kind) {
        case InstrumentKind::synth:
        case InstrumentKind::fm:
            amp.start(patch.attack, patch.decay, patch.sustain, patch.release);
            break;
        default:
            amp.start(0.001, patch.decay, 0.0, 0.01);
            break;
        }
        unison = kind == InstrumentKind::synth ? static_cast<int>(patch.voices) : 1;
        for (int i = 0; i < unison; ++i) {
            const double position = unison > 1 ? static_cast<double>(i) / (unison - 1) : 0.5;
            ratio[i] = exp2d(patch.detune * (position - 0.5) / 1200.0);
            const double pan = patch.spread * (2.0 * position - 1.0);
            panLeft[i] = (1.0 - pan) / std::sqrt(static_cast<double>(unison));
            panRight[i] = (1.0 + pan) / std::sqrt(static_cast<double>(unison));
            oscillators[i].reset(unison > 1 ? 0.5 + 0.5 * noise.next() : 0.0);
        }
        filterEnvFactor = decayCoefficient(patch.fdecay / blockSize);
        indexFactor = decayCoefficient(patch.idecay);
        pitchFactor = decayCoefficient(patch.sweep);
        clickFactor = decayCoefficient(0.008);
        bodyFactor = decayCoefficient(std::min(patch.decay, 0.15));
        driveGain = dbToGain(patch.drive);
        static const double metalHz[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
        for (int i = 0; i < 6; ++i) {
            metalRatio[i] = metalHz[i] / 205.3;
            metal[i].reset(0.17 * i);
        }
    }

    bool finished() const { return done; }

    // Adds frames [from, to) (absolute) of this voice into left/right, which
    // hold the block that starts at blockStart. cutoffHz and res come from the
    // instrument's lanes for this block.
    void render(double* left, double* right, long long blockStart, long long from, long long to,
                double cutoffHz, double res) {
        if (from < startFrame)
            from = startFrame;
        if (from >= to)
            return;
        setupFilter(cutoffHz, res);
        updateVibrato();
        for (long long frame = from; frame < to; ++frame) {
            if (frame == releaseFrame)
                amp.releaseNow();
            double l = 0.0, r = 0.0;
            switch (kind) {
            case InstrumentKind::synth:
                synthSample(l, r);
                break;
            case InstrumentKind::fm:
                l = r = fmSample();
                break;
            case InstrumentKind::kick:
                l = r = kickSample();
                break;
            case InstrumentKind::snare:
                l = r = snareSample();
                break;
            case InstrumentKind::hat:
                l = r = hatSample();
                break;
            case InstrumentKind::clap:
                l = r = clapSample();
                break;
            }
            left[frame - blockStart] += l;
            right[frame - blockStart] += r;
            ++age;
            if (amp.finished()) {
                done = true;
                return;
            }
        }
    }

  private:
    InstrumentKind kind;
    Patch patch;
    long long startFrame, releaseFrame;
    double velocity;
    Noise noise;
    double pitch = 60.0, hz = 440.0, drumRatio = 1.0;
    long long age = 0;
    bool done = false;
    Envelope amp;

    int unison = 1;
    Oscillator oscillators[maxUnison];
    double ratio[maxUnison] = {}, panLeft[maxUnison] = {}, panRight[maxUnison] = {};
    Oscillator subOscillator;
    Svf filterLeft, filterRight;
    double filterEnv = 1.0, filterEnvFactor = 1.0;
    double driveGain = 1.0, vibrato = 1.0;

    double carrierPhase = 0.0, modulatorPhase = 0.0, indexEnv = 1.0, indexFactor = 1.0;
    double phase = 0.0, pitchEnv = 1.0, pitchFactor = 1.0, clickEnv = 1.0, clickFactor = 1.0;
    double bodyEnv = 1.0, bodyFactor = 1.0;
    Oscillator metal[6];
    double metalRatio[6] = {};

    void setupFilter(double cutoffHz, double res) {
        // Harder notes open the filter a little more.
        const double octaves = patch.envmod * filterEnv * (0.75 + 0.25 * velocity) +
                               patch.keytrack * (pitch - 60.0) / 12.0;
        const double cutoff = cutoffHz * exp2d(octaves);
        filterLeft.setup(cutoff, res);
        filterRight.setup(cutoff, res);
        filterEnv *= filterEnvFactor;
    }

    // Vibrato moves slowly enough to be updated once a block. It fades in
    // over the first half second of a note.
    void updateVibrato() {
        if (patch.vibrato <= 0.0)
            return;
        const double seconds = age / sampleRate;
        const double depth = seconds < 0.5 ? seconds / 0.5 : 1.0;
        vibrato = exp2d(patch.vibrato * depth * sineTurns(seconds * patch.rate) / 1200.0);
    }

    void synthSample(double& l, double& r) {
        const double base = hz * vibrato;
        for (int i = 0; i < unison; ++i) {
            const double x = oscillators[i].next(patch.wave, base * ratio[i], patch.width, noise);
            l += x * panLeft[i];
            r += x * panRight[i];
        }
        double mono = 0.0;
        if (patch.sub > 0.0)
            mono += patch.sub * subOscillator.next(Wave::sine, base * 0.5, 0.5, noise);
        if (patch.noise > 0.0)
            mono += patch.noise * noise.next();
        l += mono;
        r += mono;
        if (patch.drive > 0.0) {
            l = softClip(l * driveGain);
            r = softClip(r * driveGain);
        }
        const double gain = amp.next() * velocity;
        l = filterLeft.process(l, patch.filter) * gain;
        r = filterRight.process(r, patch.filter) * gain;
    }

    double fmSample() {
        const double modulator = sineTurns(modulatorPhase) * patch.index * indexEnv;
        const double x = sineTurns(carrierPhase + modulator / (2.0 * pi));
        carrierPhase += hz / sampleRate;
        carrierPhase -= std::floor(carrierPhase);
        modulatorPhase += hz * patch.ratio / sampleRate;
        modulatorPhase -= std::floor(modulatorPhase);
        indexEnv *= indexFactor;
        return filterLeft.process(x, patch.filter) * amp.next() * velocity;
    }

    double kickSample() {
        const double tone = patch.tone * drumRatio;
        const double f = tone + (patch.punch * drumRatio - tone) * pitchEnv;
        pitchEnv *= pitchFactor;
        phase += f / sampleRate;
        phase -= std::floor(phase);
        double x = sineTurns(phase) + patch.click * clickEnv * noise.next();
        clickEnv *= clickFactor;
        if (patch.drive > 0.0)
            x = softClip(x * driveGain);
        return filterLeft.process(x, patch.filter) * amp.next() * velocity;
    }

    double snareSample() {
        const double tone = patch.tone * drumRatio;
        const double body = (sineTurns(phase) + 0.5 * sineTurns(phase * 1.47)) * bodyEnv;
        phase += tone / sampleRate;
        if (phase >= 1000.0)
            phase -= 1000.0;
        bodyEnv *= bodyFactor;
        const double rattle = filterLeft.process(noise.next(), patch.filter);
        const double x = body * (1.0 - patch.noise) + rattle * patch.noise * 2.0;
        return x * amp.next() * velocity;
    }

    double hatSample() {
        double ring = 0.0;
        for (int i = 0; i < 6; ++i)
            ring += metal[i].next(Wave::square, patch.tone * metalRatio[i] * drumRatio, 0.5, noise);
        const double x = patch.metal * ring / 6.0 + (1.0 - patch.metal) * noise.next();
        return filterLeft.process(x, patch.filter) * amp.next() * velocity;
    }

    double clapSample() {
        // Three quick bursts 11 ms apart, then the tail of the envelope.
        const double seconds = age / sampleRate;
        double burst = 1.0;
        if (seconds < 0.033) {
            const double within = seconds - 0.011 * std::floor(seconds / 0.011);
            burst = 1.0 - within / 0.011 * 0.8;
        }
        const double x = filterLeft.process(noise.next(), patch.filter) * 2.0;
        return x * burst * amp.next() * velocity;
    }
};

// --- Echo ---

// A ping-pong echo: the first repeat on the left, the next on the right, each
// darker than the one before.
class Echo {
  public:
    Echo(const EchoSettings& settings, double stepSeconds)
        : feedback(settings.feedback),
          length(static_cast<std::size_t>(frameOf(settings.steps * stepSeconds))),
          left(length, 0.0), right(length, 0.0) {
        toneLeft.setup(settings.tone);
        toneRight.setup(settings.tone);
        lowCutLeft.setup(120.0);
        lowCutRight.setup(120.0);
    }

    void process(double inLeft, double inRight, double& outLeft, double& outRight) {
        const double delayedLeft = left[position];
        const double delayedRight = right[position];
        const double input = 0.5 * (inLeft + inRight);
        left[position] = lowCutLeft.highpass(toneLeft.lowpass(input + feedback * delayedRight));
        right[position] = lowCutRight.highpass(toneRight.lowpass(feedback * delayedLeft));
        if (++position == length)
            position = 0;
        outLeft = delayedLeft;
        outRight = delayedRight;
    }

  private:
    double feedback;
    std::size_t length, position = 0;
    std::vector<double> left, right;
    OnePole toneLeft, toneRight, lowCutLeft, lowCutRight;
};

// --- Reverb ---

// Eight damped combs and four allpasses per channel, the right channel's
// lines slightly longer for a wide tail.
class Reverb {
  public:
    explicit Reverb(const ReverbSettings& settings)
        : size(settings.size), damp(settings.damp), width(settings.width),
          predelay(static_cast<std::size_t>(frameOf(settings.predelay)) + 1, 0.0) {
        static const int combLengths[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
        static const int allpassLengths[4] = {556, 441, 341, 225};
        for (int c = 0; c < 2; ++c) {
            const int spread = c == 0 ? 0 : 23;
            for (int i = 0; i < 8; ++i)
                combs[c][i].buffer.assign(combLengths[i] + spread, 0.0);
            for (int i = 0; i < 4; ++i)
                allpasses[c][i].buffer.assign(allpassLengths[i] + spread, 0.0);
        }
        lowCut.setup(180.0);
    }

    void process(double inLeft, double inRight, double& outLeft, double& outRight) {
        const double delayed = predelay[predelayPosition];
        predelay[predelayPosition] = lowCut.highpass(0.5 * (inLeft + inRight));
        if (++predelayPosition == predelay.size())
            predelayPosition = 0;
        const double input = delayed * 0.05;
        double wet[2];
        for (int c = 0; c < 2; ++c) {
            double sum = 0.0;
            for (Comb& comb : combs[c])
                sum += comb.process(input, size, damp);
            for (Allpass& allpass : allpasses[c])
                sum = allpass.process(sum);
            wet[c] = sum;
        }
        const double same = 0.5 + 0.5 * width, cross = 0.5 - 0.5 * width;
        outLeft = wet[0] * same + wet[1] * cross;
        outRight = wet[1] * same + wet[0] * cross;
    }

  private:
    struct Comb {
        std::vector<double> buffer;
        std::size_t position = 0;
        double store = 0.0;
        double process(double input, double feedback, double damping) {
            const double out = buffer[position];
            store = out * (1.0 - damping) + store * damping;
            if (store < 1e-30 && store > -1e-30)
                store = 0.0;
            buffer[position] = input + store * feedback;
            if (++position == buffer.size())
                position = 0;
            return out;
        }
    };
    struct Allpass {
        std::vector<double> buffer;
        std::size_t position = 0;
        double process(double input) {
            const double delayed = buffer[position];
            buffer[position] = input + delayed * 0.5;
            if (++position == buffer.size())
                position = 0;
            return delayed - input;
        }
    };

    double size, damp, width;
    std::vector<double> predelay;
    std::size_t predelayPosition = 0;
    Comb combs[2][8];
    Allpass allpasses[2][4];
    OnePole lowCut;
};

// The ducking shape after a trigger at 0: a 3 ms dip, then a recovery that
// is back to full level after 0.25 s.
double duckShape(double seconds) {
    if (seconds < 0.003)
        return seconds / 0.003;
    const double recovery = 1.0 - (seconds - 0.003) / 0.247;
    return recovery > 0.0 ? recovery * recovery : 0.0;
}

// Constant-power pan: both sides at full level in the centre.
void panGains(double pan, double& left, double& right) {
    const double p = pan < -1.0 ? -1.0 : (pan > 1.0 ? 1.0 : pan);
    const double turns = (p + 1.0) / 8.0;
    left = 1.41421356237309514547 * sineTurns(turns + 0.25);
    right = 1.41421356237309514547 * sineTurns(turns);
}

} // namespace

// --- renderMix ---

namespace {

// Per instrument: its notes in time order, the next one to start, the
// sounding voices and its lanes.
struct Track {
    std::vector<const NoteEvent*> notes;
    std::size_t next = 0;
    std::vector<Voice> voices;
    const Lane* lanes[static_cast<int>(LaneParam::count)] = {};

    // The lane's value for `param` at `when`, or `base` without a lane.
    double lane(LaneParam param, double base, double when) const {
        const Lane* found = lanes[static_cast<int>(param)];
        return found ? found->valueAt(when, base) : base;
    }
};

std::vector<Track> makeTracks(const Score& score) {
    std::vector<Track> tracks(score.instruments.size());
    for (const NoteEvent& note : score.notes)
        tracks[note.instrument].notes.push_back(&note);
    for (const Lane& lane : score.lanes)
        tracks[lane.instrument].lanes[static_cast<int>(lane.param)] = &lane;
    return tracks;
}

// The frames at which notes of the ducking triggers start, in time order.
std::vector<long long> triggerFrames(const Score& score) {
    std::vector<long long> triggers;
    for (const NoteEvent& note : score.notes)
        if (score.instruments[note.instrument].patch.trigger > 0.0)
            triggers.push_back(frameOf(note.time));
    std::sort(triggers.begin(), triggers.end());
    return triggers;
}

// One block of the mix: where it lies, the dry mix, the echo and reverb sends
// and the duck envelope the triggers cast on it.
struct MixBlock {
    long long start = 0;
    long long end = 0;
    int count = 0;
    double timeStart = 0.0;
    double timeEnd = 0.0;
    double mixLeft[blockSize], mixRight[blockSize];
    double echoLeft[blockSize], echoRight[blockSize];
    double reverbLeft[blockSize], reverbRight[blockSize];
    double duck[blockSize];
};

// Renders the track's voices (starting those whose notes begin in the block)
// and adds them, with its gain, pan and sends, to the block's buses.
void mixTrack(Track& track, const Instrument& instrument, MixBlock& block,
              std::uint32_t& voiceSeed) {
    const Patch& patch = instrument.patch;
    while (track.next < track.notes.size() && frameOf(track.notes[track.next]->time) < block.end) {
        const NoteEvent& note = *track.notes[track.next++];
        track.voices.emplace_back(instrument, note, frameOf(note.time), voiceSeed++);
    }
    if (track.voices.empty())
        return;

    const double t0 = block.timeStart;
    const double t1 = block.timeEnd;
    const double cutoff = exp2d(track.lane(LaneParam::cutoff, log2d(patch.cutoff), t0));
    const double res = track.lane(LaneParam::res, patch.res, t0);
    double busLeft[blockSize], busRight[blockSize];
    for (int i = 0; i < block.count; ++i)
        busLeft[i] = busRight[i] = 0.0;
    for (Voice& voice : track.voices)
        voice.render(busLeft, busRight, block.start, block.start, block.end, cutoff, res);
    track.voices.erase(std::remove_if(track.voices.begin(), track.voices.end(),
                                      [](const Voice& v) { return v.finished(); }),
                       track.voices.end());

    // Gain and pan glide across the block so that automation never steps.
    const double gain0 = dbToGain(track.lane(LaneParam::gain, patch.gain, t0));
    const double gain1 = dbToGain(track.lane(LaneParam::gain, patch.gain, t1));
    double left0, right0, left1, right1;
    panGains(track.lane(LaneParam::pan, patch.pan, t0), left0, right0);
    panGains(track.lane(LaneParam::pan, patch.pan, t1), left1, right1);
    const double echoSend = track.lane(LaneParam::echo, patch.echo, t0);
    const double reverbSend = track.lane(LaneParam::reverb, patch.reverb, t0);
    for (int i = 0; i < block.count; ++i) {
        const double f = static_cast<double>(i) / blockSize;
        const double gain = (gain0 + (gain1 - gain0) * f) * (1.0 - patch.duck * block.duck[i]);
        const double l = busLeft[i] * gain * (left0 + (left1 - left0) * f);
        const double r = busRight[i] * gain * (right0 + (right1 - right0) * f);
        block.mixLeft[i] += l;
        block.mixRight[i] += r;
        block.echoLeft[i] += l * echoSend;
        block.echoRight[i] += r * echoSend;
        block.reverbLeft[i] += l * reverbSend;
        block.reverbRight[i] += r * reverbSend;
    }
}

} // namespace

StereoBuffer renderMix(const Score& score, long long untilFrame) {
    const long long frames =
        untilFrame < 0 ? score.lengthSamples : std::min(untilFrame, score.lengthSamples);
    StereoBuffer out(static_cast<std::size_t>(2 * frames), 0.0f);
    std::vector<Track> tracks = makeTracks(score);
    const std::vector<long long> triggers = triggerFrames(score);

    Echo echo(score.echo, score.stepSeconds());
    Reverb reverb(score.reverb);
    OnePole dcLeft, dcRight;
    dcLeft.setup(12.0);
    dcRight.setup(12.0);
    std::uint32_t voiceSeed = 1;
    std::size_t nextTrigger = 0;
    long long lastTrigger = -1000000000;

    MixBlock block;
    for (block.start = 0; block.start < frames; block.start += blockSize) {
        block.count = static_cast<int>(std::min<long long>(blockSize, frames - block.start));
        block.end = block.start + block.count;
        block.timeStart = block.start / sampleRate;
        block.timeEnd = block.end / sampleRate;
        for (int i = 0; i < block.count; ++i) {
            block.mixLeft[i] = block.mixRight[i] = block.echoLeft[i] = block.echoRight[i] = 0.0;
            block.reverbLeft[i] = block.reverbRight[i] = 0.0;
            const long long frame = block.start + i;
            while (nextTrigger < triggers.size() && triggers[nextTrigger] <= frame)
                lastTrigger = triggers[nextTrigger++];
            block.duck[i] = duckShape((frame - lastTrigger) / sampleRate);
        }
        for (std::size_t t = 0; t < tracks.size(); ++t)
            mixTrack(tracks[t], score.instruments[t], block, voiceSeed);

        // The sends through the echo and the reverb (which also hears the
        // echo), and the sum without its DC.
        for (int i = 0; i < block.count; ++i) {
            double el, er, rl, rr;
            echo.process(block.echoLeft[i], block.echoRight[i], el, er);
            reverb.process(block.reverbLeft[i] + score.echo.reverb * el,
                           block.reverbRight[i] + score.echo.reverb * er, rl, rr);
            const double l = dcLeft.highpass(block.mixLeft[i] + el + rl);
            const double r = dcRight.highpass(block.mixRight[i] + er + rr);
            out[2 * (block.start + i)] = static_cast<float>(l);
            out[2 * (block.start + i) + 1] = static_cast<float>(r);
        }
    }
    return out;
}

// --- masterMix ---

namespace {

// Brings every sample peak to at most `ceiling` with a gain that dips 3 ms
// ahead of a peak and recovers over about 150 ms, so the limiting itself
// makes no clicks. Works offline in two passes.
void limit(StereoBuffer& samples, double ceiling) {
    const std::size_t frames = samples.size() / 2;
    std::vector<float> gain(frames);
    const double attackStep = 1.0 / (0.003 * sampleRate);
    const double releaseStep = 1.0 / (0.15 * sampleRate);
    double g = 1.0;
    for (std::size_t i = frames; i-- > 0;) {
        const double peak = std::fmax(std::fabs(static_cast<double>(samples[2 * i])),
                                      std::fabs(static_cast<double>(samples[2 * i + 1])));
        const double needed = peak > ceiling ? ceiling / peak : 1.0;
        g = std::fmin(needed, g + attackStep);
        gain[i] = static_cast<float>(g);
    }
    g = 1.0;
    for (std::size_t i = 0; i < frames; ++i) {
        g = std::fmin(static_cast<double>(gain[i]), g + releaseStep);
        // Float rounding of the product must not poke above the ceiling.
        const double l = std::fmax(-ceiling, std::fmin(ceiling, samples[2 * i] * g));
        const double r = std::fmax(-ceiling, std::fmin(ceiling, samples[2 * i + 1] * g));
        samples[2 * i] = static_cast<float>(l);
        samples[2 * i + 1] = static_cast<float>(r);
    }
}

void applyFade(const Score& score, StereoBuffer& samples) {
    if (score.fadeStart < 0.0)
        return;
    const long long from = frameOf(score.fadeStart);
    const long long to = frameOf(score.fadeEnd);
    const long long frames = static_cast<long long>(samples.size() / 2);
    for (long long i = std::max(0LL, from); i < frames; ++i) {
        double g = 0.0;
        if (i < to) {
            // A raised cosine from 1 to 0.
            const double f = static_cast<double>(i - from) / (to - from);
            g = 0.5 + 0.5 * sineTurns(0.25 + 0.5 * f);
        }
        samples[2 * i] = static_cast<float>(samples[2 * i] * g);
        samples[2 * i + 1] = static_cast<float>(samples[2 * i + 1] * g);
    }
}

} // namespace

double masterMix(const Score& score, StereoBuffer& samples) {
    applyFade(score, samples);
    const StereoBuffer raw = samples;
    const double ceiling = dbToGain(score.ceiling);
    double gainDb = score.loudness - integratedLoudness(raw);
    // The limiter takes a little loudness away: measure again and correct.
    for (int pass = 0; pass < 3; ++pass) {
        const float gain = static_cast<float>(dbToGain(gainDb));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = raw[i] * gain;
        limit(samples, ceiling);
        const double error = score.loudness - integratedLoudness(samples);
        if (error < 0.05 && error > -0.05)
            break;
        gainDb += error;
    }
    return gainDb;
}

// --- renderNote ---

StereoBuffer renderNote(const Instrument& instrument, double pitch, double velocity,
                        double holdSeconds, double totalSeconds) {
    Score score;
    score.lengthSamples = frameOf(totalSeconds);
    score.instruments.push_back(instrument);
    score.instruments[0].patch.echo = 0.0;
    score.instruments[0].patch.reverb = 0.0;
    score.instruments[0].patch.duck = 0.0;
    score.notes.push_back(NoteEvent{0, 0.0, holdSeconds, pitch, velocity});
    return renderMix(score);
}

} // namespace music
