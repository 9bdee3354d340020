// DemoAssets: the build that runs the steps of assetBuildOrder, the steps of
// the assets several scenes share, and the resolve row the strip puts after
// its canvas scenes. Each scene's own steps are in its file.
#include "demo_assets.h"

#include "console_grid.h"
#include "resource_blob.h"

bool DemoAssets::build() {
    failure = nullptr;
    ResourceBlob blob;
    for (const AssetBuildStep step : assetBuildOrder) {
        failure = (this->*step)(blob);
        if (failure)
            return false;
    }
    return true;
}

// --- Shared build steps ---

const char* loadCellArt(ResourceBlob& blob, std::uint16_t id, CellImage& art, std::uint32_t columns,
                        const char* missing, const char* unmade) {
    if (!blob.load(id))
        return missing;
    return art.load(blob, columns) ? nullptr : unmade;
}

const char* DemoAssets::buildRamps(ResourceBlob& blob) {
    if (!blob.load(resourceId::ramps))
        return "resource 104 (shade ramps) is missing or empty";
    return ramps.build(blob) ? nullptr : "cannot make the shade ramps from resource 104";
}

const char* DemoAssets::buildCanvas(ResourceBlob&) {
    return canvas.allocate(consoleColumns, consoleRows) ? nullptr : "no memory for the canvas";
}

const char* DemoAssets::buildLayer(ResourceBlob&) {
    return layer.allocate(128, 64) ? nullptr : "no memory for the working layer";
}

// --- The resolve row ---

void DemoAssets::resolveCanvasColumns(CellImage& console, float, float, int x, float, int length) {
    console.resolve(canvas, x, 0, x, 0, length, canvas.height);
}
