// The cloud mask scene: the noise cloud's layers and their draws from the
// shared generator, the render window, and how the scene scrolls the cloud and
// its mask onto the canvas.
#include "canvas_scene_fixture.h"
#include "imaging/shared_random.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool sameTexels(const Texture& a, const Texture& b) {
    return a.width == b.width && a.height == b.height &&
           std::memcmp(a.texels, b.texels, sizeof(Texel) * a.width * a.height) == 0;
}

} // namespace

TEST(NoiseCloud, BuildsFourLayersFromExactly768DrawsTheSameEveryRun) {
    const std::uint32_t saved = sharedRandomState();
    setSharedRandomState(1);
    NoiseCloud first;
    ASSERT_TRUE(first.build(512, 64, 16, 1.0f));
    const std::uint32_t after = sharedRandomState();
    setSharedRandomState(1);
    for (int i = 0; i < 768; ++i)
        sharedRandom();
    EXPECT_EQ(after, sharedRandomState());

    setSharedRandomState(1);
    NoiseCloud second;
    ASSERT_TRUE(second.build(512, 64, 16, 1.0f));
    const int widths[4] = {32, 32, 64, 64};
    const float weights[4] = {0.3f, 0.3f, 0.2f, 0.2f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(first.layers[i].width, widths[i]);
        EXPECT_EQ(first.layers[i].height, 4);
        EXPECT_TRUE(sameTexels(first.layers[i], second.layers[i])) << i;
        const Texel& t = first.layers[i].at(5, 2);
        EXPECT_NEAR(t.level, weights[i] * t.alpha, 1e-6f) << i;
    }
    EXPECT_EQ(first.target.width, 512);
    EXPECT_EQ(first.target.height, 64);
    EXPECT_FALSE(second.build(512, 64, 0, 1.0f));
    setSharedRandomState(saved);
    first.release();
    second.release();
}

TEST(NoiseCloud, RendersOnlyTheClippedColumnsAndSumsAllFourLayers) {
    NoiseCloud cloud;
    ASSERT_TRUE(cloud.build(512, 64, 16, 1.0f));
    const float constants[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    for (int i = 0; i < 4; ++i)
        cloud.layers[i].fill(Texel{constants[i], 1.0f}, copyBlend, 0, 0, 64, 4);
    struct Window {
        int x, first, last;
    };
    for (const Window& w : {Window{300, 300, 379}, Window{-70, 0, 9}, Window{0, 0, 79}}) {
        cloud.target.fill(Texel{-1.0f, 0.25f}, copyBlend, 0, 0, 512, 64);
        cloud.render(1.3f, w.x, 0, 80, 64);
        for (int c = 0; c < 512; ++c) {
            const bool inside = c >= w.first && c <= w.last;
            EXPECT_NEAR(cloud.target.at(c, 37).level, inside ? 1.0f : -1.0f, 1e-6f) << c;
            EXPECT_EQ(cloud.target.at(c, 37).alpha, 0.25f);
        }
    }
    cloud.release();
}

using CloudMaskScene = CanvasScene;

TEST_F(CloudMaskScene, CloudAndMaskScrollTogetherOverTheBackdrop) {
    // The mask is open in one cloud column only; its screen column is
    // maskColumn + x.
    const int maskColumn = 305;
    assets.cloudMask.fill(Texel{1.0f, 0.0f}, copyBlend, 0, 0, 512, 64);
    assets.cloudMask.fill(Texel{1.0f, 1.0f}, copyBlend, maskColumn, 0, 1, 64);
    for (int x : {-300, -250}) {
        assets.canvas.fill(ShadePixel{markerLevel, marker}, copyBlend, 0, 0, 80, 50);
        assets.drawCloudMask(console, 30.0f, 0.01f, x, static_cast<float>(x) - 0.3f, 360);
        const int screen = maskColumn + x;
        for (int y = 0; y < 50; ++y) {
            for (int c = 0; c < 80; ++c) {
                if (c == screen) {
                    EXPECT_EQ(assets.canvas.at(c, y).level,
                              assets.noiseCloud.target.at(maskColumn, y).level);
                    EXPECT_EQ(assets.canvas.at(c, y).ramp, assets.ramps[0]);
                } else {
                    EXPECT_TRUE(unchanged(c, y)) << x << ": " << c << "," << y;
                }
            }
        }
    }
}

TEST_F(CloudMaskScene, EnteringFromTheRightFillsOnlyItsColumns) {
    // At x = 70 cloud columns 0..9 land on screen columns 70..79.
    assets.cloudMask.fill(Texel{1.0f, 0.5f}, copyBlend, 0, 0, 512, 64);
    assets.drawCloudMask(console, 4.1f, 0.01f, 70, 70.0f, 360);
    for (int c = 0; c < 80; ++c) {
        const ShadePixel& p = assets.canvas.at(c, 20);
        if (c < 70) {
            EXPECT_TRUE(unchanged(c, 20)) << c;
        } else {
            const float cloud = assets.noiseCloud.target.at(c - 70, 20).level;
            EXPECT_NEAR(p.level, 0.5f * markerLevel + 0.5f * cloud, 1e-6f) << c;
            EXPECT_EQ(p.ramp, assets.ramps[0]);
        }
    }
}
