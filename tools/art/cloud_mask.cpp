// The cloud mask: soft-edged shapes drawn as signed distances and turned into
// alpha with a smooth ramp, so the cloud fades in over a few cells.
#include "byte_maps.h"

#include <algorithm>
#include <cmath>

std::vector<std::uint8_t> drawCloudMask() {
    std::vector<std::uint8_t> bytes(cloudMaskWidth * cloudMaskHeight, 0);
    for (int y = 0; y < cloudMaskHeight; ++y) {
        for (int x = 0; x < cloudMaskWidth; ++x) {
            const double dx = (x - 240.0) / 100.0, dy = (y - 25.0) / 20.0;
            const double d = std::sqrt(dx * dx + dy * dy);
            const double a = std::clamp((1.0 - d) * 4.0, 0.0, 1.0);
            bytes[y * cloudMaskWidth + x] = static_cast<std::uint8_t>(std::floor(a * 255.0 + 0.5));
        }
    }
    return bytes;
}
