// Sync of the music clock with the sound actually played: runs MusicClock on
// one of the real players (PLAYER: pulse, the PulseAudio player, or sdl, the
// SDL player on whatever driver SDL_AUDIODRIVER names) over the show's track
// (resource 103); sync.sh gives it a private PulseAudio with a null sink, and
// logs (steady time, t) every millisecond, and records the sink's monitor with
// parec meanwhile. Each stretch of the recording is then found in a decode of
// the track, which tells which music time was being played at that moment;
// the clock's t at the same moment minus that time is the offset. Prints the
// median and spread of the offsets. Never passes or fails.
//
// It also reports the clock's steadiness: whether t ever went back while
// playing, and how far each step of t between frames (read every 10 ms, as
// the show does) differs from the wall clock's step; and how far the first
// reading after a seek lands from its target.
//
// Usage: sync_bench SECONDS MONITOR [PLAYER [LABEL]]
//   (MONITOR: the source parec records; PLAYER: pulse (default) or sdl)
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

// What parec delivered: the frames, and when each delivery arrived.
struct Delivery {
    double arrival;           // seconds since the origin
    std::uint64_t firstFrame; // index of its first frame in the recording
};

struct Recording {
    std::vector<std::int16_t> samples; // interleaved stereo
    std::vector<Delivery> deliveries;
};

// Reads parec's output until it ends; a delivery is whatever arrives within
// half a millisecond of the previous read (one block of the sink, read in pieces).
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
        const std::size_t whole = pending.size() / 4 * 4;
        for (std::size_t i = 0; i < whole; i += 2)
            recording.samples.push_back(
                static_cast<std::int16_t>(static_cast<std::uint8_t>(pending[i]) |
                                          static_cast<std::uint8_t>(pending[i + 1]) << 8));
        pending.erase(0, whole);
    }
}

// The recorder on the monitor, its standard output on a pipe: parec for a
// PulseAudio source, or pw-record (unbuffered, or it writes in 4 KB blocks
// that arrive late) for a PipeWire sink named "pw:NAME". Returns its pid.
pid_t startRecorder(const char* monitor, int& readFd) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
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
double sinkLatencyMs() {
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

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sync_bench SECONDS MONITOR [pulse|sdl [LABEL]]\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const char* monitor = argv[2];
    const char* playerName = argc > 3 ? argv[3] : "pulse";
    const char* label = argc > 4 ? argv[4] : playerName;
    std::unique_ptr<AudioPlayer> chosen;
    if (std::strcmp(playerName, "sdl") == 0) {
        chosen = std::make_unique<SdlAudioPlayer>();
    } else if (std::strcmp(playerName, "alsa") == 0) {
#ifdef SHADESTRIP_HAVE_ALSA
        chosen = std::make_unique<AlsaAudioPlayer>();
#else
        std::printf("sync (%s): built without alsa-lib; skipped\n", label);
        return 0;
#endif
    } else if (std::strcmp(playerName, "pipewire") == 0) {
#ifdef SHADESTRIP_HAVE_PIPEWIRE
        chosen = std::make_unique<PipeWireAudioPlayer>();
#else
        std::printf("sync (%s): built without libpipewire; skipped\n", label);
        return 0;
#endif
    } else if (std::strcmp(playerName, "pulse") == 0) {
#ifdef SHADESTRIP_HAVE_PULSE
        chosen = std::make_unique<PulseAudioPlayer>();
#else
        std::printf("sync (%s): built without libpulse; skipped\n", label);
        return 0;
#endif
    } else {
        std::fprintf(stderr, "sync_bench: unknown player %s\n", playerName);
        return 2;
    }

    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    VorbisStream reference;
    if (!findPlatformResource(103, &data, &size) || !reference.open(data, size)) {
        std::printf("sync: the show's track (resource 103) does not open; skipped\n");
        return 0;
    }
    // The reference: the track decoded from its start, far enough for the run.
    const auto referenceFrames = static_cast<std::uint32_t>(
        std::min<double>(static_cast<double>(reference.lengthFrames()), (seconds + 3) * rate));
    std::vector<std::int16_t> track(2 * static_cast<std::size_t>(referenceFrames));
    reference.read(track.data(), referenceFrames);

    const Clock::time_point origin = Clock::now();
    int recordFd = -1;
    const pid_t recorder = startRecorder(monitor, recordFd);
    if (recorder < 0) {
        std::printf("sync: parec did not start; skipped\n");
        return 0;
    }
    Recording recording;
    std::thread reader(readRecording, recordFd, origin, std::ref(recording));
    // Let the recorder settle before the music starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    AudioPlayer& player = *chosen;
    FrameTimer& timer = monotonicTimer();
    const double openStart = secondsSince(origin);
    const bool opened = initAudio(player, timer);
    const double openMs = 1000.0 * (secondsSince(origin) - openStart);
    MusicClock clock(&player, &timer);
    ByteBlob blob(data, size);
    std::vector<Sample> log;
    std::vector<SeekLanding> seeks;
    double sinkLatency = -1;
    if (opened && clock.startFromMemory(blob)) {
        log.reserve(static_cast<std::size_t>(seconds * 1100) + 100);
        const double start = secondsSince(origin);
        // The sink's latency is read from another thread now and then, so the
        // clock readings keep their pace.
        std::atomic<bool> running{true};
        std::vector<double> latencies;
        std::mutex latencyLock;
        std::thread latencyReader([&] {
            std::this_thread::sleep_for(std::chrono::seconds(2));
            while (running.load()) {
                const double ms = sinkLatencyMs();
                if (ms >= 0) {
                    std::lock_guard<std::mutex> lock(latencyLock);
                    latencies.push_back(ms);
                }
                for (int i = 0; i < 10 && running.load(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        while (secondsSince(origin) - start < seconds) {
            clock.update();
            log.push_back(Sample{secondsSince(origin), static_cast<double>(clock.t)});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        running.store(false);
        latencyReader.join();
        if (!latencies.empty())
            sinkLatency = percentile(latencies, 0.5);
        // Seeks while playing: the first reading one frame (10 ms) later, and
        // how long t then stands before it moves on.
        for (const float target : {5.0f, 12.5f, 3.0f, 9.25f, 1.0f}) {
            clock.seek(target);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            clock.update();
            SeekLanding landing{1000.0 * (static_cast<double>(clock.t) - target), -1};
            const double seekAt = secondsSince(origin);
            for (int i = 0; i < 100; ++i) {
                const float before = clock.t;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                clock.update();
                if (clock.t != before) {
                    landing.standsMs = 1000.0 * (secondsSince(origin) - seekAt);
                    break;
                }
            }
            seeks.push_back(landing);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        clock.release();
    }
    shutdownAudio(player, timer);
    // Stop the recorder by its pid; the reader ends with its output.
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
    const std::uint64_t recorded = recording.samples.size() / 2;
    std::printf("## Sync, %s (MusicClock's t against the sound the sink played)\n\n", label);
    printSteadiness(log);
    if (!seeks.empty()) {
        std::printf("seeks (t one frame later minus the target, ms; then t stands for ms):");
        for (const SeekLanding& s : seeks)
            std::printf(" %+.1f/%.0f", s.offsetMs, s.standsMs);
        std::printf("\n");
    }
    std::printf("device open %.1f ms; %.1f s recorded in %zu deliveries; %zu clock readings\n",
                openMs, recorded / rate, recording.deliveries.size(), log.size());
    if (recording.deliveries.empty() || log.size() < 100) {
        std::printf("sync: nothing recorded; skipped\n");
        return 0;
    }

    // When the sink played recorded frame k: origin + a + k / rate. A delivery
    // cannot arrive before its first frame is played, and the least delayed
    // ones arrive right then, so a is the lower envelope over the deliveries.
    // Over the whole run (as first measured) a assumes the sink renders
    // exactly 44100 frames per second of the steady clock; it does not quite
    // (the offsets then drift by about 0.5 ms a second), so the figures use
    // the envelope of the deliveries within a second of each window.
    double a = 1e9;
    for (const Delivery& d : recording.deliveries)
        a = std::min(a, d.arrival - static_cast<double>(d.firstFrame) / rate);
    const auto localEnvelope = [&](std::uint64_t k) {
        double local = 1e9;
        for (const Delivery& d : recording.deliveries)
            if (d.firstFrame + static_cast<std::uint64_t>(rate) >= k &&
                d.firstFrame <= k + static_cast<std::uint64_t>(rate))
                local = std::min(local, d.arrival - static_cast<double>(d.firstFrame) / rate);
        return local < 1e8 ? local : a;
    };
    const Delivery& lastDelivery = recording.deliveries.back();
    const Delivery& firstDelivery = recording.deliveries.front();
    std::vector<double> wholeRunOffsets;

    // Windows of the recording every quarter second, each found in the track
    // near where the clock says it should be.
    constexpr std::uint32_t window = 512;
    const std::uint32_t search = static_cast<std::uint32_t>(0.5 * rate);
    std::vector<double> offsets;
    int silent = 0, unmatched = 0, exact = 0;
    for (std::uint64_t k = static_cast<std::uint64_t>(0.5 * rate); k + window < recorded;
         k += static_cast<std::uint64_t>(0.25 * rate)) {
        const std::int16_t* w = recording.samples.data() + 2 * k;
        double energy = 0;
        for (std::uint32_t i = 0; i < 2 * window; ++i)
            energy += static_cast<double>(w[i]) * w[i];
        if (energy < 2.0 * window * 100.0 * 100.0) {
            ++silent;
            continue;
        }
        const double played = localEnvelope(k) + static_cast<double>(k) / rate;
        double t = 0;
        if (!clockAt(log, played, t))
            continue;
        const std::int64_t expected = static_cast<std::int64_t>(std::llround(t * rate));
        const std::int64_t from = std::max<std::int64_t>(0, expected - search);
        const std::int64_t to = std::min<std::int64_t>(
            static_cast<std::int64_t>(referenceFrames) - window, expected + search);
        double best = 1e300;
        std::int64_t bestAt = -1;
        for (std::int64_t p = from; p < to; ++p) {
            const std::int16_t* r = track.data() + 2 * p;
            double ssd = 0;
            for (std::uint32_t i = 0; i < 2 * window && ssd < best; ++i) {
                const double d = static_cast<double>(w[i]) - r[i];
                ssd += d * d;
            }
            if (ssd < best) {
                best = ssd;
                bestAt = p;
            }
        }
        // A true match leaves next to nothing (the path is bit-exact at 100 % volume).
        if (bestAt < 0 || best > 0.001 * energy) {
            ++unmatched;
            continue;
        }
        if (best == 0)
            ++exact;
        offsets.push_back(1000.0 * (t - static_cast<double>(bestAt) / rate));
        double wholeRunT = 0;
        if (clockAt(log, a + static_cast<double>(k) / rate, wholeRunT))
            wholeRunOffsets.push_back(1000.0 * (wholeRunT - static_cast<double>(bestAt) / rate));
        if (std::getenv("SYNC_DUMP"))
            std::printf("offset at %.2f s: %.2f ms\n", played, offsets.back());
    }
    if (offsets.empty()) {
        std::printf("sync: no window of the recording matched the track (%d silent, %d "
                    "unmatched); skipped\n",
                    silent, unmatched);
        return 0;
    }
    double mean = 0;
    for (double o : offsets)
        mean += o;
    mean /= static_cast<double>(offsets.size());
    double variance = 0;
    for (double o : offsets)
        variance += (o - mean) * (o - mean);
    const double deviation = std::sqrt(variance / static_cast<double>(offsets.size()));
    std::printf("%zu windows matched, %d of them sample for sample (%d silent, %d unmatched)\n\n",
                offsets.size(), exact, silent, unmatched);
    std::printf("| offset, ms (> 0: the clock is ahead) | median | p10 | p90 | min | max | "
                "std dev |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    const double minimum = *std::min_element(offsets.begin(), offsets.end());
    const double maximum = *std::max_element(offsets.begin(), offsets.end());
    std::printf("| t - sound as the sink renders it | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n",
                percentile(offsets, 0.5), percentile(offsets, 0.1), percentile(offsets, 0.9),
                minimum, maximum, deviation);
    if (sinkLatency >= 0) {
        // The sink plays what it rendered `sinkLatency` later.
        const double l = sinkLatency;
        std::printf("| t - sound as the sink plays it | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f "
                    "|\n",
                    percentile(offsets, 0.5) + l, percentile(offsets, 0.1) + l,
                    percentile(offsets, 0.9) + l, minimum + l, maximum + l, deviation);
        std::printf("\nThe null sink renders %.1f ms ahead of its clock (its reported latency, "
                    "median of the run).\n",
                    sinkLatency);
    }
    if (!wholeRunOffsets.empty()) {
        const double span = lastDelivery.arrival - firstDelivery.arrival;
        std::printf("\nWith one envelope for the whole run (the first method): median %.2f, p10 "
                    "%.2f, p90 %.2f; the sink rendered %.1f frames per second of the steady "
                    "clock (from the deliveries).\n",
                    percentile(wholeRunOffsets, 0.5), percentile(wholeRunOffsets, 0.1),
                    percentile(wholeRunOffsets, 0.9),
                    span > 0
                        ? static_cast<double>(lastDelivery.firstFrame - firstDelivery.firstFrame) /
                              span
                        : 0.0);
    }
    return 0;
}
