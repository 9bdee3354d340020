// Sky windows scene. (Filled in with the scene work.)
#include "demo_assets.h"

void DemoAssets::drawSkyWindows(CellImage&, float, float, int, float, int) {}
