// The millisecond timer on POSIX: the monotonic clock, truncated to an unsigned
// 32-bit count that wraps modulo 2^32, and a sleep that resumes after signals.
#include "platform/posix/monotonic_clock.h"
#include "platform/posix/posix_platform.h"

#include <cerrno>
#include <ctime>

namespace {

class MonotonicTimer : public FrameTimer {
  public:
    std::uint32_t now() override { return monotonicMilliseconds(); }

    void sleep(std::uint32_t milliseconds) override {
        if (milliseconds == 0)
            return;
        timespec request{};
        request.tv_sec = static_cast<time_t>(milliseconds / 1000u);
        request.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
        timespec remaining{};
        while (nanosleep(&request, &remaining) != 0 && errno == EINTR)
            request = remaining;
    }
};

} // namespace

FrameTimer& monotonicTimer() {
    static MonotonicTimer timer;
    return timer;
}
