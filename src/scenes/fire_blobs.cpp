// Fire and wandering blobs scene: a band of simulated fire rising from the
// bottom, eight soft blobs drifting over it on precomputed random walks, and a
// piece of cell art closing the scene's right end. It resolves its own columns.
#include "fire_blobs.h"

#include "demo_assets.h"
#include "imaging/shared_random.h"
#include "resource_blob.h"

#include <cmath>
#include <new>

namespace {

// --- Constant tables ---

constexpr int fireRamp = 4;
constexpr int blobRamp = 5;
// The fire texture's row 0 lands on this canvas row (rows past the canvas are cut).
constexpr int fireTopRow = 21;
constexpr std::uint16_t edgeKey = '.';

// Above this frame time the fire's keep weight would turn negative (about
// 0.0495 s) and the heat would grow without bound, so longer frames advance
// in equal sub-steps of at most this length, each with its own seed row.
constexpr float maxFireStep = 0.04f;
// Beyond this many sub-steps (2 s) the field has long forgotten its old state;
// the rest of a very long stall is dropped instead of simulated.
constexpr int maxFireSubSteps = 50;

constexpr std::uint32_t walkSteps = 64;
// Walk points stay this far inside the texture; a step moves at most walkReach.
constexpr float walkMargin = 10.0f;
constexpr float walkReach = 20.0f;
constexpr float randomMax = 32767.0f;
constexpr float blobRadius = 10.0f;
// The walks start at 110 s and pass two points per second.
constexpr float walkStart = 110.0f;
constexpr float walkPointsPerSecond = 2.0f;

// Where a blob is between walk points: the three points read and their weights.
struct WalkSpan {
    std::uint32_t s0, s1, s2;
    float w0, w1, w2;
};

WalkSpan walkSpanAt(float t) {
    const float d = walkPointsPerSecond * (t - walkStart);
    int k;
    float f;
    // Every float of magnitude 2^30 or more is a multiple of 64 walk points, so
    // step 0 is exactly right there; NaN also starts at step 0. This keeps the
    // floor conversion inside the int range for any time.
    if (std::fabs(d) < 1073741824.0f) {
        k = static_cast<int>(std::floor(d));
        f = d - static_cast<float>(k);
    } else {
        k = 0;
        f = 0.0f;
    }
    const std::uint32_t step = static_cast<std::uint32_t>(k);
    return WalkSpan{step & (walkSteps - 1),        (step + 1u) & (walkSteps - 1),
                    (step + 2u) & (walkSteps - 1), (1.0f - f) * (1.0f - f) / 2.0f,
                    f * (1.0f - f) + 0.5f,         f * f / 2.0f};
}

} // namespace

// --- Fire field ---

bool FireField::build(int width, int height) {
    release();
    if (!display.allocate(width, height) || !heat.allocate(width, height)) {
        release();
        return false;
    }
    display.fill(Texel{1.0f, 0.0f}, copyBlend, 0, 0, width, height);
    heat.fill(Texel{1.0f, 0.0f}, copyBlend, 0, 0, width, height);
    return true;
}

void FireField::step(float dt) {
    const int w = heat.width, h = heat.height;
    // A fresh seed row at the bottom: its alphas become new random heat.
    heat.fillNoise(defaultBlend, 0, h - 1, w, 1);

    const float e = 20.0f * dt;
    const float keep = 1.0f - 1.01f * e;
    const float up = 0.7f * e;
    const float side = 0.15f * e;
    // In place from the top: the row below still holds the previous step's
    // heat, so heat climbs at most one row per step. The edge columns have no
    // outer neighbour (no wrap).
    for (int r = 0; r + 1 < h; ++r) {
        Texel* a = heat.texels + r * w;
        const Texel* b = a + w;
        if (w == 1) {
            a[0].alpha = keep * a[0].alpha + up * b[0].alpha;
            continue;
        }
        a[0].alpha = keep * a[0].alpha + up * b[0].alpha + side * b[1].alpha;
        for (int c = 1; c + 1 < w; ++c)
            a[c].alpha =
                keep * a[c].alpha + up * b[c].alpha + side * b[c - 1].alpha + side * b[c + 1].alpha;
        a[w - 1].alpha = keep * a[w - 1].alpha + up * b[w - 1].alpha + side * b[w - 2].alpha;
    }
}

void FireField::update(float dt) {
    if (!heat.texels || !display.texels)
        return;
    // Frame times are positive; anything else (NaN included) advances nothing,
    // but the seed row is still drawn so the random sequence stays in step.
    if (!(dt >= 0.0f))
        dt = 0.0f;
    if (dt <= maxFireStep) {
        step(dt);
    } else {
        const double parts = std::ceil(static_cast<double>(dt) / static_cast<double>(maxFireStep));
        if (parts > maxFireSubSteps) {
            for (int i = 0; i < maxFireSubSteps; ++i)
                step(maxFireStep);
        } else {
            const int n = static_cast<int>(parts);
            const float each = dt / static_cast<float>(n);
            for (int i = 0; i < n; ++i)
                step(each);
        }
    }

    // Display: 5.5 h^2 - 0.75, unclamped (the composite clamps). The bottom
    // (seed) row never shows.
    const int w = heat.width, h = heat.height;
    for (int r = 0; r + 1 < h; ++r) {
        const Texel* source = heat.texels + r * w;
        Texel* out = display.texels + r * display.width;
        for (int c = 0; c < w; ++c) {
            const float v = source[c].alpha;
            out[c].alpha = 5.5f * (v * v) - 0.75f;
        }
    }
}

void FireField::release() {
    heat.release();
    display.release();
}

// --- Blob swarm ---

bool BlobSwarm::build(int width, int height, std::uint32_t chains) {
    release();
    points = new (std::nothrow) BlobPoint[static_cast<std::size_t>(chains) * walkSteps];
    if (!points)
        return false;
    if (!texture.allocate(width, height)) {
        release();
        return false;
    }
    chainCount = chains;
    const float right = static_cast<float>(width) - walkMargin;
    const float bottom = static_cast<float>(height) - walkMargin;
    // Start points anywhere inside the margins; x is drawn before y throughout.
    for (std::uint32_t i = 0; i < chains; ++i) {
        const float r1 = static_cast<float>(sharedRandom());
        const float r2 = static_cast<float>(sharedRandom());
        points[i].x = r1 * static_cast<float>(width - 20) / randomMax + walkMargin;
        points[i].y = r2 * static_cast<float>(height - 20) / randomMax + walkMargin;
    }
    // Each point is a random step of up to walkReach from the same chain's
    // previous point, held inside the margins.
    const std::uint32_t total = chains * walkSteps;
    for (std::uint32_t i = chains; i < total; ++i) {
        const BlobPoint& previous = points[i - chains];
        const float r1 = static_cast<float>(sharedRandom());
        const float r2 = static_cast<float>(sharedRandom());
        float x = (1.0f - 2.0f * r1 / randomMax) * walkReach + previous.x;
        float y = (1.0f - 2.0f * r2 / randomMax) * walkReach + previous.y;
        if (x < walkMargin)
            x = walkMargin;
        if (x > right)
            x = right;
        if (y < walkMargin)
            y = walkMargin;
        if (y > bottom)
            y = bottom;
        points[i] = BlobPoint{x, y};
    }
    return true;
}

BlobPoint BlobSwarm::centreAt(float t, std::uint32_t chain) const {
    if (!points || chain >= chainCount)
        return BlobPoint{};
    const WalkSpan span = walkSpanAt(t);
    const BlobPoint& p0 = points[span.s0 * chainCount + chain];
    const BlobPoint& p1 = points[span.s1 * chainCount + chain];
    const BlobPoint& p2 = points[span.s2 * chainCount + chain];
    return BlobPoint{span.w0 * p0.x + span.w1 * p1.x + span.w2 * p2.x,
                     span.w0 * p0.y + span.w1 * p1.y + span.w2 * p2.y};
}

void BlobSwarm::render(float t) {
    if (!texture.texels)
        return;
    texture.fill(Texel{1.0f, 0.0f}, copyBlend, 0, 0, texture.width, texture.height);
    // Overlapping blobs add their alphas, so they merge where they meet.
    for (std::uint32_t c = 0; c < chainCount; ++c) {
        const BlobPoint centre = centreAt(t, c);
        texture.brushEllipse(Texel{1.0f, 1.0f}, addAlphaBlend, centre.x, centre.y, blobRadius,
                             blobRadius);
    }
}

void BlobSwarm::release() {
    delete[] points;
    points = nullptr;
    chainCount = 0;
    texture.release();
}

// --- Build steps ---

const char* DemoAssets::buildFireEdgeArt(ResourceBlob& blob) {
    return loadCellArt(blob, resourceId::fireEdgeArt, fireEdgeArt, 10,
                       "resource 110 (fire edge art) is missing or empty",
                       "cannot make the fire edge art from resource 110");
}

const char* DemoAssets::buildFire(ResourceBlob&) {
    return fire.build(256, 32) ? nullptr : "no memory for the fire";
}

const char* DemoAssets::buildBlobs(ResourceBlob&) {
    return blobs.build(256, 32, 8) ? nullptr : "no memory for the blobs";
}

// --- Scene ---

void DemoAssets::drawFireAndBlobs(CellImage& console, float t, float dt, int x, float, int length) {
    canvas.fill(ShadePixel{0.0f, ramps[fireRamp]}, copyBlend, x, 0, length, canvas.height);
    fire.update(dt);
    // Texture column c lands on scene column c; clipping takes care of the scroll.
    canvas.composite(fire.display, ramps[fireRamp], 0.0f, overBlend, 0, 0, x, fireTopRow, length,
                     fire.display.height);
    blobs.render(t);
    canvas.composite(blobs.texture, ramps[blobRamp], 0.0f, overBlend, 0, 0, x, 0, length,
                     blobs.texture.height);
    console.resolve(canvas, x, 0, x, 0, length, canvas.height);
    console.blitKeyed(fireEdgeArt, edgeKey, 0, 0, x + length - fireEdgeArt.width, 0,
                      fireEdgeArt.width, fireEdgeArt.height);
}
