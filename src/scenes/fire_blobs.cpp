// Fire and wandering blobs scene. (Filled in with the scene work.)
#include "demo_assets.h"

bool FireField::build(int width, int height) {
    return display.allocate(width, height) && heat.allocate(width, height);
}

void FireField::update(float) {}

void FireField::release() {
    heat.release();
    display.release();
}

bool BlobSwarm::build(int width, int height, std::uint32_t chains) {
    chainCount = chains;
    return texture.allocate(width, height);
}

void BlobSwarm::render(float) {}

void BlobSwarm::release() {
    delete[] points;
    points = nullptr;
    chainCount = 0;
    texture.release();
}

void DemoAssets::drawFireAndBlobs(CellImage&, float, float, int, float, int) {}
