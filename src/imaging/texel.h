// A float texel: brightness and coverage. Values outside 0..1 are allowed;
// only the operations that say so clamp.
#pragma once

struct Texel {
    float level = 0; // brightness, nominally 0..1
    float alpha = 0; // coverage, nominally 0..1
};
