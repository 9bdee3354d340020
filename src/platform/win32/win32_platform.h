// The Windows platform: the program is a GUI-subsystem process with a console
// window of its own.
//   [x] console: a new console window of exactly 80 x 50 cells, the whole
//       frame in one WriteConsoleOutputA
//   [x] colours: the console's own 16
//   [x] keys: the console's key records as they come, virtual-key codes
//   [x] mouse: the console's mouse records (both buttons, double clicks,
//       dragging) once the overlay asks for them
//   [x] title: SetConsoleTitleA
//   [x] close notification: break, close, log-off and shut-down end the show
//       (consoleCtrlHandler)
//   [x] timer: the multimedia timer, Sleep, and the system timer period raised
//       to its finest while the music plays
//   [x] audio: waveOut over the Ogg Vorbis decoder; the position is the
//       device's count of played samples
//   [x] errors: a message box
//   [x] resources: the executable's own
//   [ ] resize: the window keeps its 80 x 50 cells
#pragma once

#include "app/platform.h"

#include <windows.h>

ConsoleBackend& win32Console();
FrameTimer& multimediaTimer();
AudioPlayer& waveOutPlayer();
// MessageBoxA with no owner and the error icon.
void reportErrorInBox(const char* caption, const char* text, const char* detail);

// Registered by the console; runs on a thread of the system's. A break, close,
// log-off or shut-down sets consoleClosing and is handled (TRUE); anything else,
// Ctrl+C included, goes on to the next handler (FALSE).
BOOL WINAPI consoleCtrlHandler(DWORD type);

inline Platform win32Platform() {
    return Platform{&win32Console(), &multimediaTimer(), &waveOutPlayer(), &reportErrorInBox,
                    false};
}
