// The growing tree scene's node table and its two painters (edges, then node
// outlines); the scene function itself is DemoAssets::drawGrowingTree.
#pragma once

#include "imaging/texture.h"

// One node of the diagram. x is a column from the scene's left edge, y a row,
// radius in rows; appearTime in seconds of music time. The parent is the
// nearest earlier node one level shallower; depth-1 nodes are roots.
struct TreeNode {
    int depth;
    float x, y;
    float radius;
    float appearTime;
};

constexpr int treeNodeCount = 33;
extern const TreeNode treeTable[treeNodeCount];

// Each row's parent row, or -1 for a root: the latest earlier row one level
// shallower.
void findTreeParents(int parents[treeNodeCount]);
// 0 before the node's appear time, easing out to 1 over the next 1.25 s.
float treeGrowth(const TreeNode& node, float t);

// Every edge, flying up from below the screen and unwinding into place while
// it grows; strokes of the given level with alpha = growth, accumulated.
void drawTreeEdges(Texture& target, float level, float t, float xf);
// Every node's outline, growing from its centre.
void drawTreeNodes(Texture& target, float level, float t, float xf);
