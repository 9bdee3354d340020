// Cloud mask scene: four small noise layers, sampled with smoothstep weights and
// shifted along a circle by an angle, summed into a wide cloud that is shown
// through a fixed mask. Only the cloud's on-screen columns are recomputed.
#include "cloud_mask.h"

#include "console_grid.h"
#include "demo_assets.h"
#include "imaging/clip.h"
#include "imaging/det_math.h"
#include "resource_blob.h"

namespace {

// --- Constant tables ---

// Level weights of the four noise layers: the summed cloud stays in 0..1.
constexpr float layerWeights[4] = {0.3f, 0.3f, 0.2f, 0.2f};
constexpr int cloudRamp = 0;
// Radians of swirl per second of music time.
constexpr float swirlRate = 0.75f;

} // namespace

// --- Noise cloud ---

bool NoiseCloud::build(int width, int height, int divisor, float) {
    if (!target.allocate(width, height))
        return false;
    // No layer size can come from a divisor of 0 or less.
    if (divisor <= 0)
        return false;
    // Layers 0 and 1 are one noise cell per divisor texels, 2 and 3 twice as fine
    // across. The division is unsigned, like the sizes it makes.
    const auto w = static_cast<unsigned>(width);
    const auto h = static_cast<unsigned>(height);
    const auto d = static_cast<unsigned>(divisor);
    const int narrow = static_cast<int>(w / d);
    const int wide = static_cast<int>(2u * w / d);
    const int rows = static_cast<int>(h / d);
    if (!layers[0].allocate(narrow, rows) || !layers[1].allocate(narrow, rows) ||
        !layers[2].allocate(wide, rows) || !layers[3].allocate(wide, rows))
        return false;
    // The fills draw from the shared generator in this order, so the cloud is
    // the same on every run.
    for (int i = 0; i < 4; ++i) {
        BlendMode mode = defaultBlend;
        mode.k0 = layerWeights[i];
        mode.k1 = 0;
        mode.k2 = 0;
        mode.k3 = 0;
        layers[i].fillNoise(mode, 0, 0, layers[i].width, layers[i].height);
    }
    return true;
}

void NoiseCloud::render(float angle, int x, int y, int w, int h, const Texture* mask) {
    if (!clipRect(target, x, y, w, h))
        return;
    const float width = target.widthF;
    const float height = target.heightF;
    const float du = 1 / width;
    const float dv = 1 / height;
    const float c = 0.5f * detmath::cos(angle);
    const float s = 0.5f * detmath::sin(angle);
    // The circle has the same radius in target texels across and down.
    float ax = 1, ay = 1;
    if (target.width < target.height)
        ay = width / height;
    else
        ax = height / width;
    const float offsetU[4] = {ax * (0.5f + c), ax * (0.5f - c), ax * (0.5f - s), ax * (0.5f + s)};
    const float offsetV[4] = {ay * (0.5f + s), ay * (0.5f - s), ay * (0.5f + c), ay * (0.5f - c)};

    // A texel's level is ((s0 + s1) + s2) + s3 of its four layer samples; the
    // layers are summed row by row, in that order.
    if (mask && (mask->width < target.width || mask->height < target.height))
        mask = nullptr;
    float v = static_cast<float>(y) * dv;
    for (int j = y; j < y + h; ++j, v += dv) {
        Texel* out = &target.at(x, j);
        const float uFirst = static_cast<float>(x) * du;
        if (!mask) {
            for (int k = 0; k < 4; ++k)
                layers[k].sampleSmoothRow(out, w, uFirst, du, offsetU[k], v + offsetV[k], k > 0);
            continue;
        }
        // Runs of texels the mask shows. u is carried over the others by the
        // same float additions, so every computed texel gets its usual value.
        const Texel* shown = &mask->at(x, j);
        float u = uFirst;
        int i = 0;
        while (i < w) {
            for (; i < w && shown[i].alpha == 0; ++i)
                u += du;
            const int start = i;
            const float uStart = u;
            for (; i < w && !(shown[i].alpha == 0); ++i)
                u += du;
            for (int k = 0; k < 4 && i > start; ++k)
                layers[k].sampleSmoothRow(out + start, i - start, uStart, du, offsetU[k],
                                          v + offsetV[k], k > 0);
        }
    }
}

void NoiseCloud::release() {
    for (int i = 3; i >= 0; --i)
        layers[i].release();
    target.release();
}

// --- Build steps ---

const char* DemoAssets::buildCloudMask(ResourceBlob& blob) {
    if (!blob.load(resourceId::cloudMask))
        return "resource 106 (cloud mask) is missing or empty";
    return cloudMask.loadAlpha(1.0f, blob, 512) ? nullptr
                                                : "cannot make the cloud mask from resource 106";
}

const char* DemoAssets::buildNoiseCloud(ResourceBlob&) {
    return noiseCloud.build(512, 64, 16, 1.0f) ? nullptr : "no memory for the noise cloud";
}

// --- Scene ---

void DemoAssets::drawCloudMask(CellImage&, float t, float, int x, float, int length) {
    Texture& cloud = noiseCloud.target;
    // Recompute the cloud's columns that are on screen: 0..79-x, or -x..79-x.
    // Rows below the canvas never reach it (the layer below row 50 is never
    // read), so they are left as they are; so are the texels the mask hides.
    // Where the mask's alpha is 0 the layer's alpha is 0 and the composite
    // keeps the canvas level and ramp whatever (finite) level the cloud has
    // there, and the layer's levels only ever meet later painters multiplied
    // by 0: an old cloud level gives the same pictures as a fresh one.
    noiseCloud.render(swirlRate * t, -x, 0, consoleColumns, canvas.height, &cloudMask);
    // The layer is screen-aligned: layer column X gets cloud and mask column X - x.
    layer.blit(cloud, levelOnlyBlend, 0, 0, x, 0, consoleColumns - x, canvas.height);
    layer.blit(cloudMask, defaultBlend, 0, 0, x, 0, consoleColumns - x, canvas.height);
    canvas.composite(layer, ramps[cloudRamp], 0.0f, overBlend, x, 0, x, 0, length, layer.height);
}
