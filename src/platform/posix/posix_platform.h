// The POSIX platform: the show in the user's terminal.
//   [x] console: the terminal (terminfo), 80 x 50 cells centred in a larger
//       one; only changed cells are sent, one write a frame; the terminal is
//       given back as found on every way out (signals and job control too)
//   [x] colours: 24-bit, 256 or 16 (with the VGA palette set where allowed),
//       from COLORTERM, terminfo and the terminal's answers
//   [x] glyphs: UTF-8, or the terminal's DEC graphics and ASCII stand-ins
//   [x] keys: key-down and key-up records with virtual-key codes, decoded
//       from the terminal's escape sequences
//   [x] mouse: both buttons, double clicks, dragging (SGR or X10 reports)
//       where the terminal reports it
//   [x] title: where terminfo allows, put back at exit
//   [x] resize: the picture re-centred, cropped with a notice when too small
//   [x] close notification: SIGHUP, SIGTERM and SIGINT end the show cleanly
//   [x] slow links: frames wait for the terminal to have shown the last one
//   [x] timer: the monotonic clock in milliseconds, nanosleep
//   [x] audio: PipeWire, PulseAudio, ALSA or SDL2 (the first that answers),
//       each a device under one stream player over the Ogg Vorbis decoder;
//       the position is the frame being heard
//   [x] errors: on standard error, after the terminal is given back
//   [x] resources: linked into the program
#pragma once

#include "app/platform.h"

class TerminalConsole;

// The program's one terminal console, with the choices only a terminal has
// (its colour mode) beside the ConsoleBackend calls.
TerminalConsole& terminalConsole();
FrameTimer& monotonicTimer();
AudioPlayer& posixAudioPlayer();
// Puts the terminal back as it was, then writes "caption text" on standard error.
// A `detail` (may be null) goes on a second line.
void reportErrorOnTerminal(const char* caption, const char* text, const char* detail);

// The platform the program runs on (main.cpp): the terminal is given back
// before the audio device, whose close may be slow (closeConsoleFirst).
Platform posixPlatform();
