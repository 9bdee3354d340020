// The strip: the constant table that places every scene on one long row of
// columns (a column is 0.1 s of music time) and the per-frame dispatcher that
// calls the scenes inside the 80-column window. What a scene draws is its own
// file's business (src/scenes); here is only where and in which order.
#pragma once

#include "scenes/console_grid.h"
#include "scenes/demo_assets.h"

// One row of the strip table: a scene placed in the current group, or a break
// that ends the group. Write rows with stripScene and stripBreak.
struct StripEntry {
    SceneFn scene;  // null in a break
    int start;      // a scene's first column, relative to its group's base; 0 in a break
    int length;     // a scene's width in columns; 0 in a break
    int groupWidth; // a break: how far the next group's base lies past this one's; 0 in a scene
};

constexpr StripEntry stripScene(SceneFn scene, int start, int length) {
    return StripEntry{scene, start, length, 0};
}
constexpr StripEntry stripBreak(int groupWidth) {
    return StripEntry{nullptr, 0, 0, groupWidth};
}

// The one table that places the scenes, in painting order: within a frame a
// later row draws over what earlier rows left in the canvas and the cells, and
// nothing is cleared between rows or frames, so every scene covers its own
// columns. A group's base starts at 0 and each break moves it on. A scene may
// reach past its group's break; it stays placed from the base of the group it
// is listed in. A group of canvas scenes ends with a resolve row over its
// columns, unless its scenes resolve their own (the rotozoom, the fire).
inline constexpr StripEntry stripTable[] = {
    // Columns 0 to 279: the backdrops (the light one and the cloud reach on to
    // column 639) and the title over them.
    stripScene(&DemoAssets::fillDarkBackdrop, 0, 280),
    stripScene(&DemoAssets::fillLightBackdrop, 280, 360),
    stripScene(&DemoAssets::drawCloudMask, 120, 360),
    stripScene(&DemoAssets::resolveCanvasColumns, 0, 280),
    stripScene(&DemoAssets::drawTitleArt, 80, 160),
    stripBreak(280),
    // From column 280: the growing tree.
    stripScene(&DemoAssets::drawGrowingTree, 40, 320),
    stripScene(&DemoAssets::resolveCanvasColumns, 0, 360),
    stripBreak(360),
    // From column 640: the sky windows with the spark over them.
    stripScene(&DemoAssets::drawSkyWindows, 0, 230),
    stripScene(&DemoAssets::drawSparkTrail, 0, 240),
    stripScene(&DemoAssets::resolveCanvasColumns, 0, 230),
    stripBreak(230),
    // From column 870: the rotozoom.
    stripScene(&DemoAssets::drawRotozoom, 0, 310),
    stripBreak(310),
    // From column 1180: the fire and the blobs.
    stripScene(&DemoAssets::drawFireAndBlobs, 0, 180),
    stripBreak(180),
    // From column 1360, where the scroll stops: the closing picture.
    stripScene(&DemoAssets::drawClosingPicture, 0, 80),
};
constexpr int stripRowCount = static_cast<int>(sizeof stripTable / sizeof stripTable[0]);

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
