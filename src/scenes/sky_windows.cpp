// Sky windows scene: a dim panel with a bright rounded left end, in which five
// round windows open one after another onto the starfield art. The art is
// written into the cells first; the windows clear the canvas ramps over it.
#include "sky_windows.h"

#include "console_grid.h"
#include "demo_assets.h"
#include "resource_blob.h"

namespace {

// --- Constant tables ---

constexpr int panelRamp = 3;
constexpr std::uint16_t starfieldKey = 'x';
// The starfield lies this many columns right of the panel's left end.
constexpr int starfieldOffset = 80;
// The bright band at the left end and the transparent band at the far end.
constexpr int bandWidth = 40;
constexpr int holeOffset = 200;
constexpr float panelLevel = 0.25f;
constexpr float bandLevel = 1.0f;
// The rounded inner edge of the bright band.
constexpr float endColumn = 48.0f;
constexpr float endRow = 35.0f;
constexpr float endRadiusX = 48.0f;
constexpr float endRadiusY = 40.0f;
// Windows open over 2/3 s; they are cellAspect times wider than high (cells are tall).
constexpr float openRate = 1.5f;
// A window's pixels open where its alpha exceeds this; its soft rim only darkens.
constexpr float openThreshold = 0.9f;

} // namespace

const SkyWindow skyWindowTable[skyWindowCount] = {
    {95, 10, 10, 69}, {120, 40, 6, 70}, {130, 30, 10, 73}, {120, 15, 15, 74}, {160, 25, 50, 75},
};

float skyWindowRadius(const SkyWindow& window, float t) {
    float f = (t - window.openTime) * openRate + 0.5f;
    if (f < 0)
        f = 0;
    else if (f > 1)
        f = 1;
    return (2 - f) * f * window.radius;
}

void paintSkyWindows(Texture& target, const BlendMode& blend, float t, int x) {
    const Texel window{0.0f, 1.0f};
    for (const SkyWindow& w : skyWindowTable) {
        const float radius = skyWindowRadius(w, t);
        target.fillEllipse(window, blend, static_cast<float>(x) + w.column, w.row,
                           radius * cellAspect, radius);
    }
}

// --- Build steps ---

const char* DemoAssets::buildStarfieldArt(ResourceBlob& blob) {
    return loadCellArt(blob, resourceId::starfieldArt, starfieldArt, 160,
                       "resource 107 (starfield art) is missing or empty",
                       "cannot make the starfield art from resource 107");
}

// --- Scene ---

void DemoAssets::drawSkyWindows(CellImage& console, float t, float, int x, float, int length) {
    const ShadeRamp* ramp = ramps[panelRamp];
    const Texel clear{0.0f, 0.0f};

    console.blitKeyed(starfieldArt, starfieldKey, 0, 0, x + starfieldOffset, 0, starfieldArt.width,
                      starfieldArt.height);
    canvas.fill(ShadePixel{panelLevel, ramp}, copyBlend, 0, 0, canvas.width, canvas.height);
    canvas.fill(ShadePixel{bandLevel, ramp}, copyBlend, x, 0, bandWidth, canvas.height);
    canvas.fill(ShadePixel{0.0f, nullptr}, copyBlend, x + holeOffset, 0, bandWidth, canvas.height);

    // The band's rounded inner edge: inside the ellipse it drops to the panel
    // level, its top-left and bottom-left corners stay bright. Only the layer's
    // canvas-sized corner is ever composited, so only that is cleared.
    layer.fill(clear, copyBlend, 0, 0, canvas.width, canvas.height);
    layer.fillEllipse(Texel{panelLevel, 1.0f}, copyBlend, endColumn, endRow, endRadiusX,
                      endRadiusY);
    canvas.composite(layer, ramp, 0.0f, overBlend, 0, 0, x, 0, bandWidth, canvas.height);

    // Open windows lose their ramp, so the starfield cells beneath stay.
    layer.fill(clear, copyBlend, 0, 0, canvas.width, canvas.height);
    paintSkyWindows(layer, copyBlend, t, x);
    canvas.composite(layer, nullptr, openThreshold, overBlend, x, 0, x, 0, length, canvas.height);
}
