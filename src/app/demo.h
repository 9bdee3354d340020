// Demo: the one application object. It owns the console, the clock and the
// assets, runs start-up, the frame loop and teardown, and carries the authoring
// controls (keys, mouse, title line, column read-outs).
#pragma once

#include "console_host.h"
#include "frame_pacer.h"
#include "imaging/non_copyable.h"
#include "music_clock.h"
#include "platform.h"
#include "scenes/console_grid.h"
#include "scenes/demo_assets.h"

#include <cstdint>

// The three start-up failures, and the caption they are shown under.
extern const char* const errorCaption;
extern const char* const consoleErrorText;
extern const char* const demoErrorText;
extern const char* const musicErrorText;
extern const char* const startTitle;

class Demo : NonCopyable {
  public:
    // Start-up choices, made before run: play with no sound from the start
    // (no audio device is opened or needed), the music time to start at, and
    // whether a device that does not answer means a silent show rather than
    // a failure (a failure of the music itself, a missing resource or a bad
    // stream, still fails).
    struct StartChoices {
        bool silent = false;
        float time = 0.0f;
        bool silentWithoutDevice = false;
    };

    // What the authoring controls show and hold between frames.
    struct Controls {
        // Time and frame rate in the title, and the mouse (Space).
        bool overlayOn = false;
        float smoothedFps = 0.0f;
        // The key list drawn over the picture, from a press of ? or F1 to the next key.
        bool helpOn = false;
        // The column read-outs: the left button's follows the mouse, the right
        // button's stays where it was pinned.
        bool leftLabelOn = false;
        std::int32_t mouseColumn = 0;
        std::int32_t mouseRow = 0;
        bool pinnedLabelOn = false;
        std::int32_t pinnedColumn = 0;
        std::int32_t pinnedRow = 0;
        // Dragging with the left button held moves the time.
        bool dragging = false;
        std::int32_t dragAnchorColumn = 0;
        float markerTime = 87.0f; // seconds: strip column 870, origin of the read-outs
    };

    // How a loop waits between frames (step).
    enum class Pacing {
        sleeps,  // on the platform's timer, after each frame (the terminal's loop)
        whenDue, // not at all: a frame not yet due is skipped (the page's animation
                 // frames); the first is due at once
        driven,  // the caller sets the time of every frame (the headless show)
    };
    enum class Step { ran, notDue, ended };

    explicit Demo(const Platform& platform);
    ~Demo();

    void choose(const StartChoices& startChoices) { choices = startChoices; }

    // Start-up, the frame loop and the audio shutdown. 0 after a normal end
    // (Escape, the end of the show, the console closing), 1 after a start-up failure.
    int run();

    // The pieces of run, for loops and tools that drive frames themselves.
    // Start-up steps 1 to 5; false after reporting the failure, or (with
    // cancelled() true, nothing reported) when Escape or the console closing
    // ended a wait for the audio device.
    bool start();
    bool cancelled() const { return startCancelled; }
    // The step every loop takes: a frame, paced as `pacing` says. `ended`
    // when the loop must end (Escape or the end of the show).
    Step step(Pacing pacing);
    // One pass of the loop up to the present, unpaced; false when the loop must end.
    bool frame();

    // The music time the picture of this frame is drawn for: ahead of the
    // clock by the console's presentation delay while the clock runs, so that
    // the picture reaches the screen as the music gets there; the clock's own
    // t while paused. Never past the end of the show while t is not.
    float shownTime() const;

    // The show plays without sound: chosen, or because no device answered
    // (silentReason then says what failed; empty when the sound played).
    bool playsSilently() const { return silent; }
    const char* silentReason() const { return reason; }
    const Controls& controls() const { return ui; }

    // --- Authoring controls ---
    bool handleInput();
    void updateTitle();
    void drawColumnLabels();
    void drawHelp();

    // What the show runs on: platforms and tests drive and read them.
    const Platform platform;
    ConsoleHost console;
    MusicClock clock;
    DemoAssets assets;

  private:
    // Asked by the audio player while it waits for its device.
    static bool startWaitCancelled(void* demo);
    void handleKey(std::uint16_t virtualKeyCode);
    void handleMouse(const InputRecord& record);
    int fail(const char* text, const char* detail = nullptr);
    bool startOnTimer();
    bool startWithoutDevice();

    StartChoices choices;
    bool silent = false;
    char reason[160] = {};
    Controls ui;
    bool startCancelled = false;
    bool framesBegun = false;
    FramePacer pacer;
    // The console's presentation delay in seconds, read once per frame.
    float presentAhead = 0.0f;
};
