// DemoAssets release: the reverse of the declared order, safe after a partial build.
#include "demo_assets.h"

void DemoAssets::release() {
    blobs.release();
    fire.release();
    rotozoomer.release();
    noiseCloud.release();
    layer.release();
    canvas.release();
    blinkPatch.release();
    closingPicture.release();
    fireEdgeArt.release();
    captionBand.release();
    starfieldArt.release();
    cloudMask.release();
    titleArt.release();
    ramps.release();
}
