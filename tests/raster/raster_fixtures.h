// Helpers for the raster tests: a texture whose untouched texels are marked, so
// that even plots of zero coverage show up.
#pragma once

#include "imaging/texture.h"

#include <cstring>

// Level -1 marks a texel no plot has reached: every blend used in these tests
// writes the source level (k0 = 1, k1 = 0).
constexpr float untouched = -1.0f;

inline void clearMarked(Texture& texture) {
    texture.fill(Texel{untouched, 0.0f}, copyBlend, 0, 0, texture.width, texture.height);
}

// A w x h texture with every texel marked untouched.
inline bool allocateMarked(Texture& texture, int w, int h) {
    if (!texture.allocate(w, h))
        return false;
    clearMarked(texture);
    return true;
}

inline bool touched(const Texture& texture, int x, int y) {
    return texture.at(x, y).level != untouched;
}

inline int touchedCount(const Texture& texture) {
    int count = 0;
    for (int y = 0; y < texture.height; ++y)
        for (int x = 0; x < texture.width; ++x)
            count += touched(texture, x, y) ? 1 : 0;
    return count;
}

inline bool sameBits(const Texture& a, const Texture& b) {
    return a.width == b.width && a.height == b.height &&
           std::memcmp(a.texels, b.texels, sizeof(Texel) * a.width * a.height) == 0;
}
