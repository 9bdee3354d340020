// The fire and blobs scene: the heat rise and its display, the fire at long
// frame times, the blob walks and their blend, and where the scene puts its cells.
#include "imaging/shared_random.h"
#include "scenes/demo_assets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

void setHeatRows(FireField& fire, int firstRow, int lastRow, float heat) {
    for (int r = firstRow; r <= lastRow; ++r)
        for (int c = 0; c < fire.heat.width; ++c)
            fire.heat.at(c, r).alpha = heat;
}

// Draws n values from the shared generator and returns its state afterwards.
std::uint32_t stateAfterDraws(std::uint32_t state, int n) {
    setSharedRandomState(state);
    for (int i = 0; i < n; ++i)
        sharedRandom();
    return sharedRandomState();
}

} // namespace

// --- Fire field ---

TEST(FireField, BuildsTwoClearTextures) {
    FireField fire;
    ASSERT_TRUE(fire.build(256, 32));
    for (const Texture* texture : {&fire.display, &fire.heat}) {
        EXPECT_EQ(texture->width, 256);
        EXPECT_EQ(texture->height, 32);
        EXPECT_EQ(texture->at(255, 31).level, 1.0f);
        EXPECT_EQ(texture->at(255, 31).alpha, 0.0f);
    }
    EXPECT_FALSE(fire.build(256, 30));
    EXPECT_EQ(fire.display.texels, nullptr);
    fire.update(0.01f);
}

TEST(FireField, HeatRisesOneRowPerFrameFromTheTopDown) {
    FireField fire;
    ASSERT_TRUE(fire.build(256, 32));
    setHeatRows(fire, 2, 2, 1.0f);
    fire.update(0.01f); // keep 0.798, up 0.14, side 0.03
    // Row 1 took its share from row 2 before row 2 changed; row 0 saw row 1's
    // old (zero) heat.
    EXPECT_NEAR(fire.heat.at(100, 1).alpha, 0.2f, 1e-6f);
    EXPECT_EQ(fire.heat.at(100, 0).alpha, 0.0f);
    EXPECT_NEAR(fire.heat.at(100, 2).alpha, 0.798f, 1e-6f);
    EXPECT_EQ(fire.heat.at(100, 3).alpha, 0.0f);
    // The edge columns have one diagonal neighbour only.
    EXPECT_NEAR(fire.heat.at(0, 1).alpha, 0.17f, 1e-6f);
    EXPECT_NEAR(fire.heat.at(255, 1).alpha, 0.17f, 1e-6f);
    // The seed row is fresh noise, the levels are untouched.
    EXPECT_EQ(fire.heat.at(7, 31).level, 1.0f);
}

TEST(FireField, EdgeColumnsTakeNoShareFromAcrossTheTexture) {
    FireField fire;
    ASSERT_TRUE(fire.build(256, 32));
    fire.heat.at(255, 6).alpha = 1.0f;
    fire.heat.at(0, 11).alpha = 1.0f;
    fire.update(0.01f);
    EXPECT_NEAR(fire.heat.at(255, 5).alpha, 0.14f, 1e-6f);
    EXPECT_NEAR(fire.heat.at(254, 5).alpha, 0.03f, 1e-6f);
    EXPECT_EQ(fire.heat.at(0, 5).alpha, 0.0f);
    EXPECT_NEAR(fire.heat.at(0, 10).alpha, 0.14f, 1e-6f);
    EXPECT_NEAR(fire.heat.at(1, 10).alpha, 0.03f, 1e-6f);
    EXPECT_EQ(fire.heat.at(255, 10).alpha, 0.0f);
}

TEST(FireField, DisplayMapsHeatThroughASteepParabola) {
    FireField fire;
    ASSERT_TRUE(fire.build(256, 32));
    setHeatRows(fire, 0, 9, 0.5f);
    setHeatRows(fire, 10, 19, 0.3f);
    setHeatRows(fire, 20, 30, 0.6f);
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

TEST(FireField, LongFramesStayBoundedAndMatchShortOnes) {
    FireField fire;
    ASSERT_TRUE(fire.build(256, 32));
    // At five frames per second a single step would have a keep weight of
    // about -3 and the heat would explode.
    for (int frame = 0; frame < 100; ++frame)
        fire.update(0.2f);
    float hottest = 0.0f;
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 256; ++c) {
            const float heat = fire.heat.at(c, r).alpha;
            ASSERT_GE(heat, 0.0f) << c << "," << r;
            ASSERT_LE(heat, 1.0f) << c << "," << r;
            hottest = std::max(hottest, heat);
        }
    EXPECT_GT(fire.heat.at(128, 0).alpha, 0.0f); // the fire reached the top
    EXPECT_GT(hottest, 0.3f);

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
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 256; ++c) {
            ASSERT_EQ(once.heat.at(c, r).alpha, twice.heat.at(c, r).alpha) << c << "," << r;
            ASSERT_EQ(once.display.at(c, r).alpha, twice.display.at(c, r).alpha);
        }
}

TEST(FireField, ShortFramesTakeOneStepAndOddFramesDoNoHarm) {
    FireField fire;
    ASSERT_TRUE(fire.build(256, 32));
    // Up to 0.04 s a frame is one step: one seed row of 256 draws.
    std::uint32_t start = sharedRandomState();
    fire.update(0.04f);
    EXPECT_EQ(sharedRandomState(), stateAfterDraws(start, 256));
    // A stall of minutes, an infinite or a NaN frame time: bounded work, finite heat.
    start = sharedRandomState();
    fire.update(600.0f);
    EXPECT_EQ(sharedRandomState(), stateAfterDraws(start, 50 * 256));
    fire.update(std::numeric_limits<float>::infinity());
    fire.update(std::numeric_limits<float>::quiet_NaN());
    fire.update(-1.0f);
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 256; ++c) {
            const float heat = fire.heat.at(c, r).alpha;
            ASSERT_TRUE(heat >= 0.0f && heat <= 1.0f) << c << "," << r;
        }
}

// --- Blob swarm ---

TEST(BlobSwarm, WalksStayInsideTheMarginsInStepsOfAtMostTwenty) {
    setSharedRandomState(1);
    BlobSwarm blobs;
    ASSERT_TRUE(blobs.build(256, 32, 8));
    EXPECT_EQ(sharedRandomState(), stateAfterDraws(1, 1024));
    ASSERT_EQ(blobs.chainCount, 8u);
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
    // 32 s later the walk has wrapped: steps 63, 0 and 1.
    EXPECT_NEAR(blobs.centreAt(141.5f, 0).x, 0.5f * 63.0f, 1e-4f);
    // Before the walk's start and far outside it the steps still wrap safely.
    EXPECT_NEAR(blobs.centreAt(109.5f, 0).x, 0.5f * 63.0f, 1e-4f);
    for (float t : {1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_NEAR(blobs.centreAt(t, 0).x, 0.5f, 1e-6f);
    EXPECT_EQ(blobs.centreAt(120.0f, 2).x, 0.0f); // no such chain
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
    EXPECT_EQ(blobs.texture.at(50, 16).level, 1.0f);
    EXPECT_EQ(blobs.texture.at(30, 16).alpha, 0.0f);
    EXPECT_EQ(blobs.texture.at(70, 16).alpha, 0.0f);
}

// --- The scene ---

namespace {

struct FireScene : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(assets.build());
        ASSERT_TRUE(console.allocate(80, 50));
        for (int i = 0; i < 80 * 50; ++i)
            console.cells[i] = Cell{'#', 0x07};
        // Edge art: "E" with the column in the attributes, "." (transparent) on row 0.
        ASSERT_TRUE(assets.fireEdgeArt.allocate(10, 50));
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 10; ++x)
                assets.fireEdgeArt.at(x, y) = Cell{static_cast<std::uint16_t>(y == 0 ? '.' : 'E'),
                                                   static_cast<std::uint16_t>(x)};
        // Park every blob at the far right end of the walk area.
        for (std::uint32_t i = 0; i < assets.blobs.chainCount * 64; ++i)
            assets.blobs.points[i] = BlobPoint{246.0f, 10.0f};
    }

    Cell rampCell(int ramp, float level) const {
        return assets.ramps[ramp]->cells[static_cast<int>(static_cast<double>(level) * 255)];
    }

    DemoAssets assets;
    CellImage console;
};

void expectCell(const Cell& actual, const Cell& expected) {
    EXPECT_EQ(actual.character, expected.character);
    EXPECT_EQ(actual.attributes, expected.attributes);
}

} // namespace

TEST_F(FireScene, FireShowsFromRow21WithItsDisplayClamped) {
    // Bands of heat 0.5, 0.3 and 0.6 in texture columns 0..19, 20..39, 40..59.
    for (int r = 0; r < 31; ++r)
        for (int c = 0; c < 60; ++c)
            assets.fire.heat.at(c, r).alpha = c < 20 ? 0.5f : c < 40 ? 0.3f : 0.6f;
    assets.drawFireAndBlobs(console, 120.0f, 0.0f, 0, 0.0f, 180);
    const ShadeRamp* fireRamp = assets.ramps[4];
    for (int y = 21; y < 50; ++y) {
        EXPECT_EQ(assets.canvas.at(10, y).level, 0.625f) << y;
        EXPECT_EQ(assets.canvas.at(30, y).level, 0.0f) << y;
        EXPECT_EQ(assets.canvas.at(50, y).level, 1.0f) << y;
        EXPECT_EQ(assets.canvas.at(50, y).ramp, fireRamp);
        expectCell(console.at(10, y), rampCell(4, 0.625f));
        expectCell(console.at(50, y), rampCell(4, 1.0f));
    }
    // Above the fire: the dark fill, untouched by blobs that are elsewhere.
    EXPECT_EQ(assets.canvas.at(10, 20).level, 0.0f);
    EXPECT_EQ(assets.canvas.at(10, 20).ramp, fireRamp);
    expectCell(console.at(10, 5), rampCell(4, 0.0f));
}

TEST_F(FireScene, BlobsDrawOverTheTopWithTheirOwnRamp) {
    for (std::uint32_t i = 0; i < assets.blobs.chainCount * 64; ++i)
        assets.blobs.points[i] = BlobPoint{30.0f, 16.0f};
    assets.drawFireAndBlobs(console, 120.0f, 0.01f, -10, -10.2f, 180);
    // Texture column 30 shows at screen column 20; eight blobs saturate it.
    EXPECT_EQ(assets.canvas.at(20, 16).ramp, assets.ramps[5]);
    EXPECT_EQ(assets.canvas.at(20, 16).level, 1.0f);
    EXPECT_EQ(assets.canvas.at(20, 40).ramp, assets.ramps[4]);
    EXPECT_EQ(assets.canvas.at(60, 16).ramp, assets.ramps[4]);
}

TEST_F(FireScene, EdgeArtClosesTheRightEndAndNothingPastItIsTouched) {
    // Scrolled 120 columns: the scene ends at screen column 59.
    assets.drawFireAndBlobs(console, 122.0f, 0.01f, -120, -120.5f, 180);
    for (int x = 50; x < 60; ++x) {
        expectCell(console.at(x, 1), Cell{'E', static_cast<std::uint16_t>(x - 50)});
        expectCell(console.at(x, 49), Cell{'E', static_cast<std::uint16_t>(x - 50)});
        // The transparent row shows the scene's own cells.
        EXPECT_NE(console.at(x, 0).character, 'E');
    }
    for (int y = 0; y < 50; ++y)
        for (int x = 60; x < 80; ++x)
            expectCell(console.at(x, y), Cell{'#', 0x07});
    expectCell(console.at(0, 0), rampCell(4, assets.canvas.at(0, 0).level));
}
