// Rotozoom scene: a rotating, zooming, endlessly tiled view of one picture,
// read from a pyramid of down-scaled copies, with the star-field seam on its
// left and the caption band along its bottom. It resolves its own columns.
#include "rotozoom.h"

#include "console_grid.h"
#include "demo_assets.h"
#include "imaging/det_math.h"
#include "resource_blob.h"

#include <cmath>
#include <new>

namespace {

// --- Constant tables ---

constexpr int pictureRamp = 6;
// How much of the star-field art's right end is drawn as the seam.
constexpr int seamColumns = 10;
constexpr std::uint16_t seamKey = 'x';
constexpr std::uint16_t captionKey = '.';
constexpr int captionRow = 40;

// The path starts at 79 s and moves on one key every 2.5 s.
constexpr float pathStart = 79.0f;
constexpr float keysPerSecond = 0.4f;
// Texture units per screen column for a zoom of 1 (1/80).
constexpr float columnScale = 0.0125f;

// The last key index a blend may start at: it reads keys k, k+1 and k+2.
constexpr int lastBlendStart = rotozoomKeyCount - 3;

} // namespace

const RotozoomKey rotozoomKeys[rotozoomKeyCount] = {
    {40, 25, 0.5f, 0.5f, 0.5f, 4},
    {50, 30, 0.5f, 0.5f, 2, 8},
    {80, 40, 0.2f, 0.1f, 0.75f, 12},
    {60, 25, 0.1f, 0, 0.5f, 8},
    {30, 15, 0, 0.3f, 0.75f, 4},
    {20, 10, 0.6f, 0.7f, 2, 0},
    {40, 20, 0, 0, 1, -5},
    {40, 25, 0.7f, 0.7f, 0.5f, 0},
    {40, 25, 0.2f, 0.5f, 0.3f, 4},
    {40, 25, 0.5f, 0.2f, 0.3f, 5},
    {40, 25, 0, 0, 1, 10},
    {40, 25, 0.2f, 0, 0.5f, 8},
    {40, 25, 0.43f, 0.2f, 0.1f, 4},
    {40, 25, 0.43f, 0.5f, 0.01f, 0},
    {40, 25, 0.43f, 0.5f, 0.001f, -4},
    {40, 25, 0.43f, 0.5f, 0.001f, 0},
    {40, 25, 0.43f, 0.5f, 0.0001f, 4},
    {40, 25, 0.43f, 0.5f, 0.0001f, 5},
    {40, 25, 0.43f, 0.5f, 0.0001f, 5},
};

RotozoomKey rotozoomKeyAt(float t) {
    const float b = (t - pathStart) * keysPerSecond;
    // The scene only shows b in about 0.04..15.6. Outside the table's reach
    // (or for a NaN time) the path holds its start or its end instead of
    // reading past the table or converting an out-of-range float.
    int k;
    float f;
    if (!(b >= 0.0f)) {
        k = 0;
        f = 0.0f;
    } else if (b >= static_cast<float>(lastBlendStart + 1)) {
        k = lastBlendStart;
        f = 1.0f;
    } else {
        k = static_cast<int>(std::floor(b));
        f = b - static_cast<float>(k);
    }
    // Uniform quadratic B-spline weights.
    const float w0 = (1.0f - f) * (1.0f - f) / 2.0f;
    const float w1 = f * (1.0f - f) + 0.5f;
    const float w2 = f * f / 2.0f;
    const RotozoomKey& a = rotozoomKeys[k];
    const RotozoomKey& c = rotozoomKeys[k + 1];
    const RotozoomKey& e = rotozoomKeys[k + 2];
    return RotozoomKey{
        w0 * a.pivotColumn + w1 * c.pivotColumn + w2 * e.pivotColumn,
        w0 * a.pivotRow + w1 * c.pivotRow + w2 * e.pivotRow,
        w0 * a.centreU + w1 * c.centreU + w2 * e.centreU,
        w0 * a.centreV + w1 * c.centreV + w2 * e.centreV,
        w0 * a.zoom + w1 * c.zoom + w2 * e.zoom,
        w0 * a.angle + w1 * c.angle + w2 * e.angle,
    };
}

// --- Rotozoomer ---

bool Rotozoomer::build(const Blob& blob, float alpha, std::uint32_t width) {
    release();
    if (width == 0 ||
        !target.allocate(static_cast<int>(width), static_cast<int>(blob.size / width)))
        return false;
    // One level per halving of the smaller side, down to 2 texels.
    std::uint32_t side =
        static_cast<std::uint32_t>(target.width < target.height ? target.width : target.height);
    std::uint32_t count = 0;
    for (side >>= 1; side != 0; side >>= 1)
        ++count;
    if (count == 0) {
        release();
        return false;
    }
    levels = new (std::nothrow) Texture[count];
    if (!levels) {
        release();
        return false;
    }
    levelCount = count;
    if (!levels[0].loadLevels(blob, alpha, width)) {
        release();
        return false;
    }
    // Each level samples the one above it, starting half a texel of that level
    // in from each edge.
    int w = target.width, h = target.height;
    float hu = 0.5f / static_cast<float>(w);
    float hv = 0.5f / static_cast<float>(h);
    for (std::uint32_t n = 1; n < levelCount; ++n) {
        w /= 2;
        h /= 2;
        if (!levels[n].allocate(w, h)) {
            release();
            return false;
        }
        levels[n].fillSampled(levels[n - 1], copyBlend, hu, hv, 1.0f - hu, 1.0f - hv, 0, 0, w, h);
        hu *= 2.0f;
        hv *= 2.0f;
    }
    return true;
}

std::uint32_t Rotozoomer::levelFor(float zoom) const {
    if (levelCount == 0)
        return 0;
    const float scale = zoom * columnScale;
    const float span = scale * static_cast<float>(consoleColumns);
    // Texels of level 0 per two screen columns; each further bit halves the level.
    // Spans beyond the unsigned range (or NaN) just mean "as small as there is".
    std::uint32_t m;
    if (!(span >= 0.0f))
        m = 0;
    else if (span >= 4294967296.0f)
        m = UINT32_MAX;
    else
        m = static_cast<std::uint32_t>(std::floor(span));
    m >>= 1;
    std::uint32_t n = 0;
    for (; m != 0; m >>= 1)
        ++n;
    return n < levelCount ? n : levelCount - 1;
}

void Rotozoomer::render(float t) {
    if (levelCount == 0)
        return;
    const RotozoomKey view = rotozoomKeyAt(t);
    const float scale = view.zoom * columnScale;
    const Texture& picture = levels[levelFor(view.zoom)];
    const float sinA = detmath::sin(view.angle);
    const float cosA = detmath::cos(view.angle);
    const float stepU = scale * cosA;
    const float stepV = scale * sinA;
    const int columns = target.width < consoleColumns ? target.width : consoleColumns;
    const int rows = target.height < consoleRows ? target.height : consoleRows;
    // Each row starts from its exact position at column 0 and then walks by
    // float additions, one step per column.
    for (int i = 0; i < rows; ++i) {
        const float x = 0.0f - view.pivotColumn;
        const float y = static_cast<float>(i) - view.pivotRow;
        float u = view.centreU + scale * (x * cosA - y * sinA);
        float v = view.centreV + scale * (x * sinA + y * cosA);
        Texel* out = target.texels + i * target.width;
        for (int j = 0; j < columns; ++j, ++out) {
            picture.sample(*out, u, v);
            u = u + stepU;
            v = v + stepV;
        }
    }
}

void Rotozoomer::release() {
    delete[] levels;
    levels = nullptr;
    levelCount = 0;
    target.release();
}

// --- Build steps ---

const char* DemoAssets::buildRotozoomer(ResourceBlob& blob) {
    if (!blob.load(resourceId::rotozoomPicture))
        return "resource 108 (rotozoom picture) is missing or empty";
    return rotozoomer.build(blob, 1.0f, 128) ? nullptr
                                             : "cannot make the rotozoomer from resource 108";
}

const char* DemoAssets::buildCaptionBand(ResourceBlob& blob) {
    return loadCellArt(blob, resourceId::captionBand, captionBand, 320,
                       "resource 109 (caption band) is missing or empty",
                       "cannot make the caption band from resource 109");
}

// --- Scene ---

void DemoAssets::drawRotozoom(CellImage& console, float t, float, int x, float, int length) {
    rotozoomer.render(t);
    // The whole canvas takes the view; only the scene's own columns become cells.
    canvas.composite(rotozoomer.target, ramps[pictureRamp], 0.0f, copyBlend, 0, 0, 0, 0,
                     consoleColumns, consoleRows);
    console.resolve(canvas, x, 0, x, 0, length, canvas.height);
    console.blitKeyed(starfieldArt, seamKey, starfieldArt.width - seamColumns, 0, x, 0, seamColumns,
                      starfieldArt.height);
    console.blitKeyed(captionBand, captionKey, 0, 0, x + seamColumns, captionRow, captionBand.width,
                      captionBand.height);
}
