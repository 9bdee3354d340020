// The monotonic clock of the POSIX build, in the units its readers count: the
// frame timer's wrapping milliseconds, the sound players' nanoseconds, and the
// elapsed milliseconds that tests and benchmarks time things with.
#pragma once

#include <cstdint>
#include <ctime>

// Nanoseconds since an arbitrary moment, never going back.
inline std::int64_t monotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 +
           static_cast<std::int64_t>(ts.tv_nsec);
}

// Whole milliseconds, truncated to an unsigned 32-bit count that wraps modulo 2^32.
inline std::uint32_t monotonicMilliseconds() {
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(monotonicNanoseconds()) /
                                      1000000u);
}

// Milliseconds from `start` (a monotonicNanoseconds() reading) to now.
inline double millisecondsSince(std::int64_t start) {
    return static_cast<double>(monotonicNanoseconds() - start) / 1e6;
}
