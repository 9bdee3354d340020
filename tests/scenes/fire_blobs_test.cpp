// The fire and blobs scene: the heat rise and its display, the fire at long
// frame times, the blob walks and their blend, and where the scene puts its cells.
#include "canvas_scene_fixture.h"
#include "imaging/shared_random.h"
#include "scenes/demo_assets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Draws n values from the shared generator and returns its state afterwards.
std::uint32_t stateAfterDraws(std::uint32_t state, int n) {
    setSharedRandomState(state);
    for (int i = 0; i < n; ++i)
        sharedRandom();
    return sharedRandomState();
}

void expectHeatInUnitRange(const FireField& fire) {
    for (int i = 0; i < 256 * 32; ++i)
        ASSERT_TRUE(fire.heat.texels[i].alpha >= 0.0f && fire.heat.texels[i].alpha <= 1.0f) << i;
}

// A 256 x 32 fire field, built.
class BuiltFire : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(fire.build(256, 32)); }
    FireField fire;
};

} // namespace

// --- Fire field ---

TEST_F(BuiltFire, HeatRisesOneRowPerFrameWithNoWrapAtTheEdges) {
    for (int c = 0; c < 256; ++c)
        fire.heat.at(c, 2).alpha = 1.0f;
    fire.heat.at(255, 11).alpha = 1.0f;
    fire.update(0.01f); // keep 0.798, up 0.14, side 0.03
    // Row 1 took its share from row 2 before row 2 changed; row 0 saw row 1's
    // old (zero) heat.
    EXPECT_NEAR(fire.heat.at(100, 1).alpha, 0.2f, 1e-6f);
    EXPECT_EQ(fire.heat.at(100, 0).alpha, 0.0f);
    EXPECT_NEAR(fire.heat.at(100, 2).alpha, 0.798f, 1e-6f);
    // The edge columns have one diagonal neighbour only.
    EXPECT_NEAR(fire.heat.at(0, 1).alpha, 0.17f, 1e-6f);
    EXPECT_NEAR(fire.heat.at(255, 1).alpha, 0.17f, 1e-6f);
    EXPECT_NEAR(fire.heat.at(255, 10).alpha, 0.14f, 1e-6f);
    EXPECT_NEAR(fire.heat.at(254, 10).alpha, 0.03f, 1e-6f);
    EXPECT_EQ(fire.heat.at(0, 10).alpha, 0.0f);
    EXPECT_EQ(fire.heat.at(7, 31).level, 1.0f);
}

TEST_F(BuiltFire, DisplayMapsHeatThroughASteepParabola) {
    for (int r = 0; r < 31; ++r)
        for (int c = 0; c < 256; ++c)
            fire.heat.at(c, r).alpha = r < 10 ? 0.5f : r < 20 ? 0.3f : 0.6f;
    // A zero frame time leaves the heat as it is (only the seed row changes).
    fire.update(0.0f);
    EXPECT_EQ(fire.heat.at(50, 9).alpha, 0.5f);
    EXPECT_EQ(fire.display.at(50, 0).alpha, 0.625f);
    // Out of range values stay for the composite to clamp.
    EXPECT_NEAR(fire.display.at(50, 15).alpha, -0.255f, 1e-6f);
    EXPECT_NEAR(fire.display.at(50, 30).alpha, 1.23f, 1e-6f);
    EXPECT_EQ(fire.display.at(50, 30).level, 1.0f);
    // The seed row never shows.
    EXPECT_EQ(fire.display.at(50, 31).alpha, 0.0f);
}

TEST_F(BuiltFire, LongFramesStayBoundedAndBurnLikeShortOnes) {
    // At five frames per second a single step would have a keep weight of
    // about -3 and the heat would explode.
    for (int frame = 0; frame < 100; ++frame)
        fire.update(0.2f);
    expectHeatInUnitRange(fire);
    EXPECT_GT(fire.heat.at(128, 0).alpha, 0.0f); // the fire reached the top

    // A frame of 0.08 s burns exactly like two frames of 0.04 s.
    FireField once, twice;
    ASSERT_TRUE(once.build(256, 32));
    ASSERT_TRUE(twice.build(256, 32));
    const std::uint32_t start = sharedRandomState();
    once.update(0.08f);
    const std::uint32_t afterOnce = sharedRandomState();
    setSharedRandomState(start);
    twice.update(0.04f);
    twice.update(0.04f);
    EXPECT_EQ(sharedRandomState(), afterOnce);
    for (int i = 0; i < 256 * 32; ++i) {
        ASSERT_EQ(once.heat.texels[i].alpha, twice.heat.texels[i].alpha) << i;
        ASSERT_EQ(once.display.texels[i].alpha, twice.display.texels[i].alpha) << i;
    }

    // Up to 0.04 s a frame is one step, one seed row of 256 draws. A stall of
    // minutes is at most 50 steps; infinite, NaN or negative times do no harm.
    std::uint32_t before = sharedRandomState();
    fire.update(0.04f);
    EXPECT_EQ(sharedRandomState(), stateAfterDraws(before, 256));
    before = sharedRandomState();
    fire.update(600.0f);
    EXPECT_EQ(sharedRandomState(), stateAfterDraws(before, 50 * 256));
    fire.update(std::numeric_limits<float>::infinity());
    fire.update(std::numeric_limits<float>::quiet_NaN());
    fire.update(-1.0f);
    expectHeatInUnitRange(fire);
}

// --- Blob swarm ---

TEST(BlobSwarm, WalksStayInsideTheMarginsInStepsOfAtMostTwenty) {
    setSharedRandomState(1);
    BlobSwarm blobs;
    ASSERT_TRUE(blobs.build(256, 32, 8));
    EXPECT_EQ(sharedRandomState(), stateAfterDraws(1, 1024));
    // The first chain starts from the generator's first two values, x first.
    EXPECT_NEAR(blobs.points[0].x, 41.0f * 236.0f / 32767.0f + 10.0f, 1e-5f);
    EXPECT_NEAR(blobs.points[0].y, 18467.0f * 12.0f / 32767.0f + 10.0f, 1e-5f);
    bool moved = false;
    for (std::uint32_t i = 0; i < 8 * 64; ++i) {
        const BlobPoint& p = blobs.points[i];
        ASSERT_TRUE(p.x >= 10.0f && p.x <= 246.0f && p.y >= 10.0f && p.y <= 22.0f) << i;
        if (i >= 8) {
            const BlobPoint& previous = blobs.points[i - 8];
            ASSERT_LE(std::fabs(p.x - previous.x), 20.0f) << i;
            ASSERT_LE(std::fabs(p.y - previous.y), 20.0f) << i;
            moved = moved || p.x != previous.x;
        }
    }
    EXPECT_TRUE(moved);
}

TEST(BlobSwarm, BlobsFollowAQuadraticBSplineThroughTheirWalks) {
    BlobSwarm blobs;
    ASSERT_TRUE(blobs.build(256, 32, 2));
    // Chain 0 at x = step, chain 1 at y = 100 + step.
    for (std::uint32_t s = 0; s < 64; ++s) {
        blobs.points[s * 2] = BlobPoint{static_cast<float>(s), 0.0f};
        blobs.points[s * 2 + 1] = BlobPoint{0.0f, 100.0f + static_cast<float>(s)};
    }
    // 110.1 s: weights 0.32, 0.66, 0.02 on steps 0, 1 and 2.
    EXPECT_NEAR(blobs.centreAt(110.1f, 0).x, 0.66f + 0.04f, 1e-5f);
    EXPECT_NEAR(blobs.centreAt(110.1f, 1).y, 100.0f + 0.66f + 0.04f, 1e-4f);
    // 135.99 s reads steps 51, 52 and 53 (f = 0.98): 51.5 + f, no wrap yet.
    EXPECT_NEAR(blobs.centreAt(135.99f, 0).x, 52.48f, 1e-3f);
    // Later, earlier and far outside, the steps wrap round the 64 points.
    EXPECT_NEAR(blobs.centreAt(141.5f, 0).x, 0.5f * 63.0f, 1e-4f);
    EXPECT_NEAR(blobs.centreAt(109.5f, 0).x, 0.5f * 63.0f, 1e-4f);
    for (float t : {1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_NEAR(blobs.centreAt(t, 0).x, 0.5f, 1e-6f);
}

TEST(BlobSwarm, RenderClearsAndAddsOverlappingBlobs) {
    BlobSwarm blobs;
    ASSERT_TRUE(blobs.build(256, 32, 2));
    for (std::uint32_t i = 0; i < 2 * 64; ++i)
        blobs.points[i] = BlobPoint{50.0f, 16.0f};
    blobs.render(120.0f);
    blobs.render(120.3f);
    // Two blobs on one spot: alphas add (0.995 each at the centre texel),
    // and the previous frame's blobs are gone.
    EXPECT_NEAR(blobs.texture.at(50, 16).alpha, 1.99f, 1e-5f);
    EXPECT_EQ(blobs.texture.at(30, 16).alpha, 0.0f);
    EXPECT_EQ(blobs.texture.at(70, 16).alpha, 0.0f);
}

// --- The scene ---

namespace {

struct FireScene : BuiltScene {
    void expectRampCell(int x, int y, int ramp) {
        const ShadePixel& pixel = assets.canvas.at(x, y);
        EXPECT_EQ(pixel.ramp, assets.ramps[ramp]) << x << "," << y;
        const Cell expected = pixel.ramp->cells[static_cast<int>(pixel.level * 255.0)];
        EXPECT_EQ(console.at(x, y).character, expected.character) << x << "," << y;
        EXPECT_EQ(console.at(x, y).attributes, expected.attributes) << x << "," << y;
    }
};

} // namespace

TEST_F(FireScene, FireFromRow21ClampedAndBlobsOverTheTop) {
    // Heat 0.5, 0.3 and 0.6 in texture columns 0..19, 20..39, 40..59; every
    // blob on texture column 70, which shows at screen column 60.
    for (int r = 0; r < 31; ++r)
        for (int c = 0; c < 60; ++c)
            assets.fire.heat.at(c, r).alpha = c < 20 ? 0.5f : c < 40 ? 0.3f : 0.6f;
    for (std::uint32_t i = 0; i < assets.blobs.chainCount * 64; ++i)
        assets.blobs.points[i] = BlobPoint{70.0f, 16.0f};
    assets.drawFireAndBlobs(console, 120.0f, 0.0f, -10, -10.2f, 180);
    for (int y = 21; y < 50; ++y) {
        EXPECT_EQ(assets.canvas.at(0, y).level, 0.625f) << y;
        EXPECT_EQ(assets.canvas.at(20, y).level, 0.0f) << y;
        EXPECT_EQ(assets.canvas.at(40, y).level, 1.0f) << y;
        expectRampCell(0, y, 4);
        expectRampCell(40, y, 4);
    }
    // Above the fire the dark fill; eight merged blobs saturate their centre.
    EXPECT_EQ(assets.canvas.at(0, 20).level, 0.0f);
    expectRampCell(0, 5, 4);
    EXPECT_EQ(assets.canvas.at(60, 16).level, 1.0f);
    expectRampCell(60, 16, 5);
}

TEST_F(FireScene, EdgeArtClosesTheRightEndAndNothingPastItIsTouched) {
    // Edge art: "E" with its column in the attributes, transparent (".") on row 0.
    ASSERT_TRUE(assets.fireEdgeArt.allocate(10, 50));
    for (int i = 0; i < 10 * 50; ++i)
        assets.fireEdgeArt.cells[i] = Cell{static_cast<std::uint16_t>(i < 10 ? '.' : 'E'),
                                           static_cast<std::uint16_t>(i % 10)};
    for (std::uint32_t i = 0; i < assets.blobs.chainCount * 64; ++i)
        assets.blobs.points[i] = BlobPoint{246.0f, 10.0f};
    // Scrolled 120 columns: the scene ends at screen column 59.
    assets.drawFireAndBlobs(console, 122.0f, 0.01f, -120, -120.5f, 180);
    for (int x = 50; x < 60; ++x) {
        EXPECT_EQ(console.at(x, 1).character, 'E');
        EXPECT_EQ(console.at(x, 49).attributes, x - 50);
        expectRampCell(x, 0, 4);
    }
    for (int y = 0; y < 50; ++y)
        for (int x = 60; x < 80; ++x)
            ASSERT_EQ(console.at(x, y).character, '#') << x << "," << y;
    expectRampCell(0, 0, 4);
}
