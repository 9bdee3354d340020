// The smoothstep-weighted sampler: exact texels at whole positions, the weights
// between them, and wrapping both ways.
#include "imaging/texture.h"

#include <gtest/gtest.h>

TEST(SampleSmooth, WholePositionsReturnTheTexelAndNegativePositionsWrap) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(32, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 32; ++x)
            texture.at(x, y) = Texel{static_cast<float>(x) / 32.0f, static_cast<float>(y) / 4.0f};
    Texel out;
    texture.sampleSmooth(out, 3.0f / 32.0f, 2.0f / 4.0f);
    EXPECT_EQ(out.level, 3.0f / 32.0f);
    EXPECT_EQ(out.alpha, 0.5f);
    // One row above the top is the bottom row; one column left is column 31.
    texture.sampleSmooth(out, -1.0f / 32.0f, -0.25f);
    EXPECT_EQ(out.level, 31.0f / 32.0f);
    EXPECT_EQ(out.alpha, 0.75f);
}

TEST(SampleSmooth, SmoothstepWeightsBetweenNeighbours) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(32, 4));
    texture.at(31, 0).level = 1.0f;
    texture.at(0, 0).level = 0.0f;
    Texel out;
    // fx = -0.032: column 31 weighs 1 - smoothstep(0.968) = 0.003.
    texture.sampleSmooth(out, -0.001f, 0.0f);
    EXPECT_NEAR(out.level, 0.003f, 1e-4f);
    // Halfway the weights are equal; a quarter of the way, 0.15625 (not 0.25).
    texture.at(1, 0).level = 1.0f;
    texture.sampleSmooth(out, 0.5f / 32.0f, 0.0f);
    EXPECT_EQ(out.level, 0.5f);
    texture.sampleSmooth(out, 0.25f / 32.0f, 0.0f);
    EXPECT_EQ(out.level, 0.15625f);
    // Down the rows the same weights apply.
    texture.sampleSmooth(out, 1.0f / 32.0f, 0.25f / 4.0f);
    EXPECT_EQ(out.level, 0.84375f);
}
