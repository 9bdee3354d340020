// The strip: the constant table that places every scene on one long row of
// columns (a column is 0.1 s of music time) and the per-frame dispatcher that
// calls the scenes inside the 80-column window.
#pragma once

#include "scenes/console_grid.h"
#include "scenes/demo_assets.h"

struct StripEntry {
    SceneFn scene; // null marks a group break
    int start;     // scene: first column relative to the group base; break: columns added
    int length;    // scene: width in columns; break: 0
};

constexpr int stripRowCount = 18;
extern const StripEntry stripTable[stripRowCount];

// Music time after which the show is over, and where the scroll stops.
constexpr float showEndTime = 141.5f;
constexpr float scrollStopTime = 136.0f;
constexpr float scrollStopColumn = 1360.0f;

// The window's position in strip columns at music time t, with its sub-column
// part: 10 t in float, held at 1360 once the scroll stops.
float stripWindowPosition(float t);
// The strip column at the screen's left edge at music time t: the floor of the
// window position, taken in double. Every column the strip draws and every
// column the controls name under the mouse come from this one computation.
int stripLeftColumn(float t);

// One visible row: its index in stripTable and where it lies on screen.
struct StripCall {
    int row;
    int x;    // screen column of the scene's first strip column
    float xf; // the same with the sub-column scroll, in (x - 1, x]
    int length;
};

// The rows inside the 80-column window at music time t, in table order.
// Returns how many were written to `calls`.
int findVisibleRows(float t, StripCall (&calls)[stripRowCount]);

// Calls every visible row in table order. False once t is past the end of the
// show (no scene is drawn then).
bool dispatchStrip(DemoAssets& assets, CellImage& console, float t, float dt);
