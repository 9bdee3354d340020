// The anti-aliased ellipse filler: which rows are painted, the cap and edge
// coverage rules (exact, also where they differ from the true area), the
// interior alpha and the guards against shapes that are no ellipse.
#include "raster_fixtures.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

namespace {

const Texel solid{0.5f, 1.0f};

bool rowTouched(const Texture& texture, int y) {
    for (int x = 0; x < texture.width; ++x)
        if (touched(texture, x, y))
            return true;
    return false;
}

// The tests' canvas: 16 x 16, every texel marked untouched (a test may
// make its own).
class FillEllipse : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(allocateMarked(texture, 16, 16)); }
    Texture texture;
};

} // namespace

TEST_F(FillEllipse, WithinOneRowPaintsNothing) {
    // Rows 5.3 .. 5.7 in the shifted frame: the first boundary is past the rim.
    texture.fillEllipse(solid, copyBlend, 7.5f, 5.0f, 3.0f, 0.2f);
    // Radii 0, as for a window that has not begun to open.
    texture.fillEllipse(solid, copyBlend, 7.5f, 5.0f, 0.0f, 0.0f);
    EXPECT_EQ(touchedCount(texture), 0);
}

TEST_F(FillEllipse, TwoRowsPaintOnlyTheTopCapAsATent) {
    // Shifted centre (8, 6), rows 5.6 .. 6.4: the top cap is 3 wide each side
    // of x = 8 and 0.4 high; the bottom row has no base and stays empty.
    texture.fillEllipse(solid, copyBlend, 7.5f, 5.5f, 3.0f, 0.4f);
    EXPECT_FALSE(rowTouched(texture, 4));
    EXPECT_FALSE(rowTouched(texture, 6));
    const float s = 0.4f / 3.0f;
    const float expected[] = {0.5f * s, 1.5f * s, 2.5f * s, 3.0f * s, 2.5f * s, 1.5f * s, 0.0f};
    for (int i = 0; i < 7; ++i)
        EXPECT_NEAR(texture.at(5 + i, 5).alpha, expected[i], 1e-6f) << 5 + i;
    EXPECT_FALSE(touched(texture, 4, 5));
    EXPECT_FALSE(touched(texture, 12, 5));
}

TEST_F(FillEllipse, BottomCapTakesItsBaseFromTheLastMiddleRowsUpperBoundary) {
    // Shifted centre (8, 6), ry 1.5: rows 4 (cap), 5 and 6 (middle), 7 (cap).
    // The top cap's base is the width at y = 5 (2.98 each side); the bottom
    // cap's is the width at y = 6, the full 4, so it is wider.
    texture.fillEllipse(solid, copyBlend, 7.5f, 5.5f, 4.0f, 1.5f);
    EXPECT_FALSE(rowTouched(texture, 3));
    EXPECT_FALSE(rowTouched(texture, 8));
    EXPECT_FALSE(touched(texture, 4, 4));
    EXPECT_TRUE(touched(texture, 5, 4));
    EXPECT_TRUE(touched(texture, 10, 4));
    EXPECT_FALSE(touched(texture, 11, 4));
    EXPECT_TRUE(touched(texture, 4, 7));
    EXPECT_TRUE(touched(texture, 12, 7));
    EXPECT_EQ(texture.at(12, 7).alpha, 0.0f); // right of the cap's end
}

TEST_F(FillEllipse, EqualWidthRowHasOneColumnEdgesAndAnInteriorOfAlphaOne) {
    // Row 6 lies symmetric about the shifted centre y = 6.5, so both boundary
    // widths are 5 sqrt(0.96) = 4.899. The texel alpha 0.5 scales the edges only.
    texture.fillEllipse(Texel{0.5f, 0.5f}, copyBlend, 7.75f, 6.0f, 5.0f, 2.5f);
    const float w = 5.0f * std::sqrt(0.96f);
    const float left = 8.25f - w;
    const float right = 8.25f + w;
    EXPECT_NEAR(texture.at(3, 6).alpha, (4.0f - left) * 0.5f, 1e-5f);
    for (int c = 4; c <= 12; ++c)
        EXPECT_EQ(texture.at(c, 6).alpha, 1.0f) << c;
    EXPECT_NEAR(texture.at(13, 6).alpha, (right - 13.0f) * 0.5f, 1e-5f);
    EXPECT_FALSE(touched(texture, 2, 6));
    EXPECT_FALSE(touched(texture, 14, 6));
}

TEST_F(FillEllipse, LargeCircleCoversItsArea) {
    ASSERT_TRUE(texture.allocate(64, 64));
    texture.fill(Texel{0.0f, 0.0f}, copyBlend, 0, 0, 64, 64);
    texture.fillEllipse(solid, addAlphaBlend, 31.3f, 30.6f, 24.0f, 20.0f);
    double sum = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            sum += texture.at(x, y).alpha;
            EXPECT_LE(texture.at(x, y).alpha, 1.0f);
        }
    }
    EXPECT_NEAR(sum, 3.14159265 * 24.0 * 20.0, 0.01 * 3.14159265 * 24.0 * 20.0);
    EXPECT_EQ(texture.at(31, 30).alpha, 1.0f);
    EXPECT_EQ(texture.at(31, 4).alpha, 0.0f);
}

TEST_F(FillEllipse, ShapesThatAreNoEllipseAndTexelsOutside) {
    texture.fillEllipse(solid, copyBlend, 8, 8, -3, 4);
    texture.fillEllipse(solid, copyBlend, 8, 8, 3, -4);
    texture.fillEllipse(solid, copyBlend, 8, 8, NAN, 4);
    texture.fillEllipse(solid, copyBlend, NAN, 8, 3, 4);
    texture.fillEllipse(solid, copyBlend, 8, 8, 3e9f, 4);
    EXPECT_EQ(touchedCount(texture), 0);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);

    // Hanging over the top-left corner: only texels inside are painted.
    texture.fillEllipse(solid, copyBlend, 0, 0, 6, 6);
    EXPECT_EQ(texture.at(0, 0).alpha, 1.0f);
    EXPECT_FALSE(touched(texture, 8, 0));
    EXPECT_FALSE(touched(texture, 0, 8));
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}
