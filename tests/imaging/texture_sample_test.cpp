// Texture sampling: the wrapping bilinear sampler and the stepped sampled fill.
#include "imaging/texture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

// A 4 x 2 texture: row 0 levels 0.1 .. 0.4, row 1 levels 0.5 .. 0.8; alpha = 1 - level.
void makeStripes(Texture& texture) {
    ASSERT_TRUE(texture.allocate(4, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const float level = 0.1f * static_cast<float>(1 + x + 4 * y);
            texture.at(x, y) = Texel{level, 1.0f - level};
        }
}

// Distinct levels everywhere, so a wrong texel shows.
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
    makeStripes(texture);
    Texel out;
    // px = -1 is column 3 exactly, with nothing of its neighbours.
    texture.sample(out, -0.25f, 0.0f);
    expectSameTexel(out, texture.at(3, 0));
    // u = 1 is u = 0.
    Texel atZero;
    texture.sample(out, 1.0f, 0.0f);
    texture.sample(atZero, 0.0f, 0.0f);
    expectSameTexel(out, atZero);
    expectSameTexel(out, texture.at(0, 0));
    // Far outside, and v wrapping too: row -1 is row 1.
    texture.sample(out, -100.25f, -0.5f);
    expectSameTexel(out, texture.at(3, 1));
    texture.sample(out, 7.5f, 3.0f);
    expectSameTexel(out, texture.at(2, 0));
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

    // Halfway between two texels of a row is their average; a quarter of the
    // way is weighted 3:1.
    Texture stripes;
    makeStripes(stripes);
    stripes.sample(out, 0.5f / 4.0f, 0.0f);
    EXPECT_FLOAT_EQ(out.level, 0.15f);
    EXPECT_FLOAT_EQ(out.alpha, 0.85f);
    stripes.sample(out, 0.0625f, 0.125f);
    EXPECT_FLOAT_EQ(out.level,
                    0.75f * (0.75f * 0.1f + 0.25f * 0.2f) + 0.25f * (0.75f * 0.5f + 0.25f * 0.6f));
    // Between the last column and the first, across the wrap.
    stripes.sample(out, 0.875f, 0.0f);
    EXPECT_FLOAT_EQ(out.level, 0.25f);
}

TEST(TextureSample, ExtremeCoordinatesStayInsideTheTexture) {
    // Beyond the integer range, infinite or NaN: the result is meaningless but
    // every read stays inside the texels (the sanitizer build watches this).
    Texture texture;
    makeStripes(texture);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float extremes[] = {3e9f, -3e9f, 1e30f, -1e30f, inf, -inf, nan, 2147483520.0f};
    Texel out;
    for (float u : extremes)
        for (float v : extremes)
            texture.sample(out, u, v);
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
    EXPECT_EQ(destination.at(127, 127).alpha, source.at(127, 127).alpha);

    // The same walk through defaultBlend takes only the alphas.
    Texture alphaOnly;
    ASSERT_TRUE(alphaOnly.allocate(128, 128));
    alphaOnly.fill(Texel{0.25f, 0.0f}, copyBlend, 0, 0, 128, 128);
    alphaOnly.fillSampled(source, defaultBlend, 0.0f, 0.0f, 1.0f, 1.0f, 0, 0, 128, 128);
    EXPECT_EQ(alphaOnly.at(5, 100).level, 0.25f);
    EXPECT_EQ(alphaOnly.at(5, 100).alpha, source.at(5, 100).alpha);
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
    // A sample between texels really happened (not a copy of a single texel).
    EXPECT_NE(whole.at(1, 0).level, whole.at(0, 0).level);
}

TEST(TextureFillSampled, EmptyOrClippedAwayRectanglesChangeNothing) {
    Texture source, destination;
    makeNumbered(source, 4, 4);
    ASSERT_TRUE(destination.allocate(4, 4));
    destination.fill(Texel{0.5f, 0.5f}, copyBlend, 0, 0, 4, 4);
    destination.fillSampled(source, copyBlend, 0, 0, 1, 1, 4, 0, 4, 4);
    destination.fillSampled(source, copyBlend, 0, 0, 1, 1, -4, 0, 4, 4);
    destination.fillSampled(source, copyBlend, 0, 0, 1, 1, 0, 0, 0, 4);
    destination.fillSampled(source, copyBlend, 0, 0, 1, 1, 0, 0, 4, -1);
    destination.fillSampled(source, copyBlend, 0, 0, 1, 1, INT32_MIN, INT32_MIN, 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            expectSameTexel(destination.at(x, y), Texel{0.5f, 0.5f});
}
