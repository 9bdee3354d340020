// The show's two procedural byte maps. Pure functions of nothing: the same
// bytes on every machine (plain double arithmetic and the deterministic
// sine and cosine of the imaging layer).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int cloudMaskWidth = 512;
constexpr int cloudMaskHeight = 64;
constexpr int ornamentSide = 128;

// Soft-edged shapes through which the swirling cloud shows: 0 leaves the
// backdrop, 255 shows the cloud. Row-major, cloudMaskWidth bytes a row.
std::vector<std::uint8_t> drawCloudMaskBytes();

// The picture the rotozoom turns and zooms: levels 0 (black) to 255 (white),
// periodic in both directions. Row-major, ornamentSide bytes a row.
std::vector<std::uint8_t> drawOrnament();
