// The growing tree scene: node growth, which node each edge hangs from, where
// a grown and a half-grown edge lie, and the two composites of the scene.
#include "canvas_scene_fixture.h"
#include "scenes/growing_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// The facing points of two nodes' outlines, between which a grown edge lies.
struct Facing {
    float ax, ay, bx, by;
};

Facing facing(const TreeNode& parent, const TreeNode& child) {
    const float dx = child.x - parent.x, dy = child.y - parent.y;
    const float len = std::sqrt(dx * dx + dy * dy);
    const float ux = 1.2f * dx / len, uy = dy / len;
    return Facing{parent.x + parent.radius * ux, parent.y + parent.radius * uy,
                  child.x - child.radius * ux, child.y - child.radius * uy};
}

// Alpha-weighted centre and total of a texture's alphas.
struct Ink {
    double x = 0, y = 0, total = 0;
    float most = 0;
};

Ink inkOf(const Texture& texture, const Texture* minus = nullptr) {
    Ink ink;
    for (int y = 0; y < texture.height; ++y)
        for (int x = 0; x < texture.width; ++x) {
            float a = texture.at(x, y).alpha;
            if (minus)
                a -= minus->at(x, y).alpha;
            ink.total += a;
            ink.x += a * x;
            ink.y += a * y;
            ink.most = std::max(ink.most, a);
        }
    ink.x /= ink.total;
    ink.y /= ink.total;
    return ink;
}

} // namespace

TEST(TreeGrowth, NodesGrowOneAfterAnotherWithAnEaseOut) {
    for (const TreeNode& n : treeTable)
        EXPECT_EQ(treeGrowth(n, 32.5f), 0.0f);
    EXPECT_EQ(treeGrowth(treeTable[0], 33.75f), 1.0f);
    EXPECT_EQ(treeGrowth(treeTable[1], 33.75f), 0.0f);
    // Half the time gives three quarters of the growth.
    EXPECT_NEAR(treeGrowth(treeTable[0], 32.5f + 0.625f), 0.75f, 1e-6f);
    EXPECT_EQ(treeGrowth(treeTable[32], 100.0f), 1.0f);
}

TEST(TreeEdges, EachNodeHangsFromTheLatestNodeOneLevelUp) {
    int parents[treeNodeCount];
    findTreeParents(parents);
    // Rows 0 and 3 are roots: row 3 starts a second tree, and rows 4 to 6
    // hang from it rather than from row 0.
    EXPECT_EQ(parents[0], -1);
    EXPECT_EQ(parents[1], 0);
    EXPECT_EQ(parents[2], 1);
    EXPECT_EQ(parents[3], -1);
    for (int row : {4, 5, 6})
        EXPECT_EQ(parents[row], 3) << row;
    // Rows 13, 18 and 23 (depth 5) all hang from row 12, the latest depth 4.
    for (int row : {13, 18, 23})
        EXPECT_EQ(parents[row], 12) << row;
    for (int row : {24, 25, 26})
        EXPECT_EQ(parents[row], 23) << row;
    EXPECT_EQ(parents[22], 21);
    EXPECT_EQ(parents[32], 31);
}

TEST(TreeEdges, AGrownEdgeLiesBetweenTheFacingPoints) {
    // Between 46.25 s and 47.5 s only row 13 grows, so the difference of the
    // two pictures is its edge alone, fading in along row 12 .. row 13.
    Texture before, after;
    ASSERT_TRUE(before.allocate(512, 64));
    ASSERT_TRUE(after.allocate(512, 64));
    drawTreeEdges(before, 0.0f, 46.25f, 7.0f);
    drawTreeEdges(after, 0.0f, 47.5f, 7.0f);
    const Ink edge = inkOf(after, &before);
    const Facing f = facing(treeTable[12], treeTable[13]);
    // One unit of coverage per step along the major axis.
    const float steps = std::max(std::fabs(f.bx - f.ax), std::fabs(f.by - f.ay));
    EXPECT_NEAR(edge.x, 7.0f + (f.ax + f.bx) / 2, 0.3);
    EXPECT_NEAR(edge.y, (f.ay + f.by) / 2, 0.3);
    EXPECT_NEAR(edge.total, steps, 0.5);
}

TEST(TreeEdges, AHalfGrownEdgeIsHalfwayUpAtHalfAlpha) {
    // Row 1 half grown; every other edge is ungrown (alpha 0) or absent.
    const float t = 35.0f + (1.0f - std::sqrt(0.5f)) / 0.8f;
    ASSERT_NEAR(treeGrowth(treeTable[1], t), 0.5f, 1e-5f);
    Texture texture;
    ASSERT_TRUE(texture.allocate(256, 128));
    drawTreeEdges(texture, 0.0f, t, 0.0f);
    const Ink edge = inkOf(texture);
    EXPECT_LE(edge.most, 0.5f + 1e-5f);
    // Halfway between the final centre and the drop position (D + B.x, D + 50),
    // D being the edge's length.
    const Facing f = facing(treeTable[0], treeTable[1]);
    const float d = std::hypot(f.bx - f.ax, f.by - f.ay);
    EXPECT_NEAR(edge.x, ((f.ax + f.bx) / 2 + d + f.bx) / 2, 0.5);
    EXPECT_NEAR(edge.y, ((f.ay + f.by) / 2 + d + 50) / 2, 0.5);
    // Alpha 0.5 per step along the major axis, whichever way the edge is turned.
    EXPECT_LE(edge.total, 0.5 * d + 0.5);
    EXPECT_GE(edge.total, 0.5 * d / std::sqrt(2.0) - 0.5);
}

using GrowingTreeScene = CanvasScene;

TEST_F(GrowingTreeScene, LinesTakeRamp1AndOutlinesRamp2) {
    // t = 60: every node grown. The scene starts at screen column 0.
    assets.drawGrowingTree(console, 60.0f, 0.01f, 0, 0.0f, 320);
    // The spinning bar passes through its pivot (38, 45).
    EXPECT_EQ(assets.canvas.at(38, 45).ramp, assets.ramps[1]);
    EXPECT_LT(assets.canvas.at(38, 45).level, markerLevel);
    // Node 0's outline at (75 + 3.6, 45); its centre is untouched.
    EXPECT_EQ(assets.canvas.at(79, 45).ramp, assets.ramps[2]);
    EXPECT_TRUE(unchanged(75, 45));
    EXPECT_TRUE(unchanged(10, 10));
    // The console cells are left to the resolve row.
    EXPECT_EQ(console.at(38, 45).character, '#');
}
