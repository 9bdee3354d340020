// HeardPosition: which frame of a stream the listener hears, given how far
// the output device has got. Plain arithmetic for any player; the player
// supplies the device's heard frame and holds whatever lock guards both.
#pragma once

#include <cstdint>

// A player hands the device one run of consecutive stream frames at a time:
// from a start, a resume or a seek until the next of these. The run's first
// frame goes out as some device frame; the device frame being heard then maps
// to the stream frame as many frames into the run.
class HeardPosition {
  public:
    // Begins a new run at stream frame `frame` (play, resume, seek). Until its
    // first frame has been heard, `frame` is what is reported.
    void moveTo(std::uint64_t frame) {
        runStart = frame;
        onDevice = false;
    }
    // The run's first frame is being handed to the device as device frame
    // `deviceFrame`. Only the first call of a run counts.
    void handOut(std::uint64_t deviceFrame) {
        if (onDevice)
            return;
        runDeviceStart = deviceFrame;
        onDevice = true;
    }
    bool handedOut() const { return onDevice; }
    std::uint64_t start() const { return runStart; }

    // The stream frame heard while the device plays device frame
    // `heardDeviceFrame`, never past `streamHandedOut` (the frames of the stream
    // handed to the device so far, which stop growing at the end of the track).
    std::uint64_t at(std::uint64_t heardDeviceFrame, std::uint64_t streamHandedOut) const;

  private:
    std::uint64_t runStart = 0;
    std::uint64_t runDeviceStart = 0;
    bool onDevice = false;
};

// The device frame being heard on a device that pulls fixed buffers of
// `bufferFrames` through a callback: the buffer before the one last asked for
// (which started at device frame `lastBufferStart`) starts playing when that
// request comes, and plays on at the frame rate for `elapsedFrames`. Never past
// `lastBufferStart`: what the device has not asked for yet cannot be heard.
std::uint64_t pulledDeviceFrame(std::uint64_t lastBufferStart, std::uint32_t bufferFrames,
                                std::uint64_t elapsedFrames);
