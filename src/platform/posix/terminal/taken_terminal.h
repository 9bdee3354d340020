// The taken terminal: what a signal handler needs to give the user's terminal
// back (or to let the show take it again), and the signal handlers themselves.
// Not the console: it knows nothing of frames, input or pacing.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <termios.h>

// Everything needed to give the terminal back, prepared at open so that
// restoring is nothing but write, poll, read and tcsetattr.
struct TakenTerminal {
    std::atomic<int> taken{0};
    int inputFd = -1;
    int outputFd = -1;
    termios saved{};
    char restore[512] = {};
    std::size_t restoreLength = 0;
    // The window size at open, sent back only if our own request changed it.
    char size[32] = {};
    std::size_t sizeLength = 0;
    std::atomic<int> restoreSize{0};
    // A frame is partly written: synchronized output is on in the terminal and
    // an escape sequence may be unfinished.
    std::atomic<int> frameOpen{0};
    // Answers to our queries are still to come: they are read and dropped
    // before the modes go back, or the terminal would echo them at the shell.
    std::atomic<int> repliesDue{0};
    // Output flags of a shared descriptor made non-blocking (-1: untouched).
    int savedFlags = -1;
};

extern TakenTerminal takenTerminal;
extern std::atomic<int> resizePending;
extern std::atomic<int> continuePending;

// Puts a taken terminal back as it was (termios, main screen, cursor, mouse
// reporting, palette, title, size). Async-signal-safe, runs at most once per
// take-over, and does nothing when no terminal is taken. False when the
// terminal did not take every restoring byte within the time allowed.
bool restoreTakenTerminal();
// restoreTakenTerminal for atexit.
void restoreAtExit();
// Writes from a signal handler or at close: no allocation, and the whole
// write waits `waitMs` at most in all (the terminal may not be reading at all).
bool writeRaw(int fd, const char* data, std::size_t length, int& waitMs);

// Raw mode: bytes as typed, no echo, no line editing, no flow control, no
// signal keys, reads that return at once.
termios rawModes(const termios& saved);
bool terminalSize(int fd, int& columns, int& rows);
// The show's process group owns the terminal (a show in the background must
// not take it).
bool inForeground(int fd);
// Stops the process as the terminal's job control would stop a background job
// that touches it; false when that stop is ignored (then nothing happens).
bool stopForBackground();

// The handlers that keep the terminal safe on every way out: closing signals
// set consoleClosing, stops give the terminal back first, ending signals give
// it back and then do what they did before. Installed at open, removed at close.
void installHandlers();
void restoreHandlers();
