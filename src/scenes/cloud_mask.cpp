// Cloud mask scene: swirling noise seen through a fixed mask. (Filled in with
// the scene work.)
#include "demo_assets.h"

bool NoiseCloud::build(int width, int height, int, float) {
    return target.allocate(width, height);
}

void NoiseCloud::render(float, int, int, int, int) {}

void NoiseCloud::release() {
    for (int i = 3; i >= 0; --i)
        layers[i].release();
    target.release();
}

void DemoAssets::drawCloudMask(CellImage&, float, float, int, float, int) {}
