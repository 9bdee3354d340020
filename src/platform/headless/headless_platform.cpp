// The headless platform's console, timer and player.
#include "platform/headless/headless_platform.h"

#include <cmath>

namespace {
constexpr std::uint64_t bytesPerFrame = 4; // 16-bit stereo
constexpr double frameRate = 44100.0;
} // namespace

// --- Console ---

bool HeadlessConsole::open(const char* newTitle, int w, int h) {
    if (failOpen)
        return false;
    isOpen = true;
    width = w;
    height = h;
    title = newTitle;
    return true;
}

bool HeadlessConsole::present(const Cell* cells, int w, int h) {
    lastFrame.assign(cells, cells + static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    if (keepFrames)
        frames.push_back(lastFrame);
    ++presentCount;
    return true;
}

bool HeadlessConsole::readInput(InputRecord& record) {
    while (!input.empty()) {
        record = input.front();
        input.pop_front();
        if (record.eventType == InputRecord::mouseEvent && !mouseInput)
            continue;
        return true;
    }
    return false;
}

void HeadlessConsole::pressKey(std::uint16_t code) {
    InputRecord record;
    record.eventType = InputRecord::keyEvent;
    record.virtualKeyCode = code;
    record.keyDown = true;
    input.push_back(record);
    record.keyDown = false;
    input.push_back(record);
}

void HeadlessConsole::mouse(int column, int row, std::uint32_t buttons, std::uint32_t flags) {
    InputRecord record;
    record.eventType = InputRecord::mouseEvent;
    record.mouseX = static_cast<std::int16_t>(column);
    record.mouseY = static_cast<std::int16_t>(row);
    record.buttonState = buttons;
    record.eventFlags = flags;
    input.push_back(record);
}

// --- Player ---

bool HeadlessPlayer::audioOpen(std::uint32_t) {
    if (failOpen)
        return false;
    deviceOpen = true;
    return true;
}

std::uint32_t HeadlessPlayer::streamCreateFromMemory(const void* data, std::uint32_t length) {
    if (!data || length == 0)
        return 0;
    stream = 1;
    positionFrames = 0;
    playing = false;
    return stream;
}

bool HeadlessPlayer::streamPlay(std::uint32_t, bool restart) {
    ++playCalls;
    if (restart)
        positionFrames = 0;
    playStartTick = timer ? timer->now() : 0;
    playing = true;
    return true;
}

bool HeadlessPlayer::streamPause(std::uint32_t id) {
    ++pauseCalls;
    positionFrames = streamGetPosition(id) / bytesPerFrame;
    playing = false;
    return true;
}

std::uint64_t HeadlessPlayer::streamGetPosition(std::uint32_t) {
    std::uint64_t frames = positionFrames;
    if (playing && timer)
        frames += static_cast<std::uint64_t>(timer->now() - playStartTick) * 441u / 10u;
    if (frames > lengthFrames)
        frames = lengthFrames;
    return frames * bytesPerFrame;
}

bool HeadlessPlayer::streamSetPosition(std::uint32_t, std::uint64_t bytes) {
    ++setPositionCalls;
    positionFrames = bytes / bytesPerFrame;
    playStartTick = timer ? timer->now() : 0;
    return true;
}

double HeadlessPlayer::streamBytesToSeconds(std::uint32_t, std::uint64_t bytes) {
    // Whole frames: a partial frame has not been played.
    const std::uint64_t frames = bytes / bytesPerFrame;
    return static_cast<double>(frames) / frameRate;
}

std::uint64_t HeadlessPlayer::streamSecondsToBytes(std::uint32_t, float seconds) {
    // A negative time (drag scrubbing) plays from the start.
    if (!(seconds > 0))
        return 0;
    return static_cast<std::uint64_t>(std::floor(static_cast<double>(seconds) * frameRate)) *
           bytesPerFrame;
}

bool HeadlessPlayer::streamFree(std::uint32_t) {
    ++freeCalls;
    stream = 0;
    playing = false;
    return true;
}

void HeadlessPlayer::setPositionSeconds(double seconds) {
    positionFrames = static_cast<std::uint64_t>(std::llround(seconds * frameRate));
    playStartTick = timer ? timer->now() : 0;
}
