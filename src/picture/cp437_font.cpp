// The code page 437 console font, embedded at build time from the gzipped PSF1
// file (see embed_font.cmake); the generated initialiser lives with the built
// resources so that a cross build can take it from a host build.
#include "cell_png.h"

const std::uint8_t cp437Font8x16[256 * 16] = {
#include "cp437_font.inc"
};
