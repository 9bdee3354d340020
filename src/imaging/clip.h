// Rectangle clipping shared by every blit and fill. Works on any image that has
// signed `width` and `height` fields; adjusts the rectangle in place.
#pragma once

#include <cstdint>

// Clips a blit of w x h elements from (sx, sy) of `source` to (dx, dy) of
// `destination`. Left and top clipping moves both positions together, so the
// element landing on a destination cell is the one it would be unclipped.
// Returns false when nothing is left.
template <class Destination, class Source>
bool clipBlit(const Destination& destination, const Source& source, int& sx, int& sy, int& dx,
              int& dy, int& w, int& h) {
    // Sums are taken in 64 bits so extreme rectangles clip instead of overflowing.
    using Wide = std::int64_t;
    if (sx < 0) {
        w = static_cast<int>(Wide{w} + sx);
        dx = static_cast<int>(Wide{dx} - sx);
        sx = 0;
    }
    if (sy < 0) {
        h = static_cast<int>(Wide{h} + sy);
        dy = static_cast<int>(Wide{dy} - sy);
        sy = 0;
    }
    if (dx < 0) {
        w = static_cast<int>(Wide{w} + dx);
        sx = static_cast<int>(Wide{sx} - dx);
        dx = 0;
    }
    if (dy < 0) {
        h = static_cast<int>(Wide{h} + dy);
        sy = static_cast<int>(Wide{sy} - dy);
        dy = 0;
    }
    if (w <= 0 || h <= 0)
        return false;
    if (Wide{sx} + w > source.width)
        w = source.width - sx;
    if (Wide{sy} + h > source.height)
        h = source.height - sy;
    if (Wide{dx} + w > destination.width)
        w = destination.width - dx;
    if (Wide{dy} + h > destination.height)
        h = destination.height - dy;
    return w > 0 && h > 0;
}

// Clips a fill rectangle to `image`. Returns false when nothing is left.
template <class Image> bool clipRect(const Image& image, int& x, int& y, int& w, int& h) {
    using Wide = std::int64_t;
    if (x < 0) {
        w = static_cast<int>(Wide{w} + x);
        x = 0;
    }
    if (y < 0) {
        h = static_cast<int>(Wide{h} + y);
        y = 0;
    }
    if (w <= 0 || h <= 0)
        return false;
    if (Wide{x} + w > image.width)
        w = image.width - x;
    if (Wide{y} + h > image.height)
        h = image.height - y;
    return w > 0 && h > 0;
}
