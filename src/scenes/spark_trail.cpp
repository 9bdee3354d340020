// Spark trail scene. (Filled in with the scene work.)
#include "demo_assets.h"

void DemoAssets::drawSparkTrail(CellImage&, float, float, int, float, int) {}
