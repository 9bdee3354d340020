// Rotozoom scene and the rotozoomer. (Filled in with the scene work.)
#include "demo_assets.h"

bool Rotozoomer::build(const Blob& blob, float, std::uint32_t width) {
    return width != 0 &&
           target.allocate(static_cast<int>(width), static_cast<int>(blob.size / width));
}

void Rotozoomer::render(float) {}

void Rotozoomer::release() {
    delete[] levels;
    levels = nullptr;
    levelCount = 0;
    target.release();
}

void DemoAssets::drawRotozoom(CellImage&, float, float, int, float, int) {}
