// Growing tree scene. (Filled in with the scene work.)
#include "demo_assets.h"

void DemoAssets::drawGrowingTree(CellImage&, float, float, int, float, int) {}
