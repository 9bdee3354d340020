// Spark trail scene: a bright spark darting along a scripted zig-zag, with a
// trail that fades out over two seconds, a small disc for a head and four rays.
// Laid over whatever the canvas already holds, brightening it.
#include "spark_trail.h"

#include "console_grid.h"
#include "demo_assets.h"

namespace {

// --- Constant tables ---

constexpr int sparkRamp = 3;
// Head disc radii: 1.5 rows, cellAspect times that across (cells are tall).
constexpr float headRadiusY = 1.5f;
constexpr float headRadiusX = headRadiusY * cellAspect;
constexpr float rayLength = 6.0f;

} // namespace

const SparkWaypoint sparkPath[sparkPathCount] = {
    {0, 64, 0},
    {0, 64, 60},
    {10, 35, 61},
    {15, 40, 61.125f},
    {20, 30, 61.25f},
    {30, 35, 61.375f},
    {35, 25, 61.5f},
    {20, 20, 61.75f},
    {45, 10, 62},
    {40, 25, 62.75f},
    {55, 20, 63},
    {40, 35, 63.125f},
    {55, 30, 63.25f},
    {45, 45, 63.375f},
    {55, 40, 63.5f},
    {60, 25, 63.75f},
    {60, 40, 64},
    {65, 30, 64.75f},
    {75, 30, 65},
    {70, 10, 65.25f},
    {50, 5, 65.5f},
    {45, 20, 65.75f},
    {60, 25, 66.25f},
    {60, 10, 66.5f},
    {70, 30, 66.75f},
    {60, 40, 67},
    {80, 35, 67.125f},
    {85, 25, 67.25f},
    {70, 15, 67.375f},
    {85, 10, 67.5f},
    {95, 20, 67.75f},
    {85, 35, 68},
    {100, 25, 69},
    {95, 10, 69.5f},
    {110, 30, 70},
    {100, 35, 70.5f},
    {120, 40, 71},
    {122, 25, 71.125f},
    {124, 30, 71.25f},
    {126, 20, 71.375f},
    {128, 30, 71.5f},
    {130, 20, 71.625f},
    {132, 30, 71.75f},
    {134, 20, 71.875f},
    {136, 30, 72},
    {125, 40, 73},
    {150, 30, 73.5f},
    {135, 15, 74},
    {125, 30, 74.5f},
    {128, 40, 75},
    // A regular zig-zag: 3 columns and 1/8 s per step.
    {130, 30, 75.125f},
    {133, 42, 75.25f},
    {136, 28, 75.375f},
    {139, 44, 75.5f},
    {142, 32, 75.625f},
    {145, 42, 75.75f},
    {148, 35, 75.875f},
    {151, 45, 76},
    {154, 31, 76.125f},
    {157, 41, 76.25f},
    {160, 32, 76.375f},
    {163, 42, 76.5f},
    {166, 31, 76.625f},
    {169, 41, 76.75f},
    {172, 33, 76.875f},
    {175, 43, 77},
    {178, 34, 77.125f},
    {181, 44, 77.25f},
    {184, 33, 77.375f},
    {187, 45, 77.5f},
    {190, 33, 77.625f},
    {193, 43, 77.75f},
    {196, 34, 77.875f},
    {199, 45, 78},
    {202, 32, 78.125f},
    {205, 42, 78.25f},
    {208, 30, 78.375f},
    {211, 42, 78.5f},
    {214, 31, 78.625f},
    {217, 41, 78.75f},
    // The spark leaves below the screen; the last row is only a successor.
    {220, 60, 78.875f},
    {210, 60, 200},
};

int findWaypoint(int lo, int hi, float value) {
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        if (value < sparkPath[mid].time)
            hi = mid;
        else
            lo = mid;
    }
    return lo;
}

SparkPoint sparkPosition(int i, float time) {
    const SparkWaypoint& a = sparkPath[i];
    const SparkWaypoint& b = sparkPath[i + 1];
    const float u = (time - a.time) / (b.time - a.time);
    const float e = (2 - u) * u;
    return SparkPoint{(1 - e) * a.column + e * b.column, (1 - e) * a.row + e * b.row};
}

void paintSparkTrail(Texture& target, float level, float t, float xf) {
    const float tailTime = t - trailLength;
    const int i0 = findWaypoint(0, sparkPathCount - 1, tailTime);
    const int i1 = findWaypoint(i0, sparkPathCount - 1, t);

    // The trail, through every waypoint passed in the last two seconds; each
    // vertex's alpha falls with its age, from 1 at the head to 0 at the tail.
    SparkPoint p = sparkPosition(i0, tailTime);
    p.x = p.x + xf;
    float alphaPrev = 0.0f;
    for (int k = i0 + 1; k <= i1; ++k) {
        const SparkPoint q{xf + sparkPath[k].column, sparkPath[k].row};
        const float alphaNext = 1 - (t - sparkPath[k].time) * 0.5f;
        target.drawLine(Texel{level, alphaPrev}, Texel{level, alphaNext}, addAlphaBlend, p.x, p.y,
                        q.x, q.y);
        p = q;
        alphaPrev = alphaNext;
    }
    SparkPoint head = sparkPosition(i1, t);
    head.x = head.x + xf;
    const Texel bright{level, 1.0f};
    target.drawLine(Texel{level, alphaPrev}, bright, addAlphaBlend, p.x, p.y, head.x, head.y);

    // The head, and four rays fading towards their tips.
    target.fillEllipse(bright, addAlphaBlend, head.x, head.y, headRadiusX, headRadiusY);
    const Texel tip{level, 0.0f};
    const SparkPoint tips[4] = {{head.x + rayLength, head.y},
                                {head.x, head.y + rayLength},
                                {head.x - rayLength, head.y},
                                {head.x, head.y - rayLength}};
    for (const SparkPoint& r : tips)
        target.drawLine(tip, bright, addAlphaBlend, r.x, r.y, head.x, head.y);
}

// --- Scene ---

void DemoAssets::drawSparkTrail(CellImage&, float t, float, int x, float xf, int length) {
    layer.fill(Texel{0.0f, 0.0f}, copyBlend, x, 0, length, layer.height);
    paintSparkTrail(layer, 1.0f, t, xf);
    canvas.composite(layer, ramps[sparkRamp], 0.0f, overBlend, x, 0, x, 0, length, layer.height);
}
