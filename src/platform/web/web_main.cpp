// The show in a web page. Each show is a fresh Demo, as a fresh process would
// be: shadestrip_prepare starts it up while the page loads (or after the
// previous show) with the audio held still, and shadestrip_play, called on a
// click or a key (browsers allow sound only after a gesture), lets the sound
// go from 0 and runs the frames on requestAnimationFrame.
#include "app/demo.h"
#include "imaging/shared_random.h"
#include "platform/web/web_platform.h"
#include "scenes/resource_blob.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <optional>

// clang-format off
EM_JS(void, pageShowEnded, (), {
    if (Module.showEnded)
        Module.showEnded();
});
// clang-format on

namespace {

std::optional<Demo> demo;
bool prepared = false; // started up and waiting for the gesture
bool running = false;

// Figures for the benchmark and the tests: when the last play began and its
// first frame was presented (performance.now, ms), and the work and the frame
// time (the clock's dt) of each frame.
constexpr int recordedFrames = 20000;
double playStartedAt = 0;
double firstFrameAt = 0;
float frameWorkMs[recordedFrames];
float frameDt[recordedFrames];
int frameCount = 0;

// A frame when one is due (Demo's pacing for a loop that cannot sleep), with
// its figures recorded.
Demo::Step runFrame() {
    Demo& show = *demo;
    const double begin = emscripten_get_now();
    const Demo::Step step = show.step(Demo::Pacing::whenDue);
    if (step == Demo::Step::notDue)
        return step;
    const double end = emscripten_get_now();
    if (frameCount == 0)
        firstFrameAt = end;
    if (frameCount < recordedFrames) {
        frameWorkMs[frameCount] = static_cast<float>(end - begin);
        frameDt[frameCount] = show.clock.dt;
    }
    ++frameCount;
    return step;
}

bool prepare() {
    prepared = false;
    // The previous show's assets, stream and console go first; the shared
    // random generator starts again, so every show draws the same pictures.
    holdWebAudio(true);
    demo.reset();
    setSharedRandomState(1);
    demo.emplace(webPlatform());
    if (!demo->start())
        return false;
    prepared = true;
    return true;
}

void finish() {
    running = false;
    shutdownAudio(*demo->platform.audio, *demo->platform.timer);
    // The last frame stays on the canvas (the next show draws only from its
    // own first frame on); the page offers another play.
    pageShowEnded();
    prepare();
}

EM_BOOL onAnimationFrame(double frameTime, void*) {
    if (!running)
        return EM_FALSE;
    // The frame's own time for the pacing rule and the clock's dt.
    struct FrameTime {
        explicit FrameTime(double ms) { setPageFrameTime(ms); }
        ~FrameTime() { setPageFrameTime(-1); }
    } during(frameTime);
    // The music stays queued ahead of what is heard: once an animation
    // frame, and from the page's timer while frames are throttled.
    feedWebAudio();
    // A page cannot sleep: a frame that would have to wait is left to a later
    // animation frame.
    if (runFrame() == Demo::Step::ended) {
        finish();
        return EM_FALSE;
    }
    return EM_TRUE;
}

} // namespace

extern "C" {

// Starts a show up with its audio held: 1 after a failure (already shown on
// the page), else 0.
EMSCRIPTEN_KEEPALIVE int shadestrip_prepare() {
    if (running)
        return 0;
    return prepare() ? 0 : 1;
}

// Plays the prepared show from 0: 0 when it runs, 1 after a start-up failure
// (already shown on the page), 2 when one is running already.
EMSCRIPTEN_KEEPALIVE int shadestrip_play() {
    if (running)
        return 2;
    if (!prepared && !prepare())
        return 1;
    prepared = false;
    playStartedAt = emscripten_get_now();
    firstFrameAt = 0;
    frameCount = 0;
    // The music starts now: the clock's timer and the stream both begin at 0
    // at the gesture, not when the show was made ready.
    holdWebAudio(false);
    demo->clock.seek(0.0f);
    running = true;
    // The first frame at once, the rest on animation frames.
    if (runFrame() == Demo::Step::ended) {
        finish();
        return 0;
    }
    emscripten_request_animation_frame_loop(onAnimationFrame, nullptr);
    return 0;
}

// A key went down (down = 1) or up, by its virtual-key code.
EMSCRIPTEN_KEEPALIVE void shadestrip_key(int virtualKeyCode, int down) {
    InputRecord record;
    record.eventType = InputRecord::keyEvent;
    record.keyDown = down != 0;
    record.virtualKeyCode = static_cast<std::uint16_t>(virtualKeyCode);
    queueCanvasInput(record);
}

// A mouse event at a cell: buttons held (left 1, right 2), flags (moved 1,
// double click 2).
EMSCRIPTEN_KEEPALIVE void shadestrip_mouse(int column, int row, int buttons, int flags) {
    InputRecord record;
    record.eventType = InputRecord::mouseEvent;
    record.mouseX = static_cast<std::int16_t>(column);
    record.mouseY = static_cast<std::int16_t>(row);
    record.buttonState = static_cast<std::uint32_t>(buttons);
    record.eventFlags = static_cast<std::uint32_t>(flags);
    queueCanvasInput(record);
}

// 1 while the show is paused (its t stands still), else 0.
EMSCRIPTEN_KEEPALIVE int shadestrip_paused() {
    return demo && demo->clock.paused ? 1 : 0;
}

// Keeps the music queued while animation frames are throttled.
EMSCRIPTEN_KEEPALIVE void shadestrip_feed() {
    if (running)
        feedWebAudio();
}

// --- For the tests and the benchmark ---

// Music time of the last frame, in seconds (-1 before the first play).
EMSCRIPTEN_KEEPALIVE double shadestrip_time() {
    return demo ? static_cast<double>(demo->clock.t) : -1.0;
}
EMSCRIPTEN_KEEPALIVE int shadestrip_frames() {
    return frameCount;
}
EMSCRIPTEN_KEEPALIVE double shadestrip_frame_work(int index) {
    return index >= 0 && index < recordedFrames && index < frameCount ? frameWorkMs[index] : -1.0;
}
// The frame time of frame `index` in seconds, -1 for none.
EMSCRIPTEN_KEEPALIVE double shadestrip_frame_dt(int index) {
    return index >= 0 && index < recordedFrames && index < frameCount ? frameDt[index] : -1.0;
}
EMSCRIPTEN_KEEPALIVE double shadestrip_started_at() {
    return playStartedAt;
}
EMSCRIPTEN_KEEPALIVE double shadestrip_first_frame_at() {
    return firstFrameAt;
}
// The music position being heard, in seconds, whatever the show's state.
EMSCRIPTEN_KEEPALIVE double shadestrip_heard() {
    if (!demo || !demo->clock.stream)
        return -1.0;
    AudioPlayer& audio = *demo->platform.audio;
    return audio.streamBytesToSeconds(demo->clock.stream,
                                      audio.streamGetPosition(demo->clock.stream));
}
// Removes an embedded resource for the next play, to see a failed start-up.
EMSCRIPTEN_KEEPALIVE void shadestrip_drop_resource(int id) {
    overrideResource(static_cast<std::uint16_t>(id), nullptr, 0, false);
}

} // extern "C"
