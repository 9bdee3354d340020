// DemoAssets: the build from the resources, in a fixed order, the release in
// the reverse order, and the resolve row the strip puts after its canvas scenes.
#include "demo_assets.h"

#include "console_grid.h"
#include "resource_blob.h"

// Resource 108 comes after 112, and the noise cloud draws from the shared
// random generator before the blob swarm, so the random pictures are the same
// on every run. The first step that fails names itself in failureReason.
bool DemoAssets::build() {
    failure = nullptr;
    ResourceBlob blob;
    namespace id = resourceId;
    const auto step = [this](bool done, const char* reason) {
        if (!done)
            failure = reason;
        return done;
    };
    return step(blob.load(id::ramps), "resource 104 (shade ramps) is missing or empty") &&
           step(ramps.build(blob), "cannot make the shade ramps from resource 104") &&
           step(blob.load(id::titleArt), "resource 105 (title art) is missing or empty") &&
           step(titleArt.load(blob, 160), "cannot make the title art from resource 105") &&
           step(blob.load(id::cloudMask), "resource 106 (cloud mask) is missing or empty") &&
           step(cloudMask.loadAlpha(1.0f, blob, 512),
                "cannot make the cloud mask from resource 106") &&
           step(blob.load(id::starfieldArt), "resource 107 (starfield art) is missing or empty") &&
           step(starfieldArt.load(blob, 160), "cannot make the starfield art from resource 107") &&
           step(blob.load(id::captionBand), "resource 109 (caption band) is missing or empty") &&
           step(captionBand.load(blob, 320), "cannot make the caption band from resource 109") &&
           step(blob.load(id::fireEdgeArt), "resource 110 (fire edge art) is missing or empty") &&
           step(fireEdgeArt.load(blob, 10), "cannot make the fire edge art from resource 110") &&
           step(blob.load(id::closingPicture),
                "resource 111 (closing picture) is missing or empty") &&
           step(closingPicture.load(blob, 80),
                "cannot make the closing picture from resource 111") &&
           step(blob.load(id::blinkPatch), "resource 112 (blink patch) is missing or empty") &&
           step(blinkPatch.load(blob, 10), "cannot make the blink patch from resource 112") &&
           step(blob.load(id::rotozoomPicture),
                "resource 108 (rotozoom picture) is missing or empty") &&
           step(rotozoomer.build(blob, 1.0f, 128),
                "cannot make the rotozoomer from resource 108") &&
           step(canvas.allocate(consoleColumns, consoleRows), "no memory for the canvas") &&
           step(layer.allocate(128, 64), "no memory for the working layer") &&
           step(noiseCloud.build(512, 64, 16, 1.0f), "no memory for the noise cloud") &&
           step(fire.build(256, 32), "no memory for the fire") &&
           step(blobs.build(256, 32, 8), "no memory for the blobs");
}

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

void DemoAssets::resolveCanvasColumns(CellImage& console, float, float, int x, float, int length) {
    console.resolve(canvas, x, 0, x, 0, length, canvas.height);
}
