// Texture sampling: the wrapping bilinear sampler and the stepped rectangle
// fill. (Filled in with the sampling work.)
#include "texture.h"

void Texture::sample(Texel& out, float, float) const {
    out = Texel{};
}

void Texture::fillSampled(const Texture&, const BlendMode&, float, float, float, float, int, int,
                          int, int) {}
