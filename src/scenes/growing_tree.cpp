// Growing tree scene: a tree diagram whose nodes grow in one after another,
// each joined to its parent by an edge that flies up while spinning into place,
// beside a small spinning bar. Lines go through ramp 1, outlines through ramp 2.
#include "growing_tree.h"

#include "console_grid.h"
#include "demo_assets.h"
#include "imaging/det_math.h"

#include <cmath>

namespace {

// --- Constant tables ---

// Growth per second: a node takes 1.25 s to grow.
constexpr float growthRate = 0.8f;
// Radians an edge is turned by when it starts to grow.
constexpr float edgeSpin = 12.0f;
// Rows an edge's centre starts below its place.
constexpr float edgeDrop = 50.0f;
constexpr int maxDepth = 32;
constexpr int lineRamp = 1;
constexpr int nodeRamp = 2;
// The spinning bar's turn rate (radians per second) and its pivot.
constexpr float barSpin = 3.0f;
constexpr float barColumn = 38.0f;
constexpr float barRow = 45.0f;

} // namespace

const TreeNode treeTable[treeNodeCount] = {
    {1, 75, 45, 3, 32.5f},    {2, 85, 30, 2, 35},         {3, 100, 40, 4, 36.25f},
    {1, 140, 32, 5, 40},      {2, 150, 10, 2, 41.25f},    {2, 158, 45, 3, 41.25f},
    {2, 165, 20, 4, 42.5f},   {3, 175, 10, 2, 43.75f},    {4, 160, 5, 1.5f, 45},
    {4, 200, 2.5f, 1.5f, 45}, {4, 185, 15, 1.5f, 45},     {3, 190, 40, 4, 43.75f},
    {4, 220, 35, 9, 45},      {5, 200, 20, 3, 46.25f},    {6, 195, 30, 1.5f, 47.5f},
    {6, 215, 12, 2, 47.5f},   {7, 230, 20, 1.5f, 48.75f}, {7, 225, 7, 1.5f, 48.75f},
    {5, 250, 35, 5, 50},      {6, 255, 20, 3, 50},        {6, 270, 45, 2.5f, 52.5f},
    {7, 265, 30, 2, 52.5f},   {8, 280, 25, 1.5f, 55},     {5, 250, 10, 3, 50},
    {6, 240, 5, 1, 50},       {6, 270, 15, 2, 52.5f},     {6, 275, 5, 4, 52.5f},
    {7, 295, 10, 3, 55.625f}, {8, 315, 5, 1.5f, 56.25f},  {8, 300, 25, 2.5f, 56.25f},
    {9, 285, 40, 2, 56.875f}, {9, 310, 35, 2, 57.5f},     {10, 315, 45, 1.5f, 57.5f},
};

float treeGrowth(const TreeNode& node, float t) {
    float r = growthRate * (t - node.appearTime);
    if (r < 0)
        r = 0;
    else if (r > 1)
        r = 1;
    return r * (2 - r);
}

void findTreeParents(int parents[treeNodeCount]) {
    // The latest row seen at each depth; a row's parent is the latest one
    // level shallower.
    int latest[maxDepth];
    for (int& row : latest)
        row = -1;
    for (int i = 0; i < treeNodeCount; ++i) {
        const int depth = treeTable[i].depth;
        parents[i] = -1;
        if (depth < 0 || depth >= maxDepth)
            continue;
        latest[depth] = i;
        if (depth > 0)
            parents[i] = latest[depth - 1];
    }
}

void drawTreeEdges(Texture& target, float level, float t, float xf) {
    int parents[treeNodeCount];
    findTreeParents(parents);
    for (int i = 0; i < treeNodeCount; ++i) {
        if (parents[i] < 0)
            continue;
        const TreeNode& n = treeTable[i];
        const TreeNode* p = &treeTable[parents[i]];
        const float g = treeGrowth(n, t);
        const float ig = 1 - g;

        // From the point of the parent's outline facing the child to the point
        // of the child's outline facing the parent.
        const float dx = n.x - p->x;
        const float dy = n.y - p->y;
        const float len = std::sqrt(dx * dx + dy * dy);
        const float ux = cellAspect * dx / len;
        const float uy = dy / len;
        const float ax = p->x + p->radius * ux;
        const float ay = p->y + p->radius * uy;
        const float bx = n.x - n.radius * ux;
        const float by = n.y - n.radius * uy;
        const float hx = (bx - ax) / 2;
        const float hy = (by - ay) / 2;
        const float h = std::sqrt(hx * hx + hy * hy);
        const float d = 2 * h;

        // Ungrown, the edge sits below the screen, turned by the whole spin.
        const float cx = (d + bx) * ig + (ax + bx) * g / 2;
        const float cy = (ay + by) * g / 2 + (d + edgeDrop) * ig;
        const float a = detmath::atan2(hy, hx) + edgeSpin * ig;
        const float ex = h * detmath::cos(a);
        const float ey = h * detmath::sin(a);
        const Texel stroke{level, g};
        target.drawLine(stroke, stroke, addAlphaBlend, xf + cx - ex, cy - ey, xf + cx + ex,
                        cy + ey);
    }
}

void drawTreeNodes(Texture& target, float level, float t, float xf) {
    for (const TreeNode& n : treeTable) {
        const float g = treeGrowth(n, t);
        target.drawEllipseOutline(Texel{level, g}, addAlphaBlend, xf + n.x, n.y,
                                  cellAspect * g * n.radius, g * n.radius);
    }
}

// --- Scene ---

void DemoAssets::drawGrowingTree(CellImage&, float t, float, int x, float xf, int length) {
    const Texel clear{1.0f, 0.0f};
    const Texel ink{0.0f, 1.0f};
    const float s = detmath::sin(barSpin * t);
    const float c = detmath::cos(barSpin * t);
    // Only the layer's columns and rows over the canvas are composited, so only
    // those are cleared; what is drawn beyond them is never read.
    const int shown = length < canvas.width - x ? length : canvas.width - x;

    // Pass 1: the lines, shown through ramp 1.
    layer.fill(clear, copyBlend, x, 0, shown, canvas.height);
    layer.drawLine(ink, ink, addAlphaBlend, xf + 12.5f, 48.5f, xf + 14.5f, 49.0f);
    layer.drawLine(ink, ink, addAlphaBlend, xf + barColumn - 4 * c, barRow - 3.3f * s,
                   xf + barColumn + 5 * c, barRow + 4.2f * s);
    drawTreeEdges(layer, 0.0f, t, xf);
    canvas.composite(layer, ramps[lineRamp], 0.1f, overBlend, x, 0, x, 0, length, layer.height);

    // Pass 2: the outlines, shown through ramp 2.
    layer.fill(clear, copyBlend, x, 0, shown, canvas.height);
    layer.drawEllipseOutline(ink, addAlphaBlend, xf + barColumn - 5 * c, barRow - 4.2f * s, 1.0f,
                             1.0f);
    layer.drawEllipseOutline(ink, addAlphaBlend, xf + barColumn + 6 * c, barRow + 5 * s, 1.0f,
                             1.0f);
    drawTreeNodes(layer, 0.0f, t, xf);
    canvas.composite(layer, ramps[nodeRamp], 0.1f, overBlend, x, 0, x, 0, length, layer.height);
}
