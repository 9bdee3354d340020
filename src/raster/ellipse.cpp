// Anti-aliased filled ellipses. (Filled in with the raster work.)
#include "imaging/texture.h"

void Texture::fillEllipse(const Texel&, const BlendMode&, float, float, float, float) {}
