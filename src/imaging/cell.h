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

// A decoded input event, shaped like the console's INPUT_RECORD as far as the
// controls read it. Every platform turns its own input into these.
struct InputRecord {
    static constexpr std::uint16_t keyEvent = 1;
    static constexpr std::uint16_t mouseEvent = 2;

    std::uint16_t eventType = 0;
    // keyEvent
    bool keyDown = false;
    std::uint16_t virtualKeyCode = 0;
    // mouseEvent: cell position, button bits (left 0x1, right 0x2), flags (double click 0x2)
    std::int16_t mouseX = 0;
    std::int16_t mouseY = 0;
    std::uint32_t buttonState = 0;
    std::uint32_t eventFlags = 0;
};
