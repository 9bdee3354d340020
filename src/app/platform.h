// The platform seams: the few things the show needs from the operating system.
// Each platform (src/platform/posix, win32, headless) implements them; the core
// layers never include an OS header.
#pragma once

#include "imaging/cell.h"
#include "input.h"
#include "scenes/resource_blob.h"

#include <cstdint>

// The console: a window of character cells, its title and its input queue.
class ConsoleBackend {
  public:
    virtual ~ConsoleBackend() = default;
    // Opens a width x height console titled `title`. False when there is none to be had.
    virtual bool open(const char* title, int width, int height) = 0;
    // Shows the whole frame of width x height cells at once.
    virtual bool present(const Cell* cells, int width, int height) = 0;
    // One pending input record; false at once when there is none.
    virtual bool readInput(InputRecord& record) = 0;
    // Mouse records are delivered only after this has been called with true.
    virtual void setMouseInput(bool on) = 0;
    virtual void setTitle(const char* title) = 0;
    // Gives everything back; safe to call more than once and after a failed open.
    virtual void close() = 0;
    // Why the last open failed, in a few words for the user (null when unknown).
    virtual const char* failureReason() const { return nullptr; }
    // How long a frame presented now will take to reach the screen, in
    // milliseconds: the show draws that far ahead. 0 where frames show at once.
    virtual std::uint32_t presentDelayMs() const { return 0; }
};

// The millisecond timer: an unsigned counter that wraps modulo 2^32 and a sleep.
class FrameTimer {
  public:
    virtual ~FrameTimer() = default;
    virtual std::uint32_t now() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
    // The finest timer resolution the system has, asked for while the music
    // plays and given back after it. Nothing to do where the clock and the
    // sleep are always fine-grained (everywhere but Windows).
    virtual void raiseResolution() {}
    virtual void restoreResolution() {}
};

// The music player the clock is built on. Byte positions are of the decoded
// 16-bit stereo stream at 44100 Hz. Handles are nonzero; 0 means failure.
class AudioPlayer {
  public:
    virtual ~AudioPlayer() = default;
    // Opens the default output device at `rate` Hz. False without a device.
    virtual bool audioOpen(std::uint32_t rate) = 0;
    virtual void audioClose() = 0;
    // A stream that decodes `length` bytes at `data`, which stay valid and unmoved.
    virtual std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) = 0;
    // Plays from the current position (from 0 when `restart` is set).
    virtual bool streamPlay(std::uint32_t stream, bool restart) = 0;
    // Halts playback, keeping the position.
    virtual bool streamPause(std::uint32_t stream) = 0;
    // The position being heard, in bytes.
    virtual std::uint64_t streamGetPosition(std::uint32_t stream) = 0;
    virtual bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) = 0;
    virtual double streamBytesToSeconds(std::uint32_t stream, std::uint64_t bytes) = 0;
    virtual std::uint64_t streamSecondsToBytes(std::uint32_t stream, float seconds) = 0;
    virtual bool streamFree(std::uint32_t stream) = 0;
    // Why the last audioOpen or streamCreateFromMemory failed, in a few words
    // for the user (null when unknown).
    virtual const char* failureReason() const { return nullptr; }
    // A player that waits for its device calls `check(context)` now and then
    // while it waits; when that returns true it stops waiting and fails at
    // once. A null `check` removes it. Players that never wait ignore it.
    using CancelCheck = bool (*)(void* context);
    virtual void setCancelCheck(CancelCheck check, void* context) {
        (void)check;
        (void)context;
    }
};

// Shows a start-up failure to the user (an error box, or standard error).
// `text` is one of the three fixed messages; `detail` (null when there is none)
// says what failed, for platforms that have room for a second line.
using ErrorReporter = void (*)(const char* caption, const char* text, const char* detail);

struct Platform {
    ConsoleBackend* console = nullptr;
    FrameTimer* timer = nullptr;
    AudioPlayer* audio = nullptr;
    ErrorReporter reportError = nullptr;
    // At the end of the run the console is closed before the audio shutdown
    // rather than at exit (for a user's terminal, which must not wait on a
    // stuck sound server).
    bool closeConsoleFirst = false;
};

// The last seam, the resource lookup (findPlatformResource), is declared in
// scenes/resource_blob.h beside ResourceBlob, its one caller: the assets are
// built below the app layer.
