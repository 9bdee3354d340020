// HeardPosition and the pulled-device estimate, driven by a simulated device:
// the position must never run ahead of what was handed out, nor go backwards
// within a run, however the buffers fall.
#include "audio/heard_position.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr std::uint32_t buffer = 1024;

// A device that pulls `buffer` frames per callback from a track of `length`
// frames starting at `start`, checking the position at many moments between
// callbacks.
void playThrough(std::uint64_t start, std::uint64_t length, int callbacks) {
    HeardPosition heard;
    heard.moveTo(start);
    std::uint64_t deviceFrames = 5 * buffer; // the device ran silent for a while
    std::uint64_t handedOut = start;
    std::uint64_t previous = start;
    for (int k = 0; k < callbacks; ++k) {
        const std::uint64_t bufferStart = deviceFrames;
        const std::uint64_t handedBefore = handedOut;
        heard.handOut(bufferStart);
        handedOut = std::min<std::uint64_t>(handedOut + buffer, length);
        deviceFrames += buffer;
        // Late callbacks too: elapsed runs past one buffer.
        for (std::uint64_t elapsed = 0; elapsed <= 3 * buffer; elapsed += 37) {
            const std::uint64_t now =
                heard.at(pulledDeviceFrame(bufferStart, buffer, elapsed), handedOut);
            SCOPED_TRACE(::testing::Message() << "callback " << k << " elapsed " << elapsed);
            ASSERT_GE(now, previous);
            // Only what earlier callbacks handed out can be playing.
            ASSERT_LE(now, handedBefore);
            previous = now;
        }
    }
    EXPECT_EQ(previous, length); // the end is reached and kept
}

} // namespace

TEST(HeardPosition, RunsFromTheStartToTheEndWithoutGoingBackOrAhead) {
    // A short last buffer (2500 = 2 x 1024 + 452) is where a naive "last
    // buffer start minus one buffer" estimate would step back.
    playThrough(0, 2500, 6);
    playThrough(0, 4096, 7);
    playThrough(1000, 3333, 6);
}

TEST(HeardPosition, AMoveReadsBackAtOnceAndPlaysOnFromThere) {
    HeardPosition heard;
    heard.moveTo(0);
    EXPECT_EQ(heard.at(0, 0), 0u); // nothing handed out yet
    heard.handOut(0);
    heard.handOut(buffer); // later buffers of the same run do not move its start
    EXPECT_EQ(heard.at(buffer + 300, 2 * buffer), buffer + 300);

    // A seek while playing: the target at once, until its first frame is heard.
    heard.moveTo(50000);
    EXPECT_FALSE(heard.handedOut());
    EXPECT_EQ(heard.at(buffer + 500, 2 * buffer), 50000u);
    heard.handOut(2 * buffer);
    EXPECT_EQ(heard.at(2 * buffer, 50000 + buffer), 50000u);
    EXPECT_EQ(heard.at(2 * buffer + 10, 50000 + buffer), 50010u);
    // Never past what was handed out (the track ended after 5 frames).
    EXPECT_EQ(heard.at(2 * buffer + 10, 50005), 50005u);
}

TEST(HeardPosition, PulledDeviceFrameLagsOneBufferAndStopsAtTheLastRequest) {
    EXPECT_EQ(pulledDeviceFrame(10 * buffer, buffer, 0), 9 * buffer);
    EXPECT_EQ(pulledDeviceFrame(10 * buffer, buffer, 100), 9 * buffer + 100);
    EXPECT_EQ(pulledDeviceFrame(10 * buffer, buffer, buffer), 10 * buffer);
    EXPECT_EQ(pulledDeviceFrame(10 * buffer, buffer, 50 * buffer), 10 * buffer);
    EXPECT_EQ(pulledDeviceFrame(0, buffer, 10), 0u); // the very first buffer
}
