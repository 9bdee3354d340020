// Anti-aliased lines and 16-segment ellipse outlines. (Filled in with the raster work.)
#include "imaging/texture.h"

void Texture::plot(int c, int r, const Texel& source) {
    (void)c;
    (void)r;
    (void)source;
}

void Texture::drawLine(const Texel&, const Texel&, const BlendMode&, float, float, float, float) {}

void Texture::drawEllipseOutline(const Texel&, const BlendMode&, float, float, float, float) {}
