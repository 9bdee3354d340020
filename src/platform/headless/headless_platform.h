// The headless platform: tests and the capture tool run the real show on it,
// with no terminal and no audio device.
//   [x] console: keeps the presented frames (the last, or every one) and
//       plays back scripted input; can be told to fail opening
//   [x] keys and mouse: scripted records (pressKey, mouse, push)
//   [x] title: kept for a look
//   [x] timer: moves only when set or slept on, so paced loops run exactly
//   [x] audio: a player that decodes nothing; its position follows that timer
//       from where it was started, or is set by hand; can be told to fail
//   [ ] errors, resources: the program linking it supplies them
//   [ ] resize, close notification, colours: nothing to have them from
#pragma once

#include "app/platform.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

class HeadlessConsole : public ConsoleBackend {
  public:
    bool open(const char* title, int width, int height) override;
    bool present(const Cell* cells, int width, int height) override;
    bool readInput(InputRecord& record) override;
    void setMouseInput(bool on) override { mouseInput = on; }
    void setTitle(const char* title) override { this->title = title; }
    void close() override { isOpen = false; }

    // Queues a key press as the console reports it: a key-down and a key-up record.
    void pressKey(std::uint16_t virtualKeyCode);
    // Queues a mouse record (dropped, like the console does, while mouse input is off).
    void mouse(int column, int row, std::uint32_t buttons, std::uint32_t flags = 0);
    void push(const InputRecord& record) { input.push_back(record); }

    bool failOpen = false;   // make open fail
    bool keepFrames = false; // keep every presented frame, not only the last
    bool isOpen = false;
    bool mouseInput = false;
    int width = 0;
    int height = 0;
    std::string title;
    std::vector<Cell> lastFrame;
    std::vector<std::vector<Cell>> frames;
    int presentCount = 0;
    std::deque<InputRecord> input;
};

class HeadlessTimer : public FrameTimer {
  public:
    std::uint32_t now() override { return ticks; }
    // Sleeping moves the clock, so a paced loop runs at exactly its frame spacing.
    void sleep(std::uint32_t milliseconds) override {
        ticks += milliseconds;
        slept.push_back(milliseconds);
    }
    void raiseResolution() override { resolutionRaised = true; }
    void restoreResolution() override { resolutionRaised = false; }

    std::uint32_t ticks = 0;
    bool resolutionRaised = false;
    std::vector<std::uint32_t> slept;
};

// A player of a track of `lengthFrames` frames at 44100 Hz that decodes nothing.
// While playing, its position follows the timer from where it was started.
class HeadlessPlayer : public AudioPlayer {
  public:
    explicit HeadlessPlayer(FrameTimer* timer = nullptr) : timer(timer) {}

    bool audioOpen(std::uint32_t rate) override;
    void audioClose() override { deviceOpen = false; }
    std::uint32_t streamCreateFromMemory(const void* data, std::uint32_t length) override;
    bool streamPlay(std::uint32_t stream, bool restart) override;
    bool streamPause(std::uint32_t stream) override;
    std::uint64_t streamGetPosition(std::uint32_t stream) override;
    bool streamSetPosition(std::uint32_t stream, std::uint64_t bytes) override;
    double streamBytesToSeconds(std::uint32_t stream, std::uint64_t bytes) override;
    std::uint64_t streamSecondsToBytes(std::uint32_t stream, float seconds) override;
    bool streamFree(std::uint32_t stream) override;

    // Sets the heard position by hand, in seconds (the capture tool uses frame times).
    void setPositionSeconds(double seconds);

    FrameTimer* timer;
    bool failOpen = false;
    bool deviceOpen = false;
    bool playing = false;
    std::uint32_t stream = 0;
    std::uint64_t lengthFrames = 6261825; // the show's track
    std::uint64_t positionFrames = 0;     // position when playback last started or moved
    std::uint32_t playStartTick = 0;
    int playCalls = 0;
    int pauseCalls = 0;
    int setPositionCalls = 0;
    int freeCalls = 0;
};
