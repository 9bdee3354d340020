// Fuzzes everything that reads resource bytes: the ramp builder and the three
// image loaders, at the widths the show uses and at widths taken from the input.
#include "imaging/cell_image.h"
#include "imaging/shade_ramp.h"
#include "imaging/texture.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1u << 20)
        return 0;
    ByteBlob blob(data, static_cast<std::uint32_t>(size));

    ShadeRampTable ramps;
    if (ramps.build(blob)) {
        // A built ramp is readable over all 256 levels.
        unsigned sum = 0;
        for (const ShadeRamp* ramp : ramps.entries)
            if (ramp)
                for (const Cell& cell : ramp->cells)
                    sum += cell.character;
        (void)sum;
    }

    const std::uint32_t width = size > 0 ? data[0] : 0;
    CellImage image;
    image.load(blob, width);
    image.load(blob, 160);
    Texture texture;
    texture.loadAlpha(1.0f, blob, width);
    texture.loadLevels(blob, 1.0f, width);
    texture.loadLevels(blob, 1.0f, 128);
    return 0;
}
