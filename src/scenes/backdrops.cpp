// The opening group: the dark and light backdrops (canvas fills resolved by the
// strip) and the title artwork copied straight into the console cells.
#include "demo_assets.h"
#include "resource_blob.h"

namespace {

// --- Constant tables ---

constexpr int darkRamp = 0;
constexpr int lightRamp = 1;
constexpr std::uint16_t titleKey = '.';

} // namespace

// --- Build steps ---

const char* DemoAssets::buildTitleArt(ResourceBlob& blob) {
    return loadCellArt(blob, resourceId::titleArt, titleArt, 160,
                       "resource 105 (title art) is missing or empty",
                       "cannot make the title art from resource 105");
}

// --- Scenes ---

void DemoAssets::fillDarkBackdrop(CellImage&, float, float, int x, float, int length) {
    canvas.fill(ShadePixel{0.0f, ramps[darkRamp]}, copyBlend, x, 0, length, canvas.height);
}

void DemoAssets::fillLightBackdrop(CellImage&, float, float, int x, float, int length) {
    canvas.fill(ShadePixel{1.0f, ramps[lightRamp]}, copyBlend, x, 0, length, canvas.height);
}

void DemoAssets::drawTitleArt(CellImage& console, float, float, int x, float, int) {
    console.blitKeyed(titleArt, titleKey, 0, 0, x, 0, titleArt.width, titleArt.height);
}
