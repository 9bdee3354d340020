// WebAudioPlayer: the music player in the browser, a device beneath the shared
// stream player. The track is decoded here (src/audio) a chunk at a time and
// queued on Web Audio as buffers that start back to back at exact frames of
// the context's clock (the device frames); the position is the stream frame at
// the output's timestamp, so the picture follows what is being heard. Each
// change of run drops what was queued and queues the new run a little after now.
#include "platform/device_stream_player.h"
#include "platform/web/web_platform.h"

#include <emscripten/emscripten.h>

#include <cmath>
#include <cstdint>

// clang-format off
EM_JS(int, webAudioOpen, (int rate, int held), {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context)
        return 0;
    try {
        if (!Module.audio) {
            var context;
            try {
                context = new Context({sampleRate: rate});
            } catch (e) {
                // Buffers at the track's rate are resampled by the browser.
                context = new Context();
            }
            // Whether the output's latency and timestamp may be asked for
            // (webAudioHeardTime).
            Module.audio = {context: context, sources: [],
                            askOutput: navigator.userAgent.indexOf("Firefox/") < 0};
        }
        if (held)
            Module.audio.context.suspend();
        else if (Module.audio.context.state === "suspended")
            Module.audio.context.resume();
        return 1;
    } catch (e) {
        return 0;
    }
});
EM_JS(void, webAudioHold, (int held), {
    if (Module.audio)
        held ? Module.audio.context.suspend() : Module.audio.context.resume();
});
EM_JS(double, webAudioNow, (), {
    return Module.audio.context.currentTime;
});
// The context time of the sample reaching the listener now: the output's own
// timestamp carried forward to this moment where the browser gives one, else
// the rendering time less the reported output latency.
//
// Firefox is not asked for either. It answers them from its audio driver,
// and asked while its audio callback was running, the page's thread, the
// audio graph's thread and the callback waited on one another for good: the
// page froze (about one run in ten of the browser suite on a busy machine,
// just after the click or, with the first ask put off, just after that;
// docs/performance.md has the stacks). There the rendering time less the
// base latency stands in.
EM_JS(double, webAudioHeardTime, (), {
    var audio = Module.audio;
    var context = audio.context;
    if (!audio.askOutput)
        return context.currentTime - (context.baseLatency || 0);
    var time = context.currentTime - (context.outputLatency || context.baseLatency || 0);
    if (context.getOutputTimestamp) {
        var stamp = context.getOutputTimestamp();
        if (stamp.performanceTime > 0 && stamp.contextTime > 0)
            time = stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000;
    }
    return Math.min(time, context.currentTime);
});
EM_JS(void, webAudioQueue, (const float* left, const float* right, int frames, int rate,
                            double when), {
    var audio = Module.audio;
    var buffer = audio.context.createBuffer(2, frames, rate);
    buffer.copyToChannel(HEAPF32.subarray(left >> 2, (left >> 2) + frames), 0);
    buffer.copyToChannel(HEAPF32.subarray(right >> 2, (right >> 2) + frames), 1);
    var source = audio.context.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.context.destination);
    source.onended = function() {
        var i = audio.sources.indexOf(source);
        if (i >= 0)
            audio.sources.splice(i, 1);
    };
    source.start(when);
    audio.sources.push(source);
});
EM_JS(void, webAudioStopAll, (), {
    var audio = Module.audio;
    if (!audio)
        return;
    audio.sources.forEach(function(source) {
        source.onended = null;
        try {
            source.stop();
        } catch (e) {
        }
        source.disconnect();
    });
    audio.sources = [];
});
// clang-format on

namespace {

class WebAudioPlayer : public DeviceStreamPlayer {
  public:
    // Frames per queued buffer (about 93 ms), how far after now a run's first
    // buffer starts (the browser renders a little ahead), and how much is kept
    // queued beyond what is playing.
    static constexpr std::uint32_t chunkFrames = 4096;
    static constexpr double leadSeconds = 0.04;
    static constexpr double aheadSeconds = 0.35;

    bool deviceOpen() const override { return open; }

    // While held, the device stands still (a suspended context): a show can
    // be made ready before the gesture that lets it sound.
    void hold(bool h) {
        held = h;
        if (open)
            webAudioHold(h ? 1 : 0);
    }

    // Queues buffers until aheadSeconds beyond now are covered. A queue that
    // ran dry (animation frames and timers throttled in a hidden page) starts
    // a new run where the music stopped, so the position never jumps.
    void feed() {
        if (!playing || !open)
            return;
        const double now = webAudioNow();
        if (static_cast<double>(deviceFrames) < (now + 0.005) * VorbisStream::frameRate) {
            moveTo(music.position());
            runChanged();
            return;
        }
        const double until = (now + aheadSeconds) * VorbisStream::frameRate;
        while (static_cast<double>(deviceFrames) < until) {
            const double startsAt = static_cast<double>(deviceFrames) / VorbisStream::frameRate;
            handOver(samples, chunkFrames);
            for (std::uint32_t i = 0; i < chunkFrames; ++i) {
                left[i] = static_cast<float>(samples[2 * i]) / 32768.0f;
                right[i] = static_cast<float>(samples[2 * i + 1]) / 32768.0f;
            }
            webAudioQueue(left, right, static_cast<int>(chunkFrames),
                          static_cast<int>(VorbisStream::frameRate), startsAt);
        }
    }

  private:
    bool openDevice() override {
        if (!webAudioOpen(static_cast<int>(VorbisStream::frameRate), held ? 1 : 0)) {
            fail("no audio device", "this browser offers no Web Audio");
            return false;
        }
        open = true;
        return true;
    }

    void closeDevice() override {
        webAudioStopAll();
        open = false;
    }

    // The page has one thread: nothing to lock against.
    void lockDevice() override {}
    void unlockDevice() override {}

    // What was queued is dropped; a playing stream's run is queued from a
    // little after now, the device frame its first buffer starts at.
    void runChanged() override {
        if (!open)
            return;
        webAudioStopAll();
        if (!playing)
            return;
        const double start = (webAudioNow() + leadSeconds) * VorbisStream::frameRate;
        deviceFrames = static_cast<std::uint64_t>(std::ceil(start));
        feed();
    }

    std::uint64_t heardFrame() override {
        if (!playing || !open || !heard.handedOut())
            return heard.start();
        const double time = webAudioHeardTime();
        const double frame = time > 0 ? std::floor(time * VorbisStream::frameRate) : 0.0;
        return climbTo(static_cast<std::uint64_t>(frame));
    }

    bool open = false;
    bool held = false;
    std::int16_t samples[chunkFrames * VorbisStream::channels];
    float left[chunkFrames];
    float right[chunkFrames];
};

WebAudioPlayer& player() {
    static WebAudioPlayer instance;
    return instance;
}

} // namespace

AudioPlayer& webAudioPlayer() {
    return player();
}

void feedWebAudio() {
    player().feed();
}

void holdWebAudio(bool held) {
    player().hold(held);
}
