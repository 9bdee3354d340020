// The seven-coefficient blend record that says how a source texel or canvas
// pixel mixes into a destination. The arithmetic lives with each operation.
#pragma once

#include "texel.h"

struct BlendMode {
    float k0 = 0, k1 = 1, k2 = 0, k3 = 0; // level weights
    float k4 = 1, k5 = 0, k6 = 0;         // alpha weights

    // Texel rule, in double precision in the written order, stored as float:
    //   d.level = s.alpha*(k2*s.level + k3*d.level) + k1*d.level + k0*s.level
    //   d.alpha = k6*s.level + k5*d.alpha + k4*s.alpha
    // Inline: every painter calls it once per texel.
    void apply(Texel& d, const Texel& s) const {
        const double sL = s.level, sA = s.alpha, dL = d.level, dA = d.alpha;
        d.level = static_cast<float>(sA * (k2 * sL + k3 * dL) + k1 * dL + k0 * sL);
        d.alpha = static_cast<float>(k6 * sL + k5 * dA + k4 * sA);
    }
};

// Keep destination level, take source alpha.
constexpr BlendMode defaultBlend{0, 1, 0, 0, 1, 0, 0};
// Take source level and source alpha.
constexpr BlendMode copyBlend{1, 0, 0, 0, 1, 0, 0};
// level = dL + a*(sL - dL), alpha = sA.
constexpr BlendMode overBlend{0, 1, 1, -1, 1, 0, 0};
// Take source level, keep destination alpha.
constexpr BlendMode levelOnlyBlend{1, 0, 0, 0, 0, 1, 0};
// Take source level, add source alpha to destination alpha.
constexpr BlendMode addAlphaBlend{1, 0, 0, 0, 1, 1, 0};
