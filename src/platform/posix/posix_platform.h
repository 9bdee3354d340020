// The POSIX platform: the user's terminal as the console, a monotonic
// millisecond timer, audio through PulseAudio or SDL2 with an Ogg Vorbis
// decoder, and start-up errors on standard error.
#pragma once

#include "app/platform.h"

ConsoleBackend& terminalConsole();
FrameTimer& monotonicTimer();
AudioPlayer& posixAudioPlayer();
// Puts the terminal back as it was, then writes "caption text" on standard error.
// A `detail` (may be null) goes on a second line.
void reportErrorOnTerminal(const char* caption, const char* text, const char* detail);

inline Platform posixPlatform() {
    // The terminal is given back before the audio device, whose close may be
    // slow (closeConsoleFirst).
    return Platform{&terminalConsole(), &monotonicTimer(), &posixAudioPlayer(),
                    &reportErrorOnTerminal, true};
}
