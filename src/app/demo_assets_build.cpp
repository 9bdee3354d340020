// DemoAssets::build: every asset from its resource, in a fixed order. Resource
// 108 comes after 112, and the noise cloud draws from the shared random
// generator before the blob swarm, so the random pictures are the same on every run.
#include "resource_blob.h"
#include "scenes/demo_assets.h"

namespace {
constexpr int canvasWidth = 80;
constexpr int canvasHeight = 50;
} // namespace

bool DemoAssets::build() {
    ResourceBlob blob;
    namespace id = resourceId;
    return blob.load(id::ramps) && ramps.build(blob) && blob.load(id::titleArt) &&
           titleArt.load(blob, 160) && blob.load(id::cloudMask) &&
           cloudMask.loadAlpha(1.0f, blob, 512) && blob.load(id::starfieldArt) &&
           starfieldArt.load(blob, 160) && blob.load(id::captionBand) &&
           captionBand.load(blob, 320) && blob.load(id::fireEdgeArt) &&
           fireEdgeArt.load(blob, 10) && blob.load(id::closingPicture) &&
           closingPicture.load(blob, 80) && blob.load(id::blinkPatch) &&
           blinkPatch.load(blob, 10) && blob.load(id::rotozoomPicture) &&
           rotozoomer.build(blob, 1.0f, 128) && canvas.allocate(canvasWidth, canvasHeight) &&
           layer.allocate(128, 64) && noiseCloud.build(512, 64, 16, 1.0f) && fire.build(256, 32) &&
           blobs.build(256, 32, 8);
}
