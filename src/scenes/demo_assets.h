// DemoAssets: everything the scenes draw with, and the scenes themselves as its
// methods (the strip table points at them). Built once at start-up in the one
// order of assetBuildOrder and never rebuilt. Not the strip: where and when a
// scene is drawn is the strip table's business (timeline/strip.h).
//
// A new scene adds here its scene function, its members and their release,
// and its build steps to assetBuildOrder; its own file under src/scenes holds
// its tables, its effect object, its build steps and its scene function.
#pragma once

#include "cloud_mask.h"
#include "fire_blobs.h"
#include "imaging/cell_image.h"
#include "imaging/non_copyable.h"
#include "imaging/shade_canvas.h"
#include "imaging/shade_ramp.h"
#include "imaging/texture.h"
#include "rotozoom.h"

#include <cstdint>

class DemoAssets;
class ResourceBlob;

// A scene function. Every scene has this one shape, whatever it uses of it,
// because the strip table holds them all as one kind of pointer and calls each
// the same way; a scene leaves the arguments it does not use unnamed.
//   console  the back buffer, for scenes that copy cell art straight into cells;
//   t, dt    music time and the time since the last frame, in seconds;
//   x        the screen column of the scene's first strip column (negative once
//            it scrolled off the left, at most 79);
//   xf       the same with the sub-column scroll, in (x - 1, x];
//   length   the scene's width in strip columns, from its strip row.
// The canvas, the ramps and every other asset are reached as members.
using SceneFn = void (DemoAssets::*)(CellImage& console, float t, float dt, int x, float xf,
                                     int length);

// A build step: makes one member, from the resource it loads into `blob` first
// where it has one. Returns null, or why it failed in a few words ("resource
// 110 (fire edge art) is missing or empty").
using AssetBuildStep = const char* (DemoAssets::*)(ResourceBlob& blob);

// The usual build step of a piece of cell art: loads resource `id` into `blob`
// and makes `art` of that many columns from it. `missing` and `unmade` are
// its two failures.
const char* loadCellArt(ResourceBlob& blob, std::uint16_t id, CellImage& art, std::uint32_t columns,
                        const char* missing, const char* unmade);

class DemoAssets : NonCopyable {
  public:
    DemoAssets() = default;
    ~DemoAssets() { release(); }

    // Runs the steps of assetBuildOrder in turn and stops at the first that
    // fails, with false.
    bool build();
    // Which step the last build failed at, in a few words; null after a build
    // that succeeded.
    const char* failureReason() const { return failure; }

    // --- Scenes and their build steps, by source file under src/scenes ---
    // backdrops.cpp
    void fillDarkBackdrop(CellImage& console, float t, float dt, int x, float xf, int length);
    void fillLightBackdrop(CellImage& console, float t, float dt, int x, float xf, int length);
    void drawTitleArt(CellImage& console, float t, float dt, int x, float xf, int length);
    const char* buildTitleArt(ResourceBlob& blob);
    // cloud_mask.cpp
    void drawCloudMask(CellImage& console, float t, float dt, int x, float xf, int length);
    const char* buildCloudMask(ResourceBlob& blob);
    const char* buildNoiseCloud(ResourceBlob& blob);
    // growing_tree.cpp
    void drawGrowingTree(CellImage& console, float t, float dt, int x, float xf, int length);
    // sky_windows.cpp
    void drawSkyWindows(CellImage& console, float t, float dt, int x, float xf, int length);
    const char* buildStarfieldArt(ResourceBlob& blob); // the rotozoom's seam too
    // spark_trail.cpp
    void drawSparkTrail(CellImage& console, float t, float dt, int x, float xf, int length);
    // rotozoom.cpp
    void drawRotozoom(CellImage& console, float t, float dt, int x, float xf, int length);
    const char* buildCaptionBand(ResourceBlob& blob);
    const char* buildRotozoomer(ResourceBlob& blob);
    // fire_blobs.cpp
    void drawFireAndBlobs(CellImage& console, float t, float dt, int x, float xf, int length);
    const char* buildFireEdgeArt(ResourceBlob& blob);
    const char* buildFire(ResourceBlob& blob);
    const char* buildBlobs(ResourceBlob& blob);
    // closing_picture.cpp
    void drawClosingPicture(CellImage& console, float t, float dt, int x, float xf, int length);
    const char* buildClosingPicture(ResourceBlob& blob);
    const char* buildBlinkPatch(ResourceBlob& blob);
    // demo_assets.cpp: what several scenes share, and the strip's resolve rows
    // (the canvas columns of one group into cells).
    const char* buildRamps(ResourceBlob& blob);
    const char* buildCanvas(ResourceBlob& blob);
    const char* buildLayer(ResourceBlob& blob);
    void resolveCanvasColumns(CellImage& console, float t, float dt, int x, float xf, int length);

    // --- Members ---
    ShadeRampTable ramps;
    CellImage titleArt;
    Texture cloudMask;
    CellImage starfieldArt; // the sky windows and the rotozoom's seam
    CellImage captionBand;
    CellImage fireEdgeArt;
    CellImage closingPicture;
    CellImage blinkPatch;
    ShadeCanvas canvas; // every canvas scene and the resolve rows
    Texture layer;      // 128 x 64, the working layer of the cloud, tree, windows and spark
    NoiseCloud noiseCloud;
    Rotozoomer rotozoomer;
    FireField fire;
    BlobSwarm blobs;

    // Releases the members in the reverse of their declared order; safe after
    // a build that stopped part way.
    void release() {
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

  private:
    const char* failure = nullptr;
};

// The build order, stated only here. The noise cloud and the blob swarm draw
// from the shared random generator, which is never reseeded, so their places
// fix every random picture of the show: the cloud's draws come first and the
// fire draws none at build time. Resource 108 (the rotozoomer) comes after 112.
// A new step that draws from the generator goes after the blob swarm; one
// that draws nothing may stand anywhere.
inline constexpr AssetBuildStep assetBuildOrder[] = {
    &DemoAssets::buildRamps,          &DemoAssets::buildTitleArt,    &DemoAssets::buildCloudMask,
    &DemoAssets::buildStarfieldArt,   &DemoAssets::buildCaptionBand, &DemoAssets::buildFireEdgeArt,
    &DemoAssets::buildClosingPicture, &DemoAssets::buildBlinkPatch,  &DemoAssets::buildRotozoomer,
    &DemoAssets::buildCanvas,         &DemoAssets::buildLayer,       &DemoAssets::buildNoiseCloud,
    &DemoAssets::buildFire,           &DemoAssets::buildBlobs,
};
