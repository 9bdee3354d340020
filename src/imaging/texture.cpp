// The Texture container: sizes, masks, allocation, the byte-map loaders and
// release. Painting and sampling live in their own files.
#include "texture.h"

#include "grid.h"

#include <new>

namespace {

// 1/255 as a float: byte 255 becomes exactly 1.0.
constexpr float byteScale = 0.003921569f;

bool isPowerOfTwo(int v) {
    return (v & (v - 1)) == 0;
}

} // namespace

bool Texture::setSize(int w, int h) {
    width = w;
    height = h;
    widthF = static_cast<float>(static_cast<std::uint32_t>(w));
    heightF = static_cast<float>(static_cast<std::uint32_t>(h));
    xMask = w - 1;
    // Unsigned product: the mask wraps like the index arithmetic that uses it.
    yMask = static_cast<std::int32_t>(static_cast<std::uint32_t>(w) *
                                      (static_cast<std::uint32_t>(h) - 1u));
    if (isPowerOfTwo(w) && isPowerOfTwo(h))
        return true;
    release();
    return false;
}

bool Texture::allocate(int w, int h) {
    release();
    // A side of 0 or less gives no texel to wrap onto: null.
    texels = newGrid<Texel>(w, h);
    if (!texels)
        return false;
    return setSize(w, h);
}

// Shared by the two byte-map loaders: `levelsFromBytes` says which of the two
// channels the bytes fill; the other gets `constant`.
bool Texture::loadBytes(const Blob& blob, float constant, std::uint32_t w, bool levelsFromBytes) {
    release();
    if (w == 0 || blob.size / w == 0)
        return false;
    texels = new (std::nothrow) Texel[blob.size]();
    if (!texels)
        return false;
    if (!setSize(static_cast<int>(w), static_cast<int>(blob.size / w)))
        return false;
    for (std::uint32_t i = 0; i < blob.size; ++i) {
        const float fromByte = static_cast<float>(blob.data[i]) * byteScale;
        texels[i].level = levelsFromBytes ? fromByte : constant;
        texels[i].alpha = levelsFromBytes ? constant : fromByte;
    }
    return true;
}

bool Texture::loadLevels(const Blob& blob, float alpha, std::uint32_t w) {
    return loadBytes(blob, alpha, w, true);
}

bool Texture::loadAlpha(float level, const Blob& blob, std::uint32_t w) {
    return loadBytes(blob, level, w, false);
}

void Texture::release() {
    delete[] texels;
    texels = nullptr;
    width = height = 0;
    widthF = heightF = 0;
    xMask = yMask = 0;
}
