// The sky windows scene's window table and painter; the scene function itself
// is DemoAssets::drawSkyWindows.
#pragma once

#include "imaging/texture.h"

// A round window in the panel: centre column (from the scene's left edge) and
// row, full radius in rows, and the music time at which it is half open.
struct SkyWindow {
    float column, row;
    float radius;
    float openTime;
};

constexpr int skyWindowCount = 5;
extern const SkyWindow skyWindowTable[skyWindowCount];

// The window's radius at music time t: 0 until a third of a second before its
// open time, the full radius from a third of a second after, easing out between.
float skyWindowRadius(const SkyWindow& window, float t);
// Paints every window (1.2 times wider than high) into `target`, in table order,
// with the scene's left edge at column x.
void paintSkyWindows(Texture& target, const BlendMode& blend, float t, int x);
