// The browser platform: the show in a web page, built with emscripten.
//   [x] console: one <canvas id="screen"> of 720 x 800 pixels, 80 x 50 cells of
//       the VGA 9 x 16 code page 437 font and palette (the PNG captures' rules);
//       only changed cells are redrawn
//   [x] keys: every key as key-down and key-up records with its virtual-key code
//   [x] mouse on the canvas: both buttons, double clicks, dragging, in cells
//       whatever the CSS scale
//   [x] title: document.title while the show plays (the page's own before)
//   [x] audio: the Ogg Vorbis track (fetched by the page beside the module,
//       page_resources.cpp) decoded here and played by Web Audio; the position
//       is the frame being heard (output timestamps)
//   [x] errors: a message on the page
//   [ ] resize (the picture is fixed; CSS scales it), close notification (a
//       closed tab simply stops)
// Not the frame loop: that is web_main.cpp, on requestAnimationFrame.
#pragma once

#include "app/platform.h"

ConsoleBackend& canvasConsole();
FrameTimer& pageTimer();
AudioPlayer& webAudioPlayer();
// Shows the failure on the page, in place of the picture's prompt.
void reportErrorOnPage(const char* caption, const char* text, const char* detail);

// Queued by the page's event handlers (web_main.cpp exports them to JavaScript).
void queueCanvasInput(const InputRecord& record);
// Feeds the audio device ahead of what is heard; the page calls it from a
// timer too, so that the music goes on while animation frames are throttled.
void feedWebAudio();
// The time of the animation frame being run (performance.now's clock, ms),
// or -1 after it: the page timer reads it in place of the present moment.
void setPageFrameTime(double ms);
// Holds the audio device still (true) until a gesture releases it (false).
void holdWebAudio(bool held);

inline Platform webPlatform() {
    return Platform{&canvasConsole(), &pageTimer(), &webAudioPlayer(), &reportErrorOnPage, false};
}
