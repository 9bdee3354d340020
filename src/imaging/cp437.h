// Code page 437 glyphs as Unicode and UTF-8. Only the low byte of a cell's
// character is shown (drawn text is stored sign-extended).
#pragma once

#include <cstdint>

extern const std::uint16_t cp437Unicode[256];

// Writes the UTF-8 bytes of the glyph of `character`'s low byte into `out`
// (room for 3 bytes) and returns how many were written.
int encodeCp437Utf8(std::uint16_t character, char* out);
