// Texture painting: the texel rule, blits and fills, the noise fill with the
// shared random generator, and the soft elliptical brush.
#include "imaging/shared_random.h"
#include "imaging/texture.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

namespace {

// Puts the shared generator back where it was, so tests do not depend on order.
class RandomStateGuard {
  public:
    RandomStateGuard() : saved(sharedRandomState()) {}
    ~RandomStateGuard() { setSharedRandomState(saved); }

  private:
    std::uint32_t saved;
};

} // namespace

TEST(SharedRandom, StartsWithTheClassicRuntimeSequence) {
    RandomStateGuard guard;
    setSharedRandomState(1);
    EXPECT_EQ(sharedRandom(), 41);
    EXPECT_EQ(sharedRandom(), 18467);
    EXPECT_EQ(sharedRandom(), 6334);
    EXPECT_EQ(sharedRandom(), 26500);
}

TEST(BlendApply, OverBlendMixesLevelByAlphaAndTakesTheAlpha) {
    Texel d{0.0f, 0.5f};
    overBlend.apply(d, Texel{1.0f, 0.25f});
    EXPECT_EQ(d.level, 0.25f);
    EXPECT_EQ(d.alpha, 0.25f);
}

TEST(TexturePaint, FillAndBlitTouchOnlyWhatTheirBlendSays) {
    Texture dest;
    ASSERT_TRUE(dest.allocate(8, 4));
    dest.fill(Texel{1.0f, 0.0f}, copyBlend, 0, 0, 8, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(dest.at(x, y).level, 1.0f);
            EXPECT_EQ(dest.at(x, y).alpha, 0.0f);
        }

    Texture source;
    ASSERT_TRUE(source.allocate(4, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            source.at(x, y) = Texel{0.1f * static_cast<float>(x), 0.2f * static_cast<float>(y)};

    // Only levels, with the source's left column clipped off (sx = -1 moves dx on).
    dest.blit(source, levelOnlyBlend, -1, 0, 2, 0, 3, 4);
    EXPECT_EQ(dest.at(2, 0).level, 1.0f);
    EXPECT_EQ(dest.at(3, 1).level, 0.0f);
    EXPECT_EQ(dest.at(4, 1).level, 0.1f);
    EXPECT_EQ(dest.at(4, 1).alpha, 0.0f);
    EXPECT_EQ(dest.at(5, 1).level, 1.0f);

    // Only alphas, and clipped at the destination's right edge.
    dest.blit(source, defaultBlend, 0, 0, 6, 0, 4, 4);
    EXPECT_EQ(dest.at(6, 3).alpha, 0.2f * 3.0f);
    EXPECT_EQ(dest.at(6, 3).level, 1.0f);
    EXPECT_EQ(dest.at(7, 2).alpha, 0.4f);
}

TEST(TexturePaint, NoiseFillsRowByRowFromTheSharedGenerator) {
    RandomStateGuard guard;
    setSharedRandomState(1);
    Texture texture;
    ASSERT_TRUE(texture.allocate(2, 2));
    texture.fillNoise(BlendMode{0.3f, 0, 0, 0, 1, 0, 0}, 0, 0, 2, 2);
    // Draws 41, 18467, 6334, 26500 in row order; smoothstep keeps the order.
    EXPECT_LT(texture.at(0, 0).alpha, 1e-5f);
    EXPECT_GT(texture.at(1, 0).alpha, texture.at(0, 1).alpha);
    EXPECT_NEAR(texture.at(1, 1).alpha, 0.90425f, 1e-5f);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_FLOAT_EQ(texture.at(x, y).level, 0.3f * texture.at(x, y).alpha);
    EXPECT_EQ(sharedRandom(), 19169); // the fifth value: exactly four were drawn

    // Clipped to the texture: only the texels inside draw values.
    setSharedRandomState(1);
    texture.fillNoise(copyBlend, -1, -1, 2, 2);
    EXPECT_EQ(sharedRandom(), 18467);
}

TEST(BrushEllipse, PaintsItsBoundingBoxWithWeightsFallingTowardsTheRim) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(32, 32));
    texture.fill(Texel{-1.0f, 0.0f}, copyBlend, 0, 0, 32, 32);
    texture.brushEllipse(Texel{1.0f, 1.0f}, addAlphaBlend, 10, 10, 10, 10);
    // Every texel of the 21 x 21 box takes the level, corners included.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            EXPECT_EQ(texture.at(x, y).level, x <= 20 && y <= 20 ? 1.0f : -1.0f) << x << "," << y;
    EXPECT_NEAR(texture.at(10, 10).alpha, 0.995f, 1e-6f);
    EXPECT_EQ(texture.at(0, 0).alpha, 0.0f);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}

TEST(BrushEllipse, ClipsInsteadOfWrappingAndSkipsEmptyRadii) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(16, 16));
    texture.brushEllipse(Texel{1.0f, 1.0f}, addAlphaBlend, 0, 0, 3, 3);
    EXPECT_GT(texture.at(0, 0).alpha, 0.9f);
    EXPECT_EQ(texture.at(15, 15).level, 0.0f);
    EXPECT_EQ(texture.at(15, 0).level, 0.0f);
    EXPECT_EQ(texture.at(0, 15).level, 0.0f);

    // A radius of 0 or less would give infinite weights: nothing is painted.
    Texture empty;
    ASSERT_TRUE(empty.allocate(16, 16));
    empty.brushEllipse(Texel{1.0f, 1.0f}, addAlphaBlend, 8, 8, 0, 4);
    empty.brushEllipse(Texel{1.0f, 1.0f}, addAlphaBlend, 8, 8, 4, -1);
    // Nor does one whose box cannot be expressed in whole texels.
    empty.brushEllipse(Texel{1.0f, 1.0f}, addAlphaBlend, NAN, 8, 4, 4);
    empty.brushEllipse(Texel{1.0f, 1.0f}, addAlphaBlend, 8, 8, 1e30f, 4);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(empty.at(x, y).level, 0.0f);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}
