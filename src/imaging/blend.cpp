// The texel rule of BlendMode, shared by every texture painter.
#include "blend.h"

#include "texel.h"

void BlendMode::apply(Texel& d, const Texel& s) const {
    const double sL = s.level, sA = s.alpha, dL = d.level, dA = d.alpha;
    d.level = static_cast<float>(sA * (k2 * sL + k3 * dL) + k1 * dL + k0 * sL);
    d.alpha = static_cast<float>(k6 * sL + k5 * dA + k4 * sA);
}
