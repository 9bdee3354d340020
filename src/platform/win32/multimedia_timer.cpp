// The millisecond timer on Windows: the multimedia timer's counter (it wraps
// modulo 2^32 after 49.7 days), Sleep, and the system timer period, which is
// raised to the finest the device offers for the whole run.
#include "platform/win32/win32_platform.h"

#include <mmsystem.h>

namespace {

class MultimediaTimer : public FrameTimer {
  public:
    std::uint32_t now() override { return timeGetTime(); }
    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }
    // The finest period the device offers; 0 until it is asked for, and kept
    // after it is given back.
    void raiseResolution() override {
        TIMECAPS caps{};
        timeGetDevCaps(&caps, sizeof(caps));
        period = caps.wPeriodMin;
        timeBeginPeriod(period);
    }
    void restoreResolution() override { timeEndPeriod(period); }

  private:
    UINT period = 0;
};

} // namespace

FrameTimer& multimediaTimer() {
    static MultimediaTimer timer;
    return timer;
}
