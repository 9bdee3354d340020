// The Windows platform: a console window of the program's own (the program is a
// GUI-subsystem process), the multimedia timer, waveOut audio over the shared
// Ogg Vorbis decoder, the executable's resources and an error box.
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
