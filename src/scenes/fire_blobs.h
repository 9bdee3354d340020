// The fire and wandering blobs scene's effects: the fire field and the blob
// swarm. The scene function itself is DemoAssets::drawFireAndBlobs.
#pragma once

#include "imaging/non_copyable.h"
#include "imaging/texture.h"

#include <cstdint>

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

class BlobSwarm : NonCopyable {
  public:
    BlobSwarm() = default;
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
