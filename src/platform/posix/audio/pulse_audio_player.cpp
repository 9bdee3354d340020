// PulseAudioPlayer: libpulse's threaded main loop, one playback stream of
// 16-bit stereo at 44100 Hz. Every write asks the server for its timing; each
// answer (the server's read index, the sink's latency and the transport time)
// gives the sample being played at the moment it arrives, which the audio
// thread snapshots with the steady clock beside it. The main thread carries
// the last snapshot forward on the steady clock. libpulse's own interpolation
// is not used: its smoothing reads several milliseconds off for seconds after
// a start and drifts back only slowly.
//
// Index: Device (openDevice in steps: the main loop and the connection, the
// stream, the waits for each; teardown) / Audio thread (fill, snapshots). The
// heard frame is the last snapshot carried forward (DeviceStreamPlayer).
#include "platform/posix/audio/pulse_audio_player.h"

#include "platform/posix/audio/quiet_stderr.h"

#include <pulse/pulseaudio.h>

#include <cstdio>

namespace {

int stateOf(pa_context_state_t state) {
    if (state == PA_CONTEXT_READY)
        return 1;
    return PA_CONTEXT_IS_GOOD(state) ? 0 : -1;
}

int stateOf(pa_stream_state_t state) {
    if (state == PA_STREAM_READY)
        return 1;
    return PA_STREAM_IS_GOOD(state) ? 0 : -1;
}

} // namespace

PulseAudioPlayer::~PulseAudioPlayer() {
    audioClose();
}

// --- Device ---

void PulseAudioPlayer::contextStateChanged(pa_context* c, void* player) {
    static_cast<PulseAudioPlayer*>(player)->contextState.store(stateOf(pa_context_get_state(c)));
}

void PulseAudioPlayer::streamStateChanged(pa_stream* s, void* player) {
    static_cast<PulseAudioPlayer*>(player)->streamState.store(stateOf(pa_stream_get_state(s)));
}

PulseAudioPlayer::Wait PulseAudioPlayer::waitUntilReady(const std::atomic<int>& state,
                                                        std::int64_t deadline) {
    // Nothing to let go of on giving up: teardown drops the connection.
    return waitForDevice(deadline, [&state](bool) { return state.load(); });
}

bool PulseAudioPlayer::startContext() {
    mainloop = pa_threaded_mainloop_new();
    if (!mainloop) {
        fail("no sound server", "libpulse did not start");
        return false;
    }
    context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), "Shade Strip");
    if (!context) {
        fail("no sound server", "libpulse did not start");
        teardown();
        return false;
    }
    pa_context_set_state_callback(context, &PulseAudioPlayer::contextStateChanged, this);
    // Never starts a server of its own: without one the player gives way.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        fail("no sound server", pa_strerror(pa_context_errno(context)));
        absent = true;
        teardown();
        return false;
    }
    if (pa_threaded_mainloop_start(mainloop) < 0) {
        fail("no sound server", "libpulse did not start");
        teardown();
        return false;
    }
    return true;
}

bool PulseAudioPlayer::requestStream() {
    pa_threaded_mainloop_lock(mainloop);
    const pa_sample_spec sampleFormat{PA_SAMPLE_S16NE, VorbisStream::frameRate,
                                      static_cast<std::uint8_t>(VorbisStream::channels)};
    output = pa_stream_new(context, "Shade Strip music", &sampleFormat, nullptr);
    bool connected = false;
    if (output) {
        pa_stream_set_state_callback(output, &PulseAudioPlayer::streamStateChanged, this);
        pa_stream_set_write_callback(output, &PulseAudioPlayer::streamWantsData, this);
        pa_stream_set_latency_update_callback(output, &PulseAudioPlayer::timingUpdated, this);
        pa_buffer_attr attributes;
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.tlength =
            static_cast<std::uint32_t>(pa_usec_to_bytes(targetLatencyMs * 1000, &sampleFormat));
        attributes.prebuf = static_cast<std::uint32_t>(-1);
        attributes.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(10 * 1000, &sampleFormat));
        attributes.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        connected =
            pa_stream_connect_playback(output, nullptr, &attributes, flags, nullptr, nullptr) == 0;
    }
    if (!connected)
        fail("no audio device", pa_strerror(pa_context_errno(context)));
    pa_threaded_mainloop_unlock(mainloop);
    return connected;
}

void PulseAudioPlayer::failWithServerError(const char* what) {
    pa_threaded_mainloop_lock(mainloop);
    fail(what, pa_strerror(pa_context_errno(context)));
    pa_threaded_mainloop_unlock(mainloop);
}

bool PulseAudioPlayer::openDevice() {
    const std::int64_t deadline = openDeadline();
    contextState.store(0);
    streamState.store(0);
    timingRequested = false;

    // libpulse may complain on standard error (a missing cookie, say); the
    // user's terminal is no place for it.
    QuietStandardError quiet;
    if (!startContext())
        return false;
    Wait waited = waitUntilReady(contextState, deadline);
    if (waited == Wait::ready) {
        if (!requestStream()) {
            teardown();
            return false;
        }
        waited = waitUntilReady(streamState, deadline);
        if (waited == Wait::ready)
            return true;
        if (waited == Wait::failed)
            failWithServerError("no audio device");
    } else if (waited == Wait::failed) {
        // The connection was refused or there is no socket: no server here.
        failWithServerError("no sound server");
        absent = true;
    }
    failWait(waited, "the sound server does not answer");
    teardown();
    return false;
}

void PulseAudioPlayer::teardown() {
    // Once the thread has stopped nothing runs beside this one, and nothing
    // below waits for the server: the requests are queued and the socket closed.
    if (mainloop)
        pa_threaded_mainloop_stop(mainloop);
    if (output) {
        pa_stream_set_state_callback(output, nullptr, nullptr);
        pa_stream_set_write_callback(output, nullptr, nullptr);
        pa_stream_set_latency_update_callback(output, nullptr, nullptr);
        pa_stream_disconnect(output);
        pa_stream_unref(output);
        output = nullptr;
    }
    if (context) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }
    if (mainloop) {
        pa_threaded_mainloop_free(mainloop);
        mainloop = nullptr;
    }
}

// --- Audio thread ---

void PulseAudioPlayer::streamWantsData(pa_stream*, std::size_t bytes, void* player) {
    static_cast<PulseAudioPlayer*>(player)->fill(bytes);
}

void PulseAudioPlayer::timingUpdated(pa_stream*, void* player) {
    static_cast<PulseAudioPlayer*>(player)->takeSnapshot();
}

void PulseAudioPlayer::fill(std::size_t bytes) {
    while (bytes >= VorbisStream::bytesPerFrame) {
        void* buffer = nullptr;
        std::size_t size = bytes;
        if (pa_stream_begin_write(output, &buffer, &size) < 0 || !buffer)
            return;
        // The buffer offered may be larger than asked for; only what was asked is written.
        if (size > bytes)
            size = bytes;
        const auto frames = static_cast<std::uint32_t>(size / VorbisStream::bytesPerFrame);
        if (frames == 0) {
            pa_stream_cancel_write(output);
            return;
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            handOver(static_cast<std::int16_t*>(buffer), frames);
        }
        if (pa_stream_write(output, buffer,
                            static_cast<std::size_t>(frames) * VorbisStream::bytesPerFrame, nullptr,
                            0, PA_SEEK_RELATIVE) < 0)
            return;
        bytes -= static_cast<std::size_t>(frames) * VorbisStream::bytesPerFrame;
    }
    // A fresh account of the server's position for every write, one request at a time.
    if (!timingRequested) {
        if (pa_operation* request =
                pa_stream_update_timing_info(output, &PulseAudioPlayer::timingAnswered, this)) {
            timingRequested = true;
            pa_operation_unref(request);
        }
    }
}

void PulseAudioPlayer::timingAnswered(pa_stream*, int, void* player) {
    static_cast<PulseAudioPlayer*>(player)->timingRequested = false;
}

void PulseAudioPlayer::takeSnapshot() {
    // Without interpolation this is the time of the sample being played as the
    // answer arrives: the read index, plus the transport time, less the sink's latency.
    pa_usec_t usec = 0;
    if (!output || pa_stream_get_time(output, &usec) < 0)
        return;
    const pa_timing_info* timing = pa_stream_get_timing_info(output);
    const bool running = timing && timing->playing;
    const std::int64_t now = clockNanoseconds();
    std::lock_guard<std::mutex> guard(lock);
    snapshot = Snapshot{true, usec * VorbisStream::frameRate / 1000000u, now, running};
}
