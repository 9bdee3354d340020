// fesetround for the Windows build. The runtime's own version asks the CPU
// whether it has SSE (cpuid) on every call; under a hypervisor that costs
// microseconds, and the texture and raster primitives switch the rounding
// mode around every operation. Every x86-64 processor has SSE, so this one
// sets the x87 control word and MXCSR directly, as the runtime's does after
// its check. Linked as an object file, it takes the runtime's place.
#include <cfenv>
#include <xmmintrin.h>

namespace {
constexpr unsigned roundingModes = FE_TONEAREST | FE_DOWNWARD | FE_UPWARD | FE_TOWARDZERO;
constexpr unsigned x87RoundingBits = 0x0c00;
// MXCSR keeps the same two bits three places higher.
constexpr unsigned sseRoundingShift = 3;
} // namespace

extern "C" int fesetround(int mode) {
    const auto bits = static_cast<unsigned>(mode);
    if ((bits & ~roundingModes) != 0)
        return -1;
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = static_cast<unsigned short>((control & ~x87RoundingBits) | bits);
    __asm__ volatile("fldcw %0" : : "m"(control));
    _mm_setcsr((_mm_getcsr() & ~_MM_ROUND_MASK) | (bits << sseRoundingShift));
    return 0;
}
