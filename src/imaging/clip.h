// Rectangle clipping shared by every blit and fill. Works on any image that has
// signed `width` and `height` fields; adjusts the rectangle in place.
#pragma once

#include <cstdint>

namespace clipping {

using Wide = std::int64_t;

// A run that starts below 0 starts at 0 instead: it is shortened by as much,
// and its partner position (the other image's, or a dummy) moves with it.
// Sums are taken in 64 bits so extreme rectangles clip instead of overflowing.
inline void raiseStart(int& start, int& length, int& partner) {
    if (start < 0) {
        length = static_cast<int>(Wide{length} + start);
        partner = static_cast<int>(Wide{partner} - start);
        start = 0;
    }
}

// A run that ends past `limit` ends there.
inline void lowerEnd(int start, int& length, int limit) {
    if (Wide{start} + length > limit)
        length = limit - start;
}

} // namespace clipping

// Clips a blit of w x h elements from (sx, sy) of `source` to (dx, dy) of
// `destination`. Left and top clipping moves both positions together, so the
// element landing on a destination cell is the one it would be unclipped.
// Returns false when nothing is left.
template <class Destination, class Source>
bool clipBlit(const Destination& destination, const Source& source, int& sx, int& sy, int& dx,
              int& dy, int& w, int& h) {
    using namespace clipping;
    raiseStart(sx, w, dx);
    raiseStart(sy, h, dy);
    raiseStart(dx, w, sx);
    raiseStart(dy, h, sy);
    if (w <= 0 || h <= 0)
        return false;
    lowerEnd(sx, w, source.width);
    lowerEnd(sy, h, source.height);
    lowerEnd(dx, w, destination.width);
    lowerEnd(dy, h, destination.height);
    return w > 0 && h > 0;
}

// Clips a fill rectangle to `image`. Returns false when nothing is left.
template <class Image> bool clipRect(const Image& image, int& x, int& y, int& w, int& h) {
    using namespace clipping;
    // A run raised to 0 and left empty stays empty when its end is lowered.
    int unused = 0;
    raiseStart(x, w, unused);
    lowerEnd(x, w, image.width);
    raiseStart(y, h, unused);
    lowerEnd(y, h, image.height);
    return w > 0 && h > 0;
}

// Calls visit(destination element, source element) for every pair a clipped
// blit lands, row after row. The element arrays are the images' own
// (width x height, row after row).
template <class Destination, class DestinationItem, class Source, class SourceItem, class Visit>
void blitEach(const Destination& destination, DestinationItem* destinationItems,
              const Source& source, const SourceItem* sourceItems, int sx, int sy, int dx, int dy,
              int w, int h, Visit&& visit) {
    if (!clipBlit(destination, source, sx, sy, dx, dy, w, h))
        return;
    const SourceItem* s = sourceItems + sy * source.width + sx;
    DestinationItem* d = destinationItems + dy * destination.width + dx;
    const int sStep = source.width - w;
    const int dStep = destination.width - w;
    for (int j = 0; j < h; ++j, s += sStep, d += dStep)
        for (int i = 0; i < w; ++i, ++s, ++d)
            visit(*d, *s);
}
