// Demo: the one application object. It owns the console, the clock and the
// assets, runs start-up, the frame loop and teardown, and carries the authoring
// controls (keys, mouse, title line, column read-outs).
#pragma once

#include "console_host.h"
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

constexpr std::uint32_t frameSpacingMs = 10;

class Demo : NonCopyable {
  public:
    explicit Demo(const Platform& platform);
    ~Demo();

    // Start-up, the frame loop and the audio shutdown. 0 after a normal end
    // (Escape, the end of the show, the console closing), 1 after a start-up failure.
    int run();

    // The pieces of run, for tools that drive frames themselves.
    // Start-up steps 1 to 5; false after reporting the failure, or (with
    // startCancelled set, nothing reported) when Escape or the console closing
    // ended a wait for the audio device.
    bool start();
    // One pass of the loop up to the present; false when the loop must end
    // (Escape or the end of the show).
    bool frame();
    // Keeps frames at least 10 ms apart; never sleeps after a late frame.
    void pace();
    // How long pace would sleep now: what is left of the 10 ms since
    // lastFrameTick, 0 after a late frame or a counter that went backwards.
    std::uint32_t paceWaitMs() const;

    // The music time the picture of this frame is drawn for: ahead of the
    // clock by the console's presentation delay while the clock runs, so that
    // the picture reaches the screen as the music gets there; the clock's own
    // t while paused. Never past the end of the show while t is not.
    float shownTime() const;

    // --- Authoring controls ---
    bool handleInput();
    void updateTitle();
    void drawColumnLabels();
    void drawHelp();

    Platform platform;

    // Start-up choices, set before run: play with no sound from the start
    // (no audio device is opened or needed), and the music time to start at.
    bool startSilent = false;
    float startTime = 0.0f;
    // Where no audio device answers: play silently instead of failing, keeping
    // what failed in silentReason (empty when the sound played). A failure of
    // the music itself (a missing resource, a bad stream) still fails.
    bool silentWithoutDevice = false;
    char silentReason[160] = {};

    bool overlayOn = false;
    // The key list drawn over the picture, from a press of ? or F1 to the next key.
    bool helpOn = false;
    bool leftLabelOn = false;
    bool pinnedLabelOn = false;
    bool dragging = false;
    float smoothedFps = 0.0f;
    float markerTime = 87.0f; // seconds: strip column 870, origin of the read-outs
    std::int32_t mouseColumn = 0;
    std::int32_t mouseRow = 0;
    std::int32_t pinnedColumn = 0;
    std::int32_t pinnedRow = 0;
    std::int32_t dragAnchorColumn = 0;
    ConsoleHost console;
    MusicClock clock;
    DemoAssets assets;

    // Timer reading taken after the previous frame's sleep.
    std::uint32_t lastFrameTick = 0;
    bool startCancelled = false;
    // The console's presentation delay in seconds, read once per frame.
    float presentAhead = 0.0f;

  private:
    void handleKey(std::uint16_t virtualKeyCode);
    void handleMouse(const InputRecord& record);
    int fail(const char* text, const char* detail = nullptr);
    bool startOnTimer();
    bool startWithoutDevice();
};
