// PipeWireAudioPlayer: libpipewire's thread loop and one playback stream of
// 16-bit stereo at 44100 Hz, processed on the graph's real-time thread. Each
// cycle hands over one buffer and reads the stream's time beside it: the first
// frame of that buffer is heard after what is already queued in the stream,
// what sits in its resampler, and the graph's delay to the device, all
// counted from the cycle's start. That moment and frame are the snapshot the
// main thread carries forward on the monotonic clock.
#include "platform/posix/audio/pipewire_audio_player.h"

#include "platform/posix/audio/quiet_stderr.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <cstdio>
#include <mutex>

namespace {

constexpr std::int64_t nsPerMs = 1000000;
constexpr std::int64_t nsPerSecond = 1000000000;
// Above any quantum a graph runs at: a larger step of its ticks is a jump
// (an xrun, a restart), not a cycle.
constexpr std::uint64_t maximumQuantum = 16384;

// Lets go of `handle` through `destroy`, once: it is null afterwards.
template <class Handle, class Result> void release(Handle*& handle, Result (*destroy)(Handle*)) {
    if (handle)
        destroy(handle);
    handle = nullptr;
}

void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

} // namespace

struct PipeWireAudioPlayer::Hooks {
    spa_hook listener{};
    pw_stream_events events{};
    PipeWireAudioPlayer* player = nullptr;

    static void stateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
        auto* hooks = static_cast<Hooks*>(data);
        int now = 0;
        if (state == PW_STREAM_STATE_STREAMING)
            now = 1;
        else if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)
            now = -1;
        hooks->player->streamState.store(now);
    }
    static void processed(void* data) { static_cast<Hooks*>(data)->player->process(); }
};

PipeWireAudioPlayer::PipeWireAudioPlayer() : hooks(new Hooks) {
    hooks->player = this;
    hooks->events.version = PW_VERSION_STREAM_EVENTS;
    hooks->events.state_changed = &Hooks::stateChanged;
    hooks->events.process = &Hooks::processed;
}

PipeWireAudioPlayer::~PipeWireAudioPlayer() {
    audioClose();
    delete hooks;
}

// --- Device ---

bool PipeWireAudioPlayer::openDevice() {
    const std::int64_t deadline = openDeadline();
    streamState.store(0);
    {
        std::lock_guard<std::mutex> guard(lock);
        lastCycle = 0;
        lastTicks = 0;
        quantumTicks = 0;
    }
    // libpipewire may complain on standard error; the terminal is the user's.
    QuietStandardError quiet;
    initialiseLibrary();
    loop = pw_thread_loop_new("shadestrip-audio", nullptr);
    if (!loop || pw_thread_loop_start(loop) < 0) {
        fail("no sound server", "libpipewire did not start");
        teardown();
        return false;
    }
    pw_thread_loop_lock(loop);
    const bool connected = connectStream();
    pw_thread_loop_unlock(loop);
    if (!connected) {
        teardown();
        return false;
    }
    // Nothing to let go of on giving up: teardown drops the connection.
    const Wait waited = waitForDevice(deadline, [this](bool) { return streamState.load(); });
    if (waited == Wait::ready)
        return true;
    if (waited == Wait::failed)
        fail("no audio device", "PipeWire refused the stream");
    failWait(waited, "PipeWire does not start the stream");
    teardown();
    return false;
}

bool PipeWireAudioPlayer::connectStream() {
    char latency[32];
    std::snprintf(latency, sizeof latency, "%u/%u", latencyFrames, VorbisStream::frameRate);
    pw_properties* properties =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback",
                          PW_KEY_MEDIA_ROLE, "Music", PW_KEY_APP_NAME, "Shade Strip",
                          PW_KEY_NODE_NAME, "Shade Strip", PW_KEY_NODE_LATENCY, latency, nullptr);
    // The connection is made here, at once: without a daemon there is no
    // socket to reach, and no server here.
    context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
    core = context ? pw_context_connect(context, nullptr, 0) : nullptr;
    if (!core) {
        pw_properties_free(properties);
        fail("no sound server", "no PipeWire daemon");
        absent = true;
        return false;
    }
    output = pw_stream_new(core, "Shade Strip music", properties);
    if (!output) {
        fail("no audio device", "PipeWire refused the stream");
        return false;
    }
    pw_stream_add_listener(output, &hooks->listener, &hooks->events, hooks);
    std::uint8_t space[512];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, space, sizeof space);
    spa_audio_info_raw format{};
    format.format = SPA_AUDIO_FORMAT_S16;
    format.rate = VorbisStream::frameRate;
    format.channels = VorbisStream::channels;
    format.position[0] = SPA_AUDIO_CHANNEL_FL;
    format.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* parameters[1] = {
        spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
    const auto flags = static_cast<pw_stream_flags>(
        PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
    if (pw_stream_connect(output, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, parameters, 1) < 0) {
        fail("no audio device", "PipeWire refused the stream");
        return false;
    }
    return true;
}

void PipeWireAudioPlayer::teardown() {
    // Once the thread has stopped nothing runs beside this one.
    if (loop)
        pw_thread_loop_stop(loop);
    release(output, &pw_stream_destroy);
    release(core, &pw_core_disconnect);
    release(context, &pw_context_destroy);
    release(loop, &pw_thread_loop_destroy);
}

// --- Graph thread ---

void PipeWireAudioPlayer::process() {
    pw_buffer* buffer = pw_stream_dequeue_buffer(output);
    if (!buffer)
        return;
    spa_data& data = buffer->buffer->datas[0];
    if (!data.data || !data.chunk) {
        pw_stream_queue_buffer(output, buffer);
        return;
    }
    std::uint32_t frames = data.maxsize / VorbisStream::bytesPerFrame;
    if (buffer->requested != 0 && buffer->requested < frames)
        frames = static_cast<std::uint32_t>(buffer->requested);
    pw_time time{};
    const bool known = pw_stream_get_time_n(output, &time, sizeof time) == 0 &&
                       time.rate.denom != 0 && time.now != 0;
    const std::int64_t now = clockNanoseconds();
    {
        std::lock_guard<std::mutex> guard(lock);
        if (known) {
            // The graph takes this buffer at its next cycle, a quantum from
            // this one's start (the ticks it moved since the last cycle): its
            // first frame is heard after that, the graph's delay to the
            // device, and what waits in the stream and its resampler.
            const std::uint64_t cycleTicks = time.ticks - lastTicks;
            if (lastTicks != 0 && cycleTicks > 0 && cycleTicks <= maximumQuantum)
                quantumTicks = static_cast<std::int64_t>(cycleTicks);
            lastTicks = time.ticks;
            const std::int64_t graphTicks =
                time.delay + (quantumTicks > 0
                                  ? quantumTicks
                                  : frames * time.rate.denom / VorbisStream::frameRate);
            const std::int64_t graphNs = graphTicks * nsPerSecond * time.rate.num / time.rate.denom;
            const auto waiting = static_cast<std::int64_t>(time.queued + time.buffered);
            snapshot.frame = deviceFrames;
            snapshot.time = time.now + graphNs + waiting * nsPerSecond / VorbisStream::frameRate;
            snapshot.taken = true;
        }
        lastCycle = now;
        handOver(static_cast<std::int16_t*>(data.data), frames);
    }
    data.chunk->offset = 0;
    data.chunk->stride = static_cast<std::int32_t>(VorbisStream::bytesPerFrame);
    data.chunk->size = frames * VorbisStream::bytesPerFrame;
    // The stream's queued time is counted in frames.
    buffer->size = frames;
    pw_stream_queue_buffer(output, buffer);
}

// --- Position ---

std::uint64_t PipeWireAudioPlayer::heardFrame() {
    if (!playing || !snapshot.taken || !heard.handedOut())
        return heard.start();
    std::int64_t now = clockNanoseconds();
    // A graph that stopped cycling: the position stands where it got to.
    if (now - lastCycle > extrapolationLimitMs * nsPerMs)
        now = lastCycle + extrapolationLimitMs * nsPerMs;
    const std::int64_t elapsed =
        (now - snapshot.time) * static_cast<std::int64_t>(VorbisStream::frameRate) / nsPerSecond;
    const auto signedDevice = static_cast<std::int64_t>(snapshot.frame) + elapsed;
    return climbTo(signedDevice > 0 ? static_cast<std::uint64_t>(signedDevice) : 0);
}
