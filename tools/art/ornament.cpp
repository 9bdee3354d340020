// The rotozoom ornament, drawn with periodic functions so that it tiles.
#include "byte_maps.h"

#include "imaging/det_math.h"

#include <algorithm>
#include <cmath>

std::vector<std::uint8_t> drawOrnament() {
    std::vector<std::uint8_t> bytes(ornamentSide * ornamentSide, 0);
    const double k = 2.0 * detmath::pi / ornamentSide;
    for (int y = 0; y < ornamentSide; ++y) {
        for (int x = 0; x < ornamentSide; ++x) {
            const double v = 0.5 + 0.25 * detmath::cos(x * k) + 0.25 * detmath::cos(y * k * 2.0);
            bytes[y * ornamentSide + x] =
                static_cast<std::uint8_t>(std::floor(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5));
        }
    }
    return bytes;
}
