// The last group: the closing picture, with a patch laid over it for half a
// second shortly before the end.
#include "demo_assets.h"

namespace {

constexpr std::uint16_t pictureKey = '.';
constexpr std::uint16_t patchKey = 0; // no patch cell holds 0: all 70 cells are copied
constexpr float blinkStart = 139.5f;
constexpr float blinkEnd = 140.0f;
constexpr int patchColumn = 35;
constexpr int patchRow = 17;

} // namespace

void DemoAssets::drawClosingPicture(CellImage& console, float t, float, int x, float, int) {
    console.blitKeyed(closingPicture, pictureKey, 0, 0, x, 0, closingPicture.width,
                      closingPicture.height);
    if (t > blinkStart && t < blinkEnd)
        console.blitKeyed(blinkPatch, patchKey, 0, 0, x + patchColumn, patchRow, blinkPatch.width,
                          blinkPatch.height);
}
