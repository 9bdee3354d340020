// The one process-wide random generator: the classic runtime-library LCG,
// state 1 at start and never reseeded, so the order of all draws fixes every
// random picture of the show.
#pragma once

#include <cstdint>

// Next value, 0..32767.
int sharedRandom();
// Current state, and a way to put it back: only tests and tools use these.
std::uint32_t sharedRandomState();
void setSharedRandomState(std::uint32_t state);
