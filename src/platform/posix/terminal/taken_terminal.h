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
    // How many status queries are unanswered (0 as well for a terminal that
    // never answers): the answers still to come are read and dropped before
    // the modes go back, or the terminal would echo them at the shell.
    std::atomic<int> repliesDue{0};
    // How long the terminal has lately taken to answer, in ms, and how long the
    // bytes still on their way take to reach it at the rate the link delivers.
    std::atomic<int> answerMs{0};
    std::atomic<int> drainMs{0};
    // The output descriptor is the one the shell uses too, so it is never made
    // non-blocking: bytes go out only when poll says the terminal takes some,
    // a little at a time.
    bool sharedOutput = false;
    // The terminal's own title as it reported it at open, as a sequence that
    // sets it again (no bytes: not reported).
    char userTitle[320] = {};
    std::atomic<int> userTitleLength{0};
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
// On the shared descriptor, writes only what poll says the terminal takes.
bool writeRaw(int fd, const char* data, std::size_t length, int& waitMs);
// The most written at once on a shared (blocking) descriptor after poll said
// the terminal takes bytes: a terminal that takes any has room for this much.
constexpr std::size_t sharedWriteChunk = 256;

// How long restoring may wait in all for the terminal to take its bytes and
// answer the last query.
constexpr int restoreBudgetMs = 1500;
// How long the answers still on their way are waited for at exit, at most
// before the first comes: over a slow link they come after the frames queued
// before them (the screen catches up no sooner). Each answer that comes gives
// the rest answerProgressMs more, to answerCapMs in all.
constexpr int answerBudgetMs = 5000;
constexpr int answerProgressMs = 1000;
constexpr int answerCapMs = 10000;

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
