// Sync of the music clock with the sound actually played: runs MusicClock on
// one of the real players (PLAYER: pulse, pipewire, alsa, or sdl on whatever
// driver SDL_AUDIODRIVER names) over the show's track (resource 103), logs
// (steady time, t) every millisecond, and records the sink meanwhile (sync.sh
// starts the private servers). Each stretch of the recording is then found in
// a decode of the track, which tells which music time was being played at that
// moment; the clock's t at the same moment minus that time is the offset.
// Prints the median and spread of the offsets, and after five seeks while
// playing, t against the target's sound 20 ms after it is first heard. Never
// fails unless SYNC_CHECK_MS asks it to (the audio-server tests).
//
// It also reports the clock's steadiness: whether t ever went back while
// playing, and how far each step of t between frames (read every 10 ms, as
// the show does) differs from the wall clock's step; and how far the first
// reading after a seek lands from its target.
//
// Index: the recording (readRecording, readStampedRecording, startRecorder);
// steadiness and the clock between readings (printSteadiness, clockAt,
// sinkLatencyMs); the run (makePlayer, LatencyReader, runClock); the analysis
// (Envelope, findInTrack, analyseRun, analyseSeeks, verdict); main.
//
// Usage: sync_bench SECONDS MONITOR [PLAYER [LABEL]]
//   (MONITOR: the PulseAudio source parec records, pw:SINK for pw-record on
//   a PipeWire sink, or jack:RECORDER for jack_record on a JACK graph; PLAYER: pulse (default),
//   pipewire, alsa or sdl)
#include "app/music_clock.h"
#include "app/platform.h"
#include "platform/posix/audio/sdl_audio_player.h"
#ifdef SHADESTRIP_HAVE_PULSE
#include "platform/posix/audio/pulse_audio_player.h"
#endif
#ifdef SHADESTRIP_HAVE_PIPEWIRE
#include "platform/posix/audio/pipewire_audio_player.h"
#endif
#ifdef SHADESTRIP_HAVE_ALSA
#include "platform/posix/audio/alsa_audio_player.h"
#endif
#include "audio/vorbis_stream.h"
#include "jack_record_header.h"
#include "platform/posix/posix_platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double rate = 44100.0;

double secondsSince(Clock::time_point origin) {
    return std::chrono::duration<double>(Clock::now() - origin).count();
}

// What the recorder delivered: the frames, and when each delivery arrived
// (for JACK, when its cycle started on the server's clock).
struct Delivery {
    double arrival;           // seconds since the origin
    std::uint64_t firstFrame; // index of its first frame in the recording
};

struct Recording {
    std::vector<std::int16_t> samples; // interleaved stereo
    std::vector<Delivery> deliveries;
    // Each delivery's time is when its first frame played (jack_record's
    // stamps), not an arrival that may be late.
    bool stamped = false;
};

void appendSamples(std::string& pending, std::size_t bytes, Recording& recording) {
    for (std::size_t i = 0; i + 1 < bytes; i += 2)
        recording.samples.push_back(
            static_cast<std::int16_t>(static_cast<std::uint8_t>(pending[i]) |
                                      static_cast<std::uint8_t>(pending[i + 1]) << 8));
    pending.erase(0, bytes);
}

// Reads parec's or pw-record's output until it ends; a delivery is whatever
// arrives within half a millisecond of the previous read (one block of the
// sink, read in pieces).
void readRecording(int fd, Clock::time_point origin, Recording& recording) {
    std::vector<char> buffer(1 << 16);
    std::string pending;
    double lastArrival = -1;
    for (;;) {
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        const double now = secondsSince(origin);
        const std::uint64_t frames = recording.samples.size() / 2;
        if (lastArrival < 0 || now - lastArrival > 0.0005)
            recording.deliveries.push_back(Delivery{now, frames});
        lastArrival = now;
        pending.append(buffer.data(), static_cast<std::size_t>(n));
        appendSamples(pending, pending.size() / 4 * 4, recording);
    }
}

// Reads jack_record's cycles until they end. Each block goes where the graph's
// frame counter puts it: the cycles the recorder missed are left silent, so
// that every later frame keeps its place on the graph's timeline.
void readStampedRecording(int fd, Clock::time_point origin, Recording& recording) {
    recording.stamped = true;
    const std::int64_t originUs =
        std::chrono::duration_cast<std::chrono::microseconds>(origin.time_since_epoch()).count();
    std::vector<char> buffer(1 << 16);
    std::string pending;
    std::uint32_t firstGraphFrame = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        pending.append(buffer.data(), static_cast<std::size_t>(n));
        JackRecordHeader header;
        while (pending.size() >= sizeof header) {
            std::memcpy(&header, pending.data(), sizeof header);
            if (header.magic != JackRecordHeader::expectedMagic ||
                header.frames > JackRecordHeader::maxFrames) {
                // Not the recorder's records: nothing more is kept, but the
                // pipe is drained so that the recorder never blocks.
                while (read(fd, buffer.data(), buffer.size()) > 0) {
                }
                return;
            }
            if (pending.size() < sizeof header + header.frames * 4u)
                break;
            pending.erase(0, sizeof header);
            if (recording.deliveries.empty())
                firstGraphFrame = static_cast<std::uint32_t>(header.graphFrame);
            // The counter is 32 bits wide: its difference wraps correctly.
            const std::uint64_t at =
                static_cast<std::uint32_t>(header.graphFrame) - firstGraphFrame;
            const std::uint64_t held = recording.samples.size() / 2;
            if (at < held) { // a block for frames already placed: dropped
                pending.erase(0, header.frames * 4u);
                continue;
            }
            recording.samples.resize(2 * at, 0);
            recording.deliveries.push_back(
                Delivery{static_cast<double>(header.startUs - originUs) / 1e6, at});
            appendSamples(pending, header.frames * 4u, recording);
        }
    }
}

// The recorder on the monitor, its standard output on a pipe: parec for a
// PulseAudio source, or pw-record (unbuffered, or it writes in 4 KB blocks
// that arrive late) for a PipeWire sink named "pw:NAME", or the JACK graph's
// recorder (jack_record, at the path after "jack:"). Returns its pid.
pid_t startRecorder(const char* monitor, int& readFd) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (std::strncmp(monitor, "jack:", 5) == 0) {
            execl(monitor + 5, monitor + 5, static_cast<char*>(nullptr));
            _exit(127);
        }
        if (std::strncmp(monitor, "pw:", 3) == 0) {
            // At real-time priority where allowed: a recorder that misses a
            // cycle drops what it missed, and every later window reads early.
            sched_param priority{};
            priority.sched_priority = 40;
            sched_setscheduler(0, SCHED_FIFO, &priority);
            execlp("stdbuf", "stdbuf", "-o0", "pw-record", "--target", monitor + 3, "-P",
                   "stream.capture.sink=true", "--rate", "44100", "--channels", "2", "--format",
                   "s16", "--latency", "128", "-", static_cast<char*>(nullptr));
            _exit(127);
        }
        const std::string device = std::string("--device=") + monitor;
        execlp("parec", "parec", device.c_str(), "--raw", "--format=s16le", "--rate=44100",
               "--channels=2", "--latency-msec=2", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    readFd = pipeFds[0];
    return pid;
}

struct Sample {
    double time; // seconds since the origin
    double t;    // the clock's music time
};

struct SeekLanding {
    double offsetMs; // t one frame after the seek minus the target
    double standsMs; // from that reading until t moved on (-1: it did not within 200 ms)
    double at;       // seconds since the origin, when the seek was made
    std::uint64_t targetFrame;
};

// Steadiness of t as the show reads it: every 10 ms from the first movement
// on, the step of t minus the step of the wall clock, in ms; and the steps
// back among all readings.
void printSteadiness(const std::vector<Sample>& log);

// The clock's t at `time`, between the logged samples around it.
bool clockAt(const std::vector<Sample>& log, double time, double& t) {
    auto after = std::lower_bound(log.begin(), log.end(), time,
                                  [](const Sample& s, double x) { return s.time < x; });
    if (after == log.begin() || after == log.end())
        return false;
    const Sample& a = *(after - 1);
    const Sample& b = *after;
    // t moves in steps (the player's position changes per device buffer and
    // per read); take the later reading's value only once it is reached.
    t = a.t + (b.t - a.t) * (time - a.time) / (b.time - a.time);
    return true;
}

// The null sink renders ahead of its own clock, by what it reports as its
// latency: what the monitor shows has not been "played" yet. -1 when unknown.
// A graph that is not PulseAudio's (JACK) says its own in SYNC_SINK_LATENCY_MS.
double sinkLatencyMs() {
    if (const char* given = std::getenv("SYNC_SINK_LATENCY_MS"))
        return std::atof(given);
    std::FILE* p = popen("pactl list sinks 2>/dev/null", "r");
    if (!p)
        return -1;
    char line[512];
    double ms = -1;
    while (std::fgets(line, sizeof line, p)) {
        unsigned long usec = 0, configured = 0;
        if (ms < 0 &&
            std::sscanf(line, " Latency: %lu usec, configured %lu usec", &usec, &configured) == 2)
            ms = static_cast<double>(usec) / 1000.0;
    }
    pclose(p);
    return ms;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const double position = p * static_cast<double>(values.size() - 1);
    const std::size_t i = static_cast<std::size_t>(position);
    const double f = position - static_cast<double>(i);
    return i + 1 < values.size() ? values[i] * (1 - f) + values[i + 1] * f : values[i];
}

void printSteadiness(const std::vector<Sample>& log) {
    std::size_t backwards = 0;
    std::size_t first = log.size();
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (first == log.size() && log[i].t > 0)
            first = i;
        if (i > 0 && log[i].t < log[i - 1].t)
            ++backwards;
    }
    std::vector<double> errors;
    double nextAt = 0;
    std::size_t previous = first;
    for (std::size_t i = first; i < log.size(); ++i) {
        if (i == first) {
            nextAt = log[i].time + 0.010;
            continue;
        }
        if (log[i].time < nextAt)
            continue;
        const double wall = log[i].time - log[previous].time;
        const double step = log[i].t - log[previous].t;
        errors.push_back(1000.0 * (step - wall));
        previous = i;
        nextAt = log[i].time + 0.010;
    }
    if (errors.empty()) {
        std::printf("steadiness: t never moved\n");
        return;
    }
    std::size_t within = 0;
    for (double e : errors)
        if (std::fabs(e) <= 2.0)
            ++within;
    std::printf("steadiness: %zu steps back in %zu readings; frame steps of t minus the wall "
                "clock's (ms, %zu frames): p1 %+.2f, p10 %+.2f, median %+.2f, p90 %+.2f, p99 "
                "%+.2f, min %+.2f, max %+.2f; %.1f %% within 2 ms\n",
                backwards, log.size(), errors.size(), percentile(errors, 0.01),
                percentile(errors, 0.1), percentile(errors, 0.5), percentile(errors, 0.9),
                percentile(errors, 0.99), *std::min_element(errors.begin(), errors.end()),
                *std::max_element(errors.begin(), errors.end()),
                100.0 * static_cast<double>(within) / static_cast<double>(errors.size()));
}

// The player PLAYER names; null (with a message) when this build lacks it.
std::unique_ptr<AudioPlayer> makePlayer(const char* name, const char* label) {
    if (std::strcmp(name, "sdl") == 0)
        return std::make_unique<SdlAudioPlayer>();
#ifdef SHADESTRIP_HAVE_ALSA
    if (std::strcmp(name, "alsa") == 0)
        return std::make_unique<AlsaAudioPlayer>();
#endif
#ifdef SHADESTRIP_HAVE_PIPEWIRE
    if (std::strcmp(name, "pipewire") == 0)
        return std::make_unique<PipeWireAudioPlayer>();
#endif
#ifdef SHADESTRIP_HAVE_PULSE
    if (std::strcmp(name, "pulse") == 0)
        return std::make_unique<PulseAudioPlayer>();
#endif
    std::printf("sync (%s): no %s player in this build; skipped\n", label, name);
    return nullptr;
}

// What one run of the clock left: every reading, the seeks, the sink's latency.
struct Run {
    std::vector<Sample> log;
    std::vector<SeekLanding> seeks;
    double sinkLatency = -1;
};

// Reads the sink's latency now and then, from another thread, so the clock
// readings keep their pace; returns the median.
class LatencyReader {
  public:
    LatencyReader()
        : reader([this] {
              std::this_thread::sleep_for(std::chrono::seconds(2));
              while (running.load()) {
                  const double ms = sinkLatencyMs();
                  if (ms >= 0) {
                      std::lock_guard<std::mutex> guard(lock);
                      latencies.push_back(ms);
                  }
                  for (int i = 0; i < 10 && running.load(); ++i)
                      std::this_thread::sleep_for(std::chrono::milliseconds(100));
              }
          }) {}
    double stop() {
        running.store(false);
        reader.join();
        return latencies.empty() ? -1 : percentile(latencies, 0.5);
    }

  private:
    std::atomic<bool> running{true};
    std::mutex lock;
    std::vector<double> latencies;
    std::thread reader;
};

// Plays for `seconds`, reading the clock every millisecond, then seeks while
// playing: each seek's first reading one frame (10 ms) later, how long t then
// stands, and every reading for 400 ms after it (the sound after a seek is
// checked against them).
void runClock(MusicClock& clock, double seconds, Clock::time_point origin, Run& run) {
    run.log.reserve(static_cast<std::size_t>(seconds * 1100) + 3000);
    const double start = secondsSince(origin);
    LatencyReader latency;
    const auto read = [&] {
        clock.update();
        run.log.push_back(Sample{secondsSince(origin), static_cast<double>(clock.t)});
    };
    while (secondsSince(origin) - start < seconds) {
        read();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    run.sinkLatency = latency.stop();
    for (const float target : {5.0f, 12.5f, 3.0f, 9.25f, 1.0f}) {
        const double seekAt = secondsSince(origin);
        clock.seek(target);
        const std::uint64_t targetFrame =
            clock.audio->streamSecondsToBytes(clock.stream, target) / VorbisStream::bytesPerFrame;
        run.log.push_back(Sample{seekAt, static_cast<double>(target)});
        SeekLanding landing{0, -1, seekAt, targetFrame};
        bool first = true;
        float before = target;
        while (secondsSince(origin) - seekAt < 0.4) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            read();
            const double since = secondsSince(origin) - seekAt;
            if (first && since >= 0.010) {
                landing.offsetMs = 1000.0 * (static_cast<double>(clock.t) - target);
                first = false;
            }
            if (landing.standsMs < 0 && clock.t != before && since >= 0.010)
                landing.standsMs = 1000.0 * since;
            before = clock.t;
        }
        run.seeks.push_back(landing);
    }
}

// When the sink played recorded frame k: origin + a + k / rate, a being the
// lower envelope of the deliveries (a delivery cannot arrive before its first
// frame is played, and the least delayed ones arrive right then). The sink
// does not render exactly 44100 frames per second of the steady clock (the
// offsets would drift by about 0.5 ms a second), so a is taken over the
// deliveries within a second of each frame. A stamped recording says when
// each block played: frame k plays at its block's time plus its place in it.
class Envelope {
  public:
    explicit Envelope(const Recording& recording)
        : deliveries(recording.deliveries), stamped(recording.stamped) {
        for (const Delivery& d : deliveries)
            whole = std::min(whole, d.arrival - static_cast<double>(d.firstFrame) / rate);
    }
    double playedAt(std::uint64_t k) const {
        if (stamped)
            return blockTimeAt(k);
        double local = 1e9;
        for (const Delivery& d : deliveries)
            if (d.firstFrame + static_cast<std::uint64_t>(rate) >= k &&
                d.firstFrame <= k + static_cast<std::uint64_t>(rate))
                local = std::min(local, d.arrival - static_cast<double>(d.firstFrame) / rate);
        return (local < 1e8 ? local : whole) + static_cast<double>(k) / rate;
    }
    double wholeRunAt(std::uint64_t k) const { return whole + static_cast<double>(k) / rate; }

  private:
    // The last block starting at or before k (the first block for earlier k).
    double blockTimeAt(std::uint64_t k) const {
        auto after = std::upper_bound(
            deliveries.begin(), deliveries.end(), k,
            [](std::uint64_t frame, const Delivery& d) { return frame < d.firstFrame; });
        const Delivery& d = after == deliveries.begin() ? *after : *(after - 1);
        return d.arrival + (static_cast<double>(k) - static_cast<double>(d.firstFrame)) / rate;
    }

    const std::vector<Delivery>& deliveries;
    bool stamped;
    double whole = 1e9;
};

constexpr std::uint32_t window = 512;

// The sum of squared differences of two windows of samples, given up (with
// whatever it has reached) once it is no longer below `limit`.
double windowDistance(const std::int16_t* a, const std::int16_t* b, double limit) {
    double ssd = 0;
    for (std::uint32_t i = 0; i < 2 * window && ssd < limit; ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        ssd += d * d;
    }
    return ssd;
}

// The track frame, within [from, to), whose window matches the recording's at
// `w` next to exactly (the path is bit-exact at 100 % volume); -1 when none.
std::int64_t findInTrack(const std::int16_t* w, double energy,
                         const std::vector<std::int16_t>& track, std::int64_t from,
                         std::int64_t to) {
    from = std::max<std::int64_t>(0, from);
    to = std::min<std::int64_t>(static_cast<std::int64_t>(track.size() / 2) - window, to);
    double best = 1e300;
    std::int64_t bestAt = -1;
    for (std::int64_t p = from; p < to; ++p) {
        const double ssd = windowDistance(w, track.data() + 2 * p, best);
        if (ssd < best) {
            best = ssd;
            bestAt = p;
        }
    }
    return bestAt >= 0 && best <= 0.001 * energy ? bestAt : -1;
}

double windowEnergy(const std::int16_t* w) {
    double energy = 0;
    for (std::uint32_t i = 0; i < 2 * window; ++i)
        energy += static_cast<double>(w[i]) * w[i];
    return energy;
}

void printOffsets(const std::vector<double>& offsets, double sinkLatency) {
    double mean = 0;
    for (double o : offsets)
        mean += o;
    mean /= static_cast<double>(offsets.size());
    double variance = 0;
    for (double o : offsets)
        variance += (o - mean) * (o - mean);
    const double deviation = std::sqrt(variance / static_cast<double>(offsets.size()));
    std::printf("| offset, ms (> 0: the clock is ahead) | median | p10 | p90 | min | max | "
                "std dev |\n|---|---|---|---|---|---|---|\n");
    const double minimum = *std::min_element(offsets.begin(), offsets.end());
    const double maximum = *std::max_element(offsets.begin(), offsets.end());
    const auto row = [&](const char* what, double l) {
        std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", what,
                    percentile(offsets, 0.5) + l, percentile(offsets, 0.1) + l,
                    percentile(offsets, 0.9) + l, minimum + l, maximum + l, deviation);
    };
    row("t - sound as the sink renders it", 0);
    if (sinkLatency >= 0) {
        // The sink plays what it rendered `sinkLatency` later.
        row("t - sound as the sink plays it", sinkLatency);
        std::printf("\nThe sink renders %.1f ms ahead of its clock (its reported latency, median "
                    "of the run).\n",
                    sinkLatency);
    }
}

// Windows of the recording every quarter second of the steady run, each found
// in the track near where the clock says it should be: t at the moment the
// window was played, minus the window's own time. Returns the median
// offset (NaN when nothing matched).
double analyseRun(const Recording& recording, const std::vector<std::int16_t>& track,
                  const Run& run, const Envelope& envelope, double runEnd) {
    const std::uint64_t recorded = recording.samples.size() / 2;
    std::vector<double> offsets, wholeRunOffsets;
    int silent = 0, unmatched = 0;
    for (std::uint64_t k = static_cast<std::uint64_t>(0.5 * rate); k + window < recorded;
         k += static_cast<std::uint64_t>(0.25 * rate)) {
        const std::int16_t* w = recording.samples.data() + 2 * k;
        const double energy = windowEnergy(w);
        if (energy < 2.0 * window * 100.0 * 100.0) {
            ++silent;
            continue;
        }
        const double played = envelope.playedAt(k);
        double t = 0;
        if (played > runEnd || !clockAt(run.log, played, t))
            continue;
        const auto expected = static_cast<std::int64_t>(std::llround(t * rate));
        const std::int64_t at = findInTrack(w, energy, track, expected - 22050, expected + 22050);
        if (at < 0) {
            ++unmatched;
            continue;
        }
        offsets.push_back(1000.0 * (t - static_cast<double>(at) / rate));
        double wholeRunT = 0;
        if (clockAt(run.log, envelope.wholeRunAt(k), wholeRunT))
            wholeRunOffsets.push_back(1000.0 * (wholeRunT - static_cast<double>(at) / rate));
    }
    if (offsets.empty()) {
        std::printf("sync: no window of the recording matched the track (%d silent, %d "
                    "unmatched); skipped\n",
                    silent, unmatched);
        return std::nan("");
    }
    std::printf("%zu windows matched (%d silent, %d unmatched)\n\n", offsets.size(), silent,
                unmatched);
    printOffsets(offsets, run.sinkLatency);
    if (!wholeRunOffsets.empty())
        std::printf("\nWith one envelope for the whole run (the first method): median %.2f, p10 "
                    "%.2f, p90 %.2f.\n",
                    percentile(wholeRunOffsets, 0.5), percentile(wholeRunOffsets, 0.1),
                    percentile(wholeRunOffsets, 0.9));
    return percentile(offsets, 0.5);
}

// After each seek: where the target's sound first shows in the recording, and
// 20 ms later t against the sound then playing (t waits at the target until
// the player says its sound is heard).
std::vector<double> analyseSeeks(const Recording& recording, const std::vector<std::int16_t>& track,
                                 const Run& run, const Envelope& envelope) {
    std::vector<double> offsets;
    const std::uint64_t recorded = recording.samples.size() / 2;
    const auto later = static_cast<std::uint64_t>(0.020 * rate);
    for (const SeekLanding& seek : run.seeks) {
        const std::int16_t* reference = track.data() + 2 * seek.targetFrame;
        if (seek.targetFrame + window >= track.size() / 2)
            continue;
        // The recording frame where the target was played: search the frames
        // played from the seek on, for 300 ms.
        std::uint64_t k = 0;
        while (k + window < recorded && envelope.playedAt(k) < seek.at)
            k += 64;
        const std::uint64_t end = std::min<std::uint64_t>(recorded - window, k + 13230);
        // The closest match (a resampling graph is not bit-exact), if close.
        const double energy = windowEnergy(reference);
        double best = 0.001 * energy;
        std::int64_t found = -1;
        for (; k < end; ++k) {
            const double ssd = windowDistance(recording.samples.data() + 2 * k, reference, best);
            if (ssd < best) {
                best = ssd;
                found = static_cast<std::int64_t>(k);
            }
        }
        double t = 0;
        if (found < 0 || !clockAt(run.log, envelope.playedAt(found + later), t)) {
            std::printf("seek to %.2f s: its sound was not found in the recording\n",
                        static_cast<double>(seek.targetFrame) / rate);
            continue;
        }
        const double heard = static_cast<double>(seek.targetFrame + later) / rate;
        offsets.push_back(1000.0 * (t - heard));
    }
    return offsets;
}

// Decodes the first `seconds` of the show's track (resource 103).
bool decodeTrack(double seconds, const std::uint8_t*& data, std::uint32_t& size,
                 std::vector<std::int16_t>& track) {
    VorbisStream reference;
    if (!findPlatformResource(103, &data, &size) || !reference.open(data, size))
        return false;
    const auto frames = static_cast<std::uint32_t>(
        std::min<double>(static_cast<double>(reference.lengthFrames()), seconds * rate));
    track.assign(2 * static_cast<std::size_t>(frames), 0);
    reference.read(track.data(), frames);
    return true;
}

void printRunFacts(const Run& run, const Recording& recording, double openMs) {
    printSteadiness(run.log);
    std::printf("seeks (t one frame later minus the target, ms; then t stands for ms):");
    for (const SeekLanding& s : run.seeks)
        std::printf(" %+.1f/%.0f", s.offsetMs, s.standsMs);
    std::printf("\ndevice open %.1f ms; %.1f s recorded in %zu deliveries; %zu clock readings\n",
                openMs, static_cast<double>(recording.samples.size() / 2) / rate,
                recording.deliveries.size(), run.log.size());
}

// With SYNC_CHECK_MS set (a test): 1 unless the run's median offset and the
// median of the offsets after seeks are within that many milliseconds.
int verdict(double median, const std::vector<double>& seekOffsets) {
    const char* limitText = std::getenv("SYNC_CHECK_MS");
    if (!limitText)
        return 0;
    const double limit = std::atof(limitText);
    if (!(std::fabs(median) <= limit)) {
        std::printf("FAIL: the picture is %+.2f ms from the sound (limit %.1f)\n", median, limit);
        return 1;
    }
    if (seekOffsets.size() < 3 || !(std::fabs(percentile(seekOffsets, 0.5)) <= limit)) {
        std::printf("FAIL: after seeks the picture is not within %.1f ms of the sound\n", limit);
        return 1;
    }
    std::printf("PASS: within %.1f ms, during the run and after seeks\n", limit);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sync_bench SECONDS MONITOR|pw:SINK|jack:RECORDER "
                             "[pulse|pipewire|alsa|sdl [LABEL]]\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const char* monitor = argv[2];
    const char* playerName = argc > 3 ? argv[3] : "pulse";
    const char* label = argc > 4 ? argv[4] : playerName;
    const std::unique_ptr<AudioPlayer> chosen = makePlayer(playerName, label);
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    std::vector<std::int16_t> track;
    if (!chosen || !decodeTrack(std::max(seconds + 3, 14.0), data, size, track)) {
        std::printf("sync (%s): no player or no track; skipped\n", label);
        return 0;
    }
    const Clock::time_point origin = Clock::now();
    int recordFd = -1;
    const pid_t recorder = startRecorder(monitor, recordFd);
    if (recorder < 0) {
        std::printf("sync: the recorder did not start; skipped\n");
        return 0;
    }
    Recording recording;
    std::thread reader(std::strncmp(monitor, "jack:", 5) == 0 ? readStampedRecording
                                                              : readRecording,
                       recordFd, origin, std::ref(recording));
    // Let the recorder settle before the music starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    AudioPlayer& player = *chosen;
    FrameTimer& timer = monotonicTimer();
    const double openStart = secondsSince(origin);
    const bool opened = initAudio(player, timer);
    const double openMs = 1000.0 * (secondsSince(origin) - openStart);
    MusicClock clock(&player, &timer);
    ByteBlob blob(data, size);
    Run run;
    double runEnd = 0;
    if (opened && clock.startFromMemory(blob)) {
        runClock(clock, seconds, origin, run);
        runEnd = run.seeks.empty() ? secondsSince(origin) : run.seeks.front().at;
        clock.release();
    }
    shutdownAudio(player, timer);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(recorder, SIGTERM);
    int status = 0;
    waitpid(recorder, &status, 0);
    reader.join();
    close(recordFd);
    if (!opened) {
        std::printf("sync (%s): no audio device (%s); skipped\n", label,
                    player.failureReason() ? player.failureReason() : "no reason given");
        return 0;
    }
    std::printf("## Sync, %s (MusicClock's t against the sound the sink played)\n\n", label);
    printRunFacts(run, recording, openMs);
    if (recording.deliveries.empty() || run.log.size() < 100) {
        std::printf("sync: nothing recorded; skipped\n");
        return 0;
    }
    const Envelope envelope(recording);
    const double median = analyseRun(recording, track, run, envelope, runEnd);
    const std::vector<double> seekOffsets = analyseSeeks(recording, track, run, envelope);
    std::printf("\nAfter seeks, t 20 ms after the target's first sound minus that sound (ms):");
    for (double o : seekOffsets)
        std::printf(" %+.2f", o);
    std::printf("\n");
    return verdict(median, seekOffsets);
}
