// The record jack_record writes before each cycle's frames, and the sync
// bench reads: native byte order, both ends on the same machine.
#pragma once

#include <cstdint>

struct JackRecordHeader {
    static constexpr std::uint32_t expectedMagic = 0x4b4a5353; // "SSJK"
    static constexpr std::uint32_t maxFrames = 8192;           // the largest period recorded
    std::uint32_t magic = expectedMagic;
    std::uint32_t frames = 0;     // frames of the cycle that follow, stereo 16-bit
    std::uint64_t graphFrame = 0; // the graph's frame counter at the cycle's start
    std::int64_t startUs = 0;     // the cycle's start, monotonic clock, microseconds
};
static_assert(sizeof(JackRecordHeader) == 24, "no padding between the fields");
