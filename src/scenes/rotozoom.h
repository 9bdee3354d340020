// The rotozoom scene's path: its keyframe table and the smooth blend through it.
// The Rotozoomer itself is declared with the other effects (effects.h).
#pragma once

// One keyframe of the view. Pivot in screen columns and rows, centre in
// texture units (1.0 is a whole width or height), zoom in texture widths
// across the 80 screen columns, angle in radians.
struct RotozoomKey {
    float pivotColumn;
    float pivotRow;
    float centreU;
    float centreV;
    float zoom;
    float angle;
};

constexpr int rotozoomKeyCount = 19;
extern const RotozoomKey rotozoomKeys[rotozoomKeyCount];

// The view at music time t: a uniform quadratic B-spline through the keys,
// 2.5 seconds per key from 79 s. Times before the path hold its start and
// times past its end hold its end (only the scene's own range is ever shown).
RotozoomKey rotozoomKeyAt(float t);
