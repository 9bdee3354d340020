// One console character cell, laid out like the console's CHAR_INFO so a whole
// back buffer can go to the console in one call. Not a picture: see CellImage.
#pragma once

#include <cstdint>

struct Cell {
    // Character code; the art uses code page 437 byte values. Consumers that show
    // a cell use only the low byte (drawn text is stored sign-extended).
    std::uint16_t character = 0;
    // Bits 0-3 foreground (blue, green, red, intensity), bits 4-7 background.
    std::uint16_t attributes = 0;
};

static_assert(sizeof(Cell) == 4, "Cell must keep the console's 4-byte layout");
