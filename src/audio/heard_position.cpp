// HeardPosition and the heard frame of a pull device.
#include "audio/heard_position.h"

std::uint64_t HeardPosition::at(std::uint64_t heardDeviceFrame,
                                std::uint64_t streamHandedOut) const {
    if (!onDevice || heardDeviceFrame <= runDeviceStart)
        return runStart;
    const std::uint64_t frame = runStart + (heardDeviceFrame - runDeviceStart);
    if (frame > streamHandedOut)
        return streamHandedOut > runStart ? streamHandedOut : runStart;
    return frame;
}

std::uint64_t pulledDeviceFrame(std::uint64_t lastBufferStart, std::uint32_t bufferFrames,
                                std::uint64_t elapsedFrames) {
    if (elapsedFrames >= bufferFrames)
        return lastBufferStart;
    const std::uint64_t behind = bufferFrames - elapsedFrames;
    return lastBufferStart > behind ? lastBufferStart - behind : 0;
}
