// The VGA text-mode palette, and the numbering terminals give the same colours.
#pragma once

#include <cstdint>

struct VgaColour {
    std::uint8_t r, g, b;
};

// The 16 console colours in attribute order: bit 0 blue, bit 1 green, bit 2 red,
// bit 3 intensity. Colour 6 is brown, not dark yellow.
inline constexpr VgaColour vgaPalette[16] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0xAA}, {0x00, 0xAA, 0x00}, {0x00, 0xAA, 0xAA},
    {0xAA, 0x00, 0x00}, {0xAA, 0x00, 0xAA}, {0xAA, 0x55, 0x00}, {0xAA, 0xAA, 0xAA},
    {0x55, 0x55, 0x55}, {0x55, 0x55, 0xFF}, {0x55, 0xFF, 0x55}, {0x55, 0xFF, 0xFF},
    {0xFF, 0x55, 0x55}, {0xFF, 0x55, 0xFF}, {0xFF, 0xFF, 0x55}, {0xFF, 0xFF, 0xFF},
};

// A console colour as 0xRRGGBB (only its low four bits count).
constexpr std::uint32_t vgaRgb(unsigned consoleColour) {
    const VgaColour& c = vgaPalette[consoleColour & 15u];
    return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
}

// ANSI colour numbers count red as bit 0 and blue as bit 2, the console the other
// way round; the intensity bit stays where it is. The swap is its own inverse, so
// it also gives the console colour of an ANSI number.
constexpr unsigned ansiOfConsole(unsigned colour) {
    return ((colour & 1u) << 2) | (colour & 2u) | ((colour & 4u) >> 2) | (colour & 8u);
}
