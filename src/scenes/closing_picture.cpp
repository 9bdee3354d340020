// The last group: the closing picture, with a patch laid over it for half a
// second shortly before the end.
#include "demo_assets.h"
#include "resource_blob.h"

namespace {

// --- Constant tables ---

constexpr std::uint16_t pictureKey = '.';
constexpr std::uint16_t patchKey = 0; // no patch cell holds 0: all 70 cells are copied
constexpr float blinkStart = 139.5f;
constexpr float blinkEnd = 140.0f;
constexpr int patchColumn = 35;
constexpr int patchRow = 17;

} // namespace

// --- Build steps ---

const char* DemoAssets::buildClosingPicture(ResourceBlob& blob) {
    return loadCellArt(blob, resourceId::closingPicture, closingPicture, 80,
                       "resource 111 (closing picture) is missing or empty",
                       "cannot make the closing picture from resource 111");
}

const char* DemoAssets::buildBlinkPatch(ResourceBlob& blob) {
    return loadCellArt(blob, resourceId::blinkPatch, blinkPatch, 10,
                       "resource 112 (blink patch) is missing or empty",
                       "cannot make the blink patch from resource 112");
}

// --- Scene ---

void DemoAssets::drawClosingPicture(CellImage& console, float t, float, int x, float, int) {
    console.blitKeyed(closingPicture, pictureKey, 0, 0, x, 0, closingPicture.width,
                      closingPicture.height);
    if (t > blinkStart && t < blinkEnd)
        console.blitKeyed(blinkPatch, patchKey, 0, 0, x + patchColumn, patchRow, blinkPatch.width,
                          blinkPatch.height);
}
