// What a JACK graph plays, on standard output, one record per cycle as it
// runs: a header (JackRecordHeader: the graph's frame counter at the cycle's
// start, and that start on the monotonic clock, from the server's own cycle
// times) and the cycle's frames, 16-bit little-endian stereo at the graph's
// rate. Every port connected to system:playback_1 and _2 is connected to this
// recorder's two inputs as it appears; the graph runs a port's writer before
// its readers, so a cycle's block is recorded in the cycle that plays it.
//
// The stamps are what the sync bench places the sound by. On a loaded machine
// the graph runs cycles without a late client (the server's log says "was not
// finished"): those frames never reach the recorder, and only the frame
// counter tells where the next block belongs. Nor does a late cycle's arrival
// on the pipe say when it played; its start on the server's clock does.
//
// Writing to a pipe from the process callback is not what a real-time client
// should do; here the reader drains the pipe at once.
//
// Usage: jack_record   (the server JACK_DEFAULT_SERVER names; ends on SIGTERM)
#include "jack_record_header.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

jack_port_t* inputs[2];
jack_client_t* client = nullptr;
std::vector<std::int16_t> block;
std::atomic<bool> stop{false};
// The monotonic clock less JACK's, in microseconds (the server's clock may be
// another source; both run at the same rate).
std::int64_t jackToMonotonicUs = 0;

std::int16_t toSample(float x) {
    const float clipped = std::max(-1.0f, std::min(1.0f, x));
    return static_cast<std::int16_t>(clipped * 32767.0f);
}

std::int64_t monotonicUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

bool writeAll(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(STDOUT_FILENO, bytes, size);
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int process(jack_nframes_t frames, void*) {
    const auto* left = static_cast<const float*>(jack_port_get_buffer(inputs[0], frames));
    const auto* right = static_cast<const float*>(jack_port_get_buffer(inputs[1], frames));
    if (block.size() < frames * 2u)
        return 0; // a larger period than the one allocated for: skipped, not grown here
    jack_nframes_t cycleFrame = 0;
    jack_time_t cycleStart = 0, nextStart = 0;
    float periodUs = 0;
    if (jack_get_cycle_times(client, &cycleFrame, &cycleStart, &nextStart, &periodUs) != 0) {
        cycleFrame = jack_last_frame_time(client);
        cycleStart = jack_get_time();
    }
    JackRecordHeader header;
    header.frames = frames;
    header.graphFrame = cycleFrame;
    header.startUs = static_cast<std::int64_t>(cycleStart) + jackToMonotonicUs;
    for (jack_nframes_t i = 0; i < frames; ++i) {
        block[2 * i] = toSample(left[i]);
        block[2 * i + 1] = toSample(right[i]);
    }
    if (writeAll(&header, sizeof header))
        writeAll(block.data(), frames * 4u);
    return 0;
}

// Connects whatever feeds system:playback_N (other than this recorder) to input N.
void follow(jack_client_t* client) {
    for (int channel = 0; channel < 2; ++channel) {
        const std::string sink = "system:playback_" + std::to_string(channel + 1);
        jack_port_t* port = jack_port_by_name(client, sink.c_str());
        if (!port)
            continue;
        const char** feeders = jack_port_get_all_connections(client, port);
        for (const char** f = feeders; f && *f; ++f)
            if (!jack_port_connected_to(inputs[channel], *f))
                jack_connect(client, *f, jack_port_name(inputs[channel]));
        jack_free(feeders);
    }
}

} // namespace

int main() {
    std::signal(SIGTERM, [](int) { stop.store(true); });
    std::signal(SIGINT, [](int) { stop.store(true); });
    std::signal(SIGPIPE, SIG_IGN);
    jack_status_t status;
    client = jack_client_open("shadestrip-record", JackNoStartServer, &status);
    if (!client) {
        std::fprintf(stderr, "jack_record: no JACK server answers\n");
        return 1;
    }
    block.resize(JackRecordHeader::maxFrames * 2);
    const std::int64_t before = monotonicUs();
    const auto jackNow = static_cast<std::int64_t>(jack_get_time());
    jackToMonotonicUs = (before + monotonicUs()) / 2 - jackNow;
    inputs[0] = jack_port_register(client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    inputs[1] = jack_port_register(client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    if (!inputs[0] || !inputs[1] || jack_set_process_callback(client, process, nullptr) != 0 ||
        jack_activate(client) != 0) {
        std::fprintf(stderr, "jack_record: the recorder's ports did not register\n");
        jack_client_close(client);
        return 1;
    }
    // A player appears at any time: look for new feeders every 2 ms.
    while (!stop.load()) {
        follow(client);
        usleep(2000);
    }
    jack_deactivate(client);
    jack_client_close(client);
    return 0;
}
