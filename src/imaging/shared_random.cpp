// The shared random generator's state. One per process, started at 1.
#include "shared_random.h"

namespace {
std::uint32_t state = 1;
}

int sharedRandom() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

std::uint32_t sharedRandomState() {
    return state;
}

void setSharedRandomState(std::uint32_t value) {
    state = value;
}
