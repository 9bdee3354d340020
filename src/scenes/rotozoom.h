// The rotozoom scene's path (its keyframe table and the smooth blend through
// it) and the rotozoomer that renders the view. The scene function itself is
// DemoAssets::drawRotozoom.
#pragma once

#include "imaging/blob.h"
#include "imaging/non_copyable.h"
#include "imaging/texture.h"

#include <cstdint>

// One keyframe of the view. Pivot in screen columns and rows, centre in
// texture units (1.0 is a whole width or height), zoom in texture widths
// across the 80 screen columns, angle in radians.
struct RotozoomKey {
    float pivotColumn, pivotRow;
    float centreU, centreV;
    float zoom;
    float angle;
};

constexpr int rotozoomKeyCount = 19;
extern const RotozoomKey rotozoomKeys[rotozoomKeyCount];

// The view at music time t: a uniform quadratic B-spline through the keys,
// 2.5 seconds per key from 79 s. Times before the path hold its start and
// times past its end hold its end (only the scene's own range is ever shown).
RotozoomKey rotozoomKeyAt(float t);

// A tiled picture turned and zoomed along the path, read from a pyramid of
// down-scaled copies.
class Rotozoomer : NonCopyable {
  public:
    Rotozoomer() = default;
    ~Rotozoomer() { release(); }

    // Level 0 from the byte map, each further level half the size of the last.
    bool build(const Blob& blob, float alpha, std::uint32_t width);
    // Writes the view at music time t into target's top-left 80 x 50 texels.
    // Any t is safe: outside the path's range the view holds its start or end.
    void render(float t);
    // The level read at a zoom (texture widths across 80 columns): level 0
    // below 2, level 1 from 2 to 4 and so on, the last level at most.
    std::uint32_t levelFor(float zoom) const;
    void release();

    Texture target;            // 128 x 128; the view is its top-left 80 x 50
    Texture* levels = nullptr; // owned array: level n is the picture at 1/2^n size
    std::uint32_t levelCount = 0;
};
