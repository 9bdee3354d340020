// The strip table, the window position and the dispatcher.
#include "strip.h"

#include <cmath>

const StripEntry stripTable[stripRowCount] = {
    {&DemoAssets::fillDarkBackdrop, 0, 280},
    {&DemoAssets::fillLightBackdrop, 280, 360},
    {&DemoAssets::drawCloudMask, 120, 360},
    {&DemoAssets::resolveCanvasColumns, 0, 280},
    {&DemoAssets::drawTitleArt, 80, 160},
    {nullptr, 280, 0},
    {&DemoAssets::drawGrowingTree, 40, 320},
    {&DemoAssets::resolveCanvasColumns, 0, 360},
    {nullptr, 360, 0},
    {&DemoAssets::drawSkyWindows, 0, 230},
    {&DemoAssets::drawSparkTrail, 0, 240},
    {&DemoAssets::resolveCanvasColumns, 0, 230},
    {nullptr, 230, 0},
    {&DemoAssets::drawRotozoom, 0, 310},
    {nullptr, 310, 0},
    {&DemoAssets::drawFireAndBlobs, 0, 180},
    {nullptr, 180, 0},
    {&DemoAssets::drawClosingPicture, 0, 80},
};

float stripWindowPosition(float t) {
    return t > scrollStopTime ? scrollStopColumn : 10.0f * t;
}

int stripLeftColumn(float t) {
    return static_cast<int>(std::floor(static_cast<double>(stripWindowPosition(t))));
}

int findVisibleRows(float t, StripCall (&calls)[stripRowCount]) {
    const float c = stripWindowPosition(t);
    const int g = stripLeftColumn(t);
    int base = 0;
    int count = 0;
    for (int row = 0; row < stripRowCount; ++row) {
        const StripEntry& entry = stripTable[row];
        if (!entry.scene) {
            base += entry.start;
            continue;
        }
        const int s = base + entry.start;
        if (s < g + consoleColumns && g < s + entry.length)
            calls[count++] = StripCall{row, s - g, static_cast<float>(s) - c, entry.length};
    }
    return count;
}

bool dispatchStrip(DemoAssets& assets, CellImage& console, float t, float dt) {
    if (t > showEndTime)
        return false;
    StripCall calls[stripRowCount];
    const int count = findVisibleRows(t, calls);
    for (int i = 0; i < count; ++i) {
        const StripCall& call = calls[i];
        (assets.*stripTable[call.row].scene)(console, t, dt, call.x, call.xf, call.length);
    }
    return true;
}
