// Demo: start-up, the frame loop, frame pacing and teardown.
#include "demo.h"

#include "input.h"
#include "scenes/resource_blob.h"
#include "timeline/strip.h"

#include <cstdio>

const char* const errorCaption = "Demo error.";
const char* const consoleErrorText = "Cannot initialize console.";
const char* const demoErrorText = "Cannot initialize demo.";
const char* const musicErrorText = "Cannot load music.";
const char* const startTitle = "Please press alt+enter for full screen mode.";

// Escape or the console closing ends the start-up at once, as a user's quit.
bool Demo::startWaitCancelled(void* context) {
    Demo& demo = *static_cast<Demo*>(context);
    InputRecord record;
    while (!demo.startCancelled && demo.console.readInput(record))
        if (record.eventType == InputRecord::keyEvent &&
            record.virtualKeyCode == virtualKey::escape)
            demo.startCancelled = true;
    if (consoleClosing.load())
        demo.startCancelled = true;
    return demo.startCancelled;
}

Demo::Demo(const Platform& p)
    : platform(p), console(p.console), clock(p.audio, p.timer), pacer(p.timer) {}

// At exit: the assets, then the music stream, then the console.
Demo::~Demo() {
    assets.release();
    clock.release();
    console.close();
}

int Demo::fail(const char* text, const char* detail) {
    if (platform.reportError)
        platform.reportError(errorCaption, text, detail);
    return 1;
}

bool Demo::start() {
    if (!console.open(startTitle, consoleColumns, consoleRows))
        return fail(consoleErrorText, platform.console->failureReason()) == 0;
    if (!assets.build())
        return fail(demoErrorText, assets.failureReason()) == 0;
    // No sound: no device and no stream; time runs on the timer.
    if (choices.silent) {
        silent = true;
        return startOnTimer();
    }
    platform.audio->setCancelCheck(&startWaitCancelled, this);
    const bool audioReady = initAudio(*platform.audio, *platform.timer);
    platform.audio->setCancelCheck(nullptr, nullptr);
    if (!audioReady && startCancelled) {
        console.close();
        return false;
    }
    if (!audioReady && choices.silentWithoutDevice)
        return startWithoutDevice();
    if (!audioReady)
        return fail(musicErrorText, platform.audio->failureReason()) == 0;
    // The stream goes on reading the resource after this blob is gone: the
    // bytes belong to the executable.
    ResourceBlob music;
    if (!music.load(resourceId::music))
        return fail(musicErrorText) == 0;
    // Starting later in the show: the stream is made paused and moved before
    // it plays, so the first sound heard is the one at startTime.
    clock.paused = choices.time != 0.0f;
    if (!clock.startFromMemory(music))
        return fail(musicErrorText, platform.audio->failureReason()) == 0;
    if (choices.time != 0.0f) {
        clock.seek(choices.time);
        clock.setPaused(false);
    }
    return true;
}

bool Demo::startOnTimer() {
    clock.startWithoutSound();
    if (choices.time != 0.0f)
        clock.seek(choices.time);
    return true;
}

// The device did not answer: the show goes on as a silent one, and the reason
// is kept for the note the platform prints afterwards.
bool Demo::startWithoutDevice() {
    const char* why = platform.audio->failureReason();
    std::snprintf(reason, sizeof reason, "%s",
                  why != nullptr && why[0] != '\0' ? why : "no audio device answered");
    silent = true;
    return startOnTimer();
}

float Demo::shownTime() const {
    const float t = clock.t;
    if (clock.paused || presentAhead <= 0.0f || t > showEndTime)
        return t;
    const float ahead = t + presentAhead;
    return ahead > showEndTime ? showEndTime : ahead;
}

bool Demo::frame() {
    framesBegun = true;
    clock.update();
    // Read once, so that the controls and the picture agree within the frame.
    presentAhead = console.backend != nullptr
                       ? static_cast<float>(console.backend->presentDelayMs()) * 0.001f
                       : 0.0f;
    if (!handleInput())
        return false;
    // The clock's t decides the end: the last frames are drawn at the end time.
    if (!dispatchStrip(assets, console, shownTime(), clock.dt))
        return false;
    updateTitle();
    drawColumnLabels();
    drawHelp();
    console.present();
    return true;
}

Demo::Step Demo::step(Pacing pacing) {
    if (pacing == Pacing::whenDue) {
        // A loop that cannot sleep keeps the same spacing by skipping: the
        // frame's start is then the tick pace would have noted. The first
        // frame is due at once.
        if (framesBegun && pacer.waitMs() > 0)
            return Step::notDue;
        pacer.begin();
    }
    if (!frame())
        return Step::ended;
    if (pacing == Pacing::sleeps)
        pacer.sleep();
    return Step::ran;
}

int Demo::run() {
    if (!start())
        return startCancelled ? 0 : 1;
    // Frames until the show ends or the console closes; a frame under way
    // when it closes is still finished and paced.
    while (!consoleClosing.load() && step(Pacing::sleeps) == Step::ran)
        continue;
    // A user's terminal is given back first: the audio device may be slow to let go.
    if (platform.closeConsoleFirst)
        console.close();
    if (!silent)
        shutdownAudio(*platform.audio, *platform.timer);
    return 0;
}
