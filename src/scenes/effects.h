// The effect objects that belong to single scenes: the noise cloud (cloud mask
// scene), the rotozoomer, the fire field and the blob swarm. Each is built once
// at start-up and only redrawn afterwards.
#pragma once

#include "imaging/blob.h"
#include "imaging/texture.h"

#include <cstdint>

// --- Noise cloud ---

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

// --- Rotozoomer ---

class Rotozoomer {
  public:
    Rotozoomer() = default;
    Rotozoomer(const Rotozoomer&) = delete;
    Rotozoomer& operator=(const Rotozoomer&) = delete;
    ~Rotozoomer() { release(); }

    // Level 0 from the byte map, each further level half the size of the last.
    bool build(const Blob& blob, float alpha, std::uint32_t width);
    // Writes the view at music time t into target's top-left 80 x 50 texels.
    // Any t is safe: outside the path's range the view holds its start or end.
    void render(float t);
    // The level read at a zoom (texture widths across 80 columns): level 0
    // below 2, level 1 from 2 to 4 and so on, the last level at most.
    std::uint32_t levelFor(float zoom) const;
    void release();

    Texture target;            // 128 x 128; the view is its top-left 80 x 50
    Texture* levels = nullptr; // owned array: level n is the picture at 1/2^n size
    std::uint32_t levelCount = 0;
};

// --- Fire field ---

// Heat rising from a random seed row at the bottom. Draws one random value
// per column for every step it takes.
class FireField {
  public:
    // Both textures width x height, level 1 and alpha 0.
    bool build(int width, int height);
    // Advances the heat by dt seconds and maps it for display. Frames longer
    // than 0.04 s advance in equal steps of at most 0.04 s (at most 50 of
    // them), each with its own seed row, so the fire is the same at any frame
    // rate and never blows up.
    void update(float dt);
    void release();

    Texture display; // level 1, alpha = 5.5 heat^2 - 0.75 (unclamped); bottom row 0
    Texture heat;    // heat in the alphas; the levels are not used

  private:
    // One seed row and one rise of the heat by dt seconds (dt <= 0.04).
    void step(float dt);
};

// --- Blob swarm ---

struct BlobPoint {
    float x = 0;
    float y = 0;
};

class BlobSwarm {
  public:
    BlobSwarm() = default;
    BlobSwarm(const BlobSwarm&) = delete;
    BlobSwarm& operator=(const BlobSwarm&) = delete;
    ~BlobSwarm() { release(); }

    // Random walks of 64 steps per chain, 10 texels inside the texture's
    // edges; draws 2 values per point (x first).
    bool build(int width, int height, std::uint32_t chains);
    // Where blob `chain` is at music time t: a B-spline through its walk,
    // two points per second from 110 s, wrapping after 64 points.
    BlobPoint centreAt(float t, std::uint32_t chain) const;
    // Clears `texture` and paints the blobs at music time t, alphas adding up.
    void render(float t);
    void release();

    Texture texture;
    BlobPoint* points = nullptr; // step s, chain c at s * chainCount + c; owned
    std::uint32_t chainCount = 0;
};
