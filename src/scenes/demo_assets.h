// DemoAssets: everything the scenes draw with, and the scenes themselves as its
// methods (the strip table points at them). Built once at start-up in a fixed
// order (DemoAssets::build) and never rebuilt.
#pragma once

#include "cloud_mask.h"
#include "fire_blobs.h"
#include "imaging/cell_image.h"
#include "imaging/non_copyable.h"
#include "imaging/shade_canvas.h"
#include "imaging/shade_ramp.h"
#include "imaging/texture.h"
#include "rotozoom.h"

class DemoAssets;

// A scene: draws into the console back buffer and the canvas. x is the screen
// column of the scene's first strip column (negative once it scrolled off the
// left), xf the same with the sub-column scroll, in (x - 1, x].
using SceneFn = void (DemoAssets::*)(CellImage& console, float t, float dt, int x, float xf,
                                     int length);

class DemoAssets : NonCopyable {
  public:
    DemoAssets() = default;
    ~DemoAssets() { release(); }

    // Loads resources 104 to 112 and builds every member, in a fixed order
    // (the shared random generator's draws depend on it). Stops at the first
    // step that fails, with false.
    bool build();
    // Which step the last build failed at, in a few words ("resource 110 (fire
    // edge art) is missing or empty"); null after a build that succeeded.
    const char* failureReason() const { return failure; }
    // Releases the members in the reverse of their declared order.
    void release();

    // --- Scenes (one source file each under src/scenes) ---
    void fillDarkBackdrop(CellImage& console, float t, float dt, int x, float xf, int length);
    void fillLightBackdrop(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawTitleArt(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawCloudMask(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawGrowingTree(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawSkyWindows(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawSparkTrail(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawRotozoom(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawFireAndBlobs(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawClosingPicture(CellImage& console, float t, float dt, int x, float xf, int length);
    // The strip's resolve rows: the canvas columns of one group into cells.
    void resolveCanvasColumns(CellImage& console, float t, float dt, int x, float xf, int length);

    ShadeRampTable ramps;
    CellImage titleArt;
    Texture cloudMask;
    CellImage starfieldArt;
    CellImage captionBand;
    CellImage fireEdgeArt;
    CellImage closingPicture;
    CellImage blinkPatch;
    ShadeCanvas canvas;
    Texture layer;
    NoiseCloud noiseCloud;
    Rotozoomer rotozoomer;
    FireField fire;
    BlobSwarm blobs;

  private:
    const char* failure = nullptr;
};
