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
    // Recomputes the target's levels over the clipped rectangle.
    void render(float angle, int x, int y, int w, int h);
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
    void render(float t);
    void release();

    Texture target;
    Texture* levels = nullptr; // owned array of levelCount textures
    std::uint32_t levelCount = 0;
};

// --- Fire field ---

class FireField {
  public:
    bool build(int width, int height);
    // Advances the heat by dt seconds and maps it for display.
    void update(float dt);
    void release();

    Texture display; // level 1, alpha = heat mapped for display
    Texture heat;    // heat in the alphas
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

    // Random walks of 64 steps per chain; draws 2 values per point.
    bool build(int width, int height, std::uint32_t chains);
    // Paints the blobs at music time t into `texture`.
    void render(float t);
    void release();

    Texture texture;
    BlobPoint* points = nullptr; // step s, chain c at s * chainCount + c; owned
    std::uint32_t chainCount = 0;
};
