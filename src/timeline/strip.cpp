// The window position and the dispatcher over the strip table.
#include "strip.h"

#include <cmath>

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
            base += entry.groupWidth;
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
