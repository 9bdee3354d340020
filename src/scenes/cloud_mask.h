// The cloud mask scene's effect: the noise cloud it shows through the mask.
// The scene function itself is DemoAssets::drawCloudMask.
#pragma once

#include "imaging/texture.h"

// Four small noise layers, sampled with smoothstep weights over a wide target
// and shifted along a circle by an angle.
class NoiseCloud {
  public:
    // width x height target; layers of (width/divisor) x (height/divisor) and
    // twice as wide. Draws 768 values from the shared random generator.
    bool build(int width, int height, int divisor, float unused = 1.0f);
    // Recomputes the target's levels over the clipped rectangle. With a `mask`
    // at least as large as the target, texels where the mask's alpha is 0 are
    // left as they are (a cloud shown through that mask never shows there).
    void render(float angle, int x, int y, int w, int h, const Texture* mask = nullptr);
    void release();

    Texture target;
    Texture layers[4];
};
