// WebAudioPlayer: the music player in the browser. The track is decoded here
// (src/audio) a chunk at a time and queued on Web Audio as buffers that
// start back to back at exact device frames; the position is the stream frame
// at the output's timestamp, so the picture follows what is being heard.
#include "platform/vorbis_stream_player.h"
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

class WebAudioPlayer : public VorbisStreamPlayer {
  public:
    // Frames per queued buffer (about 93 ms), how far after now a run's first
    // buffer starts (the browser renders a little ahead), and how much is kept
    // queued beyond what is playing.
    static constexpr std::uint32_t chunkFrames = 4096;
    static constexpr double leadSeconds = 0.04;
    static constexpr double aheadSeconds = 0.35;

    bool audioOpen(std::uint32_t rate) override {
        clearFailure();
        if (rate != VorbisStream::frameRate) {
            fail("the music plays only at 44100 Hz");
            return false;
        }
        if (!webAudioOpen(static_cast<int>(rate), held ? 1 : 0)) {
            fail("this browser offers no Web Audio");
            return false;
        }
        deviceOpen = true;
        return true;
    }

    void audioClose() override {
        if (!deviceOpen)
            return;
        stopWhereHeard();
        webAudioStopAll();
        deviceOpen = false;
    }

    std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) override {
        return openStream(data, length,
                          "the music is not a readable Ogg Vorbis stream at 44100 Hz");
    }

    bool streamPlay(std::uint32_t stream, bool restart) override {
        if (!valid(stream))
            return false;
        if (restart)
            music.seek(0);
        playing = true;
        beginRun();
        return true;
    }

    bool streamPause(std::uint32_t stream) override {
        if (!valid(stream))
            return false;
        if (!playing)
            return true;
        // What was queued but not yet heard is played again on resume.
        const std::uint64_t frame = heardFrame();
        playing = false;
        webAudioStopAll();
        standAt(frame);
        return true;
    }

    std::uint64_t streamGetPosition(std::uint32_t stream) override {
        if (!valid(stream))
            return 0;
        feed();
        return heardFrame() * VorbisStream::bytesPerFrame;
    }

    bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) override {
        if (!valid(stream))
            return false;
        music.seek(bytes / VorbisStream::bytesPerFrame);
        if (playing)
            beginRun();
        else
            moveTo(music.position());
        return true;
    }

    bool streamFree(std::uint32_t stream) override {
        if (!valid(stream))
            return false;
        if (deviceOpen)
            webAudioStopAll();
        closeStream();
        return true;
    }

    // While held, the device stands still (a suspended context): a show can
    // be made ready before the gesture that lets it sound.
    void hold(bool h) {
        held = h;
        if (deviceOpen)
            webAudioHold(h ? 1 : 0);
    }

    // Queues buffers until aheadSeconds beyond now are covered. A queue that
    // ran dry (animation frames and timers throttled in a hidden page) starts
    // a new run where the music stopped, so the position never jumps.
    void feed() {
        if (!playing || !deviceOpen)
            return;
        const double now = webAudioNow();
        if (static_cast<double>(nextDeviceFrame) < (now + 0.005) * VorbisStream::frameRate) {
            beginRun();
            return;
        }
        const double until = (now + aheadSeconds) * VorbisStream::frameRate;
        while (static_cast<double>(nextDeviceFrame) < until && !music.ended()) {
            music.read(samples, chunkFrames);
            for (std::uint32_t i = 0; i < chunkFrames; ++i) {
                left[i] = static_cast<float>(samples[2 * i]) / 32768.0f;
                right[i] = static_cast<float>(samples[2 * i + 1]) / 32768.0f;
            }
            webAudioQueue(left, right, static_cast<int>(chunkFrames),
                          static_cast<int>(VorbisStream::frameRate),
                          static_cast<double>(nextDeviceFrame) / VorbisStream::frameRate);
            nextDeviceFrame += chunkFrames;
        }
    }

  private:
    // A new run from the decoder's position: whatever was queued is dropped.
    void beginRun() {
        moveTo(music.position());
        if (!deviceOpen)
            return;
        webAudioStopAll();
        const double start = (webAudioNow() + leadSeconds) * VorbisStream::frameRate;
        nextDeviceFrame = static_cast<std::uint64_t>(std::ceil(start));
        heard.handOut(nextDeviceFrame);
        feed();
    }

    std::uint64_t heardFrame() override {
        if (!playing || !deviceOpen || !heard.handedOut())
            return heard.start();
        const double time = webAudioHeardTime();
        const double frame = time > 0 ? std::floor(time * VorbisStream::frameRate) : 0.0;
        return heard.at(static_cast<std::uint64_t>(frame), music.position());
    }

    bool deviceOpen = false;
    bool held = false;
    std::uint64_t nextDeviceFrame = 0; // device frame the next queued buffer starts at
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
