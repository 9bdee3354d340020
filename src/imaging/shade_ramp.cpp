// Builds shade ramps from their key-cell records: each key cell covers an
// equal share of the 256 entries (nearest-lower lookup, no interpolation).
#include "shade_ramp.h"

#include <new>

bool ShadeRampTable::build(const Blob& blob) {
    if (blob.size == 0)
        return true;
    std::uint32_t consumed = 0;
    do {
        // Every read stays inside the blob: a truncated record fails the build.
        if (blob.size - consumed < 2) {
            release();
            return false;
        }
        const std::uint8_t* record = blob.data + consumed;
        const unsigned index = record[0];
        const unsigned n = record[1];
        consumed += 2;
        if (n == 0 || blob.size - consumed < 2 * n || entries[index]) {
            release();
            return false;
        }
        ShadeRamp* ramp = new (std::nothrow) ShadeRamp();
        if (!ramp) {
            release();
            return false;
        }
        entries[index] = ramp;
        const std::uint8_t* keys = record + 2;
        unsigned accumulator = 0;
        for (int k = 0; k < 256; ++k, accumulator += n) {
            const unsigned key = accumulator >> 8;
            ramp->cells[k].character = keys[2 * key];
            ramp->cells[k].attributes = keys[2 * key + 1];
        }
        consumed += 2 * n;
    } while (consumed < blob.size);
    return true;
}

void ShadeRampTable::release() {
    for (ShadeRamp*& ramp : entries) {
        delete ramp;
        ramp = nullptr;
    }
}
