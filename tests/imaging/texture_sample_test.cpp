// Texture sampling: the wrapping bilinear sampler and the stepped sampled fill.
#include "imaging/texture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

// Distinct levels and alphas everywhere, so a wrong texel shows.
void makeNumbered(Texture& texture, int w, int h) {
    ASSERT_TRUE(texture.allocate(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            texture.at(x, y) = Texel{static_cast<float>(x + w * y) / static_cast<float>(w * h),
                                     static_cast<float>(y) / static_cast<float>(h)};
}

void expectSameTexel(const Texel& actual, const Texel& expected) {
    EXPECT_EQ(actual.level, expected.level);
    EXPECT_EQ(actual.alpha, expected.alpha);
}

} // namespace

TEST(TextureSample, WrapsAroundBothEdges) {
    Texture texture;
    makeNumbered(texture, 4, 2);
    Texel out;
    // px = -1 is column 3 exactly, with nothing of its neighbours.
    texture.sample(out, -0.25f, 0.0f);
    expectSameTexel(out, texture.at(3, 0));
    // u = 1 is u = 0.
    texture.sample(out, 1.0f, 0.0f);
    expectSameTexel(out, texture.at(0, 0));
    // Far outside, and v wrapping too: row -1 is row 1.
    texture.sample(out, -100.25f, -0.5f);
    expectSameTexel(out, texture.at(3, 1));
    // Between the last column and the first, across the wrap.
    texture.sample(out, 0.875f, 0.0f);
    EXPECT_FLOAT_EQ(out.level, (texture.at(3, 0).level + texture.at(0, 0).level) / 2);
}

TEST(TextureSample, BlendsTheFourNeighboursBilinearly) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(2, 2));
    texture.at(0, 0) = Texel{0, 1};
    texture.at(1, 0) = Texel{1, 0};
    texture.at(0, 1) = Texel{1, 0};
    texture.at(1, 1) = Texel{0, 1};
    Texel out;
    texture.sample(out, 0.25f, 0.25f);
    EXPECT_EQ(out.level, 0.5f);
    EXPECT_EQ(out.alpha, 0.5f);
    // Half a texel along the top row averages its first two texels.
    texture.sample(out, 0.25f, 0.0f);
    EXPECT_EQ(out.level, 0.5f);
    // Quarter steps weigh 3:1 on each axis.
    texture.sample(out, 0.125f, 0.125f);
    EXPECT_FLOAT_EQ(out.level, 0.75f * 0.25f + 0.25f * 0.75f);
}

TEST(TextureSample, ExtremeCoordinatesStayInsideTheTexture) {
    // Beyond the integer range, infinite or NaN: the result is meaningless but
    // every read stays inside the texels (the sanitizer build watches this).
    Texture texture;
    makeNumbered(texture, 4, 2);
    const float inf = std::numeric_limits<float>::infinity();
    const float extremes[] = {3e9f, -3e9f, 1e30f,
                              inf,  -inf,  std::numeric_limits<float>::quiet_NaN()};
    Texel out;
    for (float u : extremes)
        for (float v : extremes)
            texture.sample(out, u, v);
    // The last row below the int limit still wraps onto its row.
    texture.sample(out, 0.0f, 2147483520.0f / 2.0f);
    expectSameTexel(out, texture.at(0, 0));
}

TEST(TextureFillSampled, WholeRangeOverTheSameSizeCopiesExactly) {
    Texture source, destination;
    makeNumbered(source, 128, 128);
    ASSERT_TRUE(destination.allocate(128, 128));
    destination.fillSampled(source, copyBlend, 0.0f, 0.0f, 1.0f, 1.0f, 0, 0, 128, 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            ASSERT_EQ(destination.at(x, y).level, source.at(x, y).level) << x << "," << y;
}

TEST(TextureFillSampled, ClippedRectangleMatchesTheUnclippedFill) {
    Texture source;
    makeNumbered(source, 8, 4);
    // Steps of a quarter texel in u and half a texel in v: every sample is bilinear.
    const float u0 = 0.0625f, v0 = 0.125f, u1 = u0 + 16 * 0.03125f, v1 = v0 + 8 * 0.0625f;
    Texture whole, clipped;
    ASSERT_TRUE(whole.allocate(32, 16));
    ASSERT_TRUE(clipped.allocate(32, 16));
    whole.fillSampled(source, copyBlend, u0, v0, u1, v1, 0, 0, 16, 8);
    clipped.fill(Texel{9.0f, 9.0f}, copyBlend, 0, 0, 32, 16);
    clipped.fillSampled(source, copyBlend, u0, v0, u1, v1, -2, -3, 16, 8);
    // The visible part starts 2 columns and 3 rows into the requested rectangle.
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 14; ++x)
            expectSameTexel(clipped.at(x, y), whole.at(x + 2, y + 3));
    EXPECT_EQ(clipped.at(14, 0).level, 9.0f);
    EXPECT_EQ(clipped.at(0, 5).level, 9.0f);
    EXPECT_NE(whole.at(1, 0).level, whole.at(0, 0).level);

    // Rectangles that are empty or clipped away entirely change nothing.
    clipped.fillSampled(source, copyBlend, u0, v0, u1, v1, 32, 0, 4, 4);
    clipped.fillSampled(source, copyBlend, u0, v0, u1, v1, 20, 0, 0, 4);
    clipped.fillSampled(source, copyBlend, u0, v0, u1, v1, INT32_MIN, INT32_MIN, 4, 4);
    for (int x = 14; x < 32; ++x)
        EXPECT_EQ(clipped.at(x, 0).level, 9.0f);
}
