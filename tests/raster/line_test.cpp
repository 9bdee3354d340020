// The anti-aliased line painter and the ellipse outline: coverage at the ends,
// the zero-coverage plots, orientation, interpolation and the rounding mode.
#include "raster_fixtures.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

namespace {

const Texel solid{0.5f, 1.0f};

} // namespace

TEST(DrawLine, HorizontalLineOnAnIntegerRowAndItsZeroCoveragePlots) {
    Texture texture;
    ASSERT_TRUE(allocateMarked(texture, 16, 16));
    texture.drawLine(solid, solid, copyBlend, 2, 10, 9, 10);

    EXPECT_EQ(texture.at(2, 10).alpha, 0.5f);
    for (int c = 3; c <= 8; ++c)
        EXPECT_EQ(texture.at(c, 10).alpha, 1.0f) << c;
    EXPECT_EQ(texture.at(9, 10).alpha, 0.5f);
    // The first column's second texel is below; after the first step the
    // fraction 0 wraps to 1 on the row above, so the zero plots move up.
    EXPECT_TRUE(touched(texture, 2, 11));
    EXPECT_EQ(texture.at(2, 11).alpha, 0.0f);
    EXPECT_FALSE(touched(texture, 2, 9));
    for (int c = 3; c <= 9; ++c) {
        EXPECT_TRUE(touched(texture, c, 9)) << c;
        EXPECT_EQ(texture.at(c, 9).alpha, 0.0f) << c;
        EXPECT_FALSE(touched(texture, c, 11)) << c;
    }
    EXPECT_EQ(touchedCount(texture), 8 + 1 + 7);
}

TEST(DrawLine, EndsHalfWayIntoTheirTexelsGetHalfCoverage) {
    Texture texture;
    ASSERT_TRUE(allocateMarked(texture, 8, 8));
    texture.drawLine(solid, solid, copyBlend, 0, 0, 4, 0);
    EXPECT_EQ(texture.at(0, 0).alpha, 0.5f);
    EXPECT_EQ(texture.at(1, 0).alpha, 1.0f);
    EXPECT_EQ(texture.at(2, 0).alpha, 1.0f);
    EXPECT_EQ(texture.at(3, 0).alpha, 1.0f);
    EXPECT_EQ(texture.at(4, 0).alpha, 0.5f);
    EXPECT_FALSE(touched(texture, 5, 0));
}

TEST(DrawLine, BothDirectionsPaintTheSameTexelsExceptAt45DegreesUpRight) {
    const Texel dim{0.25f, 0.2f};
    const Texel bright{0.75f, 0.9f};
    struct Segment {
        float x0, y0, x1, y1;
    };
    const Segment segments[] = {
        {1.3f, 2.7f, 11.6f, 7.2f},  // shallow
        {3.2f, 1.1f, 5.9f, 13.4f},  // steep
        {12.4f, 3.3f, 2.2f, 9.8f},  // shallow, leftwards
        {2.0f, 2.0f, 10.0f, 10.0f}, // 45 degrees down-right: y-major both ways
        {4.6f, 0.4f, 4.6f, 9.7f},   // vertical
    };
    for (const Segment& s : segments) {
        Texture forward, backward;
        ASSERT_TRUE(forward.allocate(16, 16));
        ASSERT_TRUE(backward.allocate(16, 16));
        clearMarked(forward);
        clearMarked(backward);
        forward.drawLine(dim, bright, addAlphaBlend, s.x0, s.y0, s.x1, s.y1);
        backward.drawLine(bright, dim, addAlphaBlend, s.x1, s.y1, s.x0, s.y0);
        EXPECT_TRUE(sameBits(forward, backward)) << s.x0 << "," << s.y0;
    }

    // Up-right at exactly 45 degrees: left to right it is x-major (the second
    // texel of a pair is below), right to left y-major (it is to the right).
    // Along the diagonal both touch the same texels; the ends differ.
    Texture xMajor, yMajor;
    ASSERT_TRUE(xMajor.allocate(16, 16));
    ASSERT_TRUE(yMajor.allocate(16, 16));
    clearMarked(xMajor);
    clearMarked(yMajor);
    xMajor.drawLine(solid, solid, copyBlend, 2, 10, 10, 2);
    yMajor.drawLine(solid, solid, copyBlend, 10, 2, 2, 10);
    for (int k = 1; k < 8; ++k) {
        EXPECT_EQ(xMajor.at(2 + k, 10 - k).alpha, 1.0f);
        EXPECT_EQ(yMajor.at(2 + k, 10 - k).alpha, 1.0f);
    }
    EXPECT_TRUE(touched(xMajor, 2, 11));
    EXPECT_FALSE(touched(xMajor, 11, 2));
    EXPECT_TRUE(touched(yMajor, 11, 2));
    EXPECT_FALSE(touched(yMajor, 2, 11));
}

TEST(DrawLine, LevelAndAlphaRunFromOneEndToTheOther) {
    Texture texture;
    ASSERT_TRUE(allocateMarked(texture, 16, 8));
    texture.drawLine(Texel{0.0f, 0.0f}, Texel{1.0f, 1.0f}, copyBlend, 0, 4, 10, 4);
    // Column c sits at c/10 of the way; the last column is half covered.
    EXPECT_NEAR(texture.at(5, 4).level, 0.5f, 1e-5f);
    EXPECT_NEAR(texture.at(5, 4).alpha, 0.5f, 1e-5f);
    EXPECT_NEAR(texture.at(8, 4).alpha, 0.8f, 1e-5f);
    EXPECT_NEAR(texture.at(10, 4).level, 1.0f, 1e-5f);
    EXPECT_NEAR(texture.at(10, 4).alpha, 0.5f, 1e-5f);
}

TEST(DrawLine, DegenerateAndOutsideSegments) {
    Texture texture;
    ASSERT_TRUE(allocateMarked(texture, 16, 16));
    // Equal ends, ends that are not numbers or absurdly far, a segment wholly
    // outside: nothing is painted, and the caller's rounding mode survives.
    texture.drawLine(solid, solid, copyBlend, 5, 5, 5, 5);
    texture.drawLine(solid, solid, copyBlend, 5, 5, NAN, 9);
    texture.drawLine(solid, solid, copyBlend, 5, 5, 3e9f, 9);
    texture.drawLine(solid, solid, copyBlend, -40, -3, 60, -2);
    EXPECT_EQ(touchedCount(texture), 0);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);

    // The walk is not clipped: the part inside is painted as if the texture
    // went on.
    texture.drawLine(solid, solid, copyBlend, -20, 3, 40, 3);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ(texture.at(c, 3).alpha, 1.0f) << c;
}

TEST(DrawLine, BlendsRoundDownwardForTheWholeLine) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(8, 4));
    texture.fill(Texel{1.0f, 0.0f}, copyBlend, 0, 0, 8, 4);
    // level = source + destination = 1 - 2^-30: 1 to nearest, just below 1 downward.
    const BlendMode addLevels{1, 1, 0, 0, 1, 0, 0};
    const Texel tiny{-9.3132257e-10f, 1.0f};
    texture.drawLine(tiny, tiny, addLevels, 0, 1, 6, 1);
    EXPECT_EQ(texture.at(3, 1).level, 0.99999994f);
    EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}

TEST(DrawEllipseOutline, SixteenSegmentsAroundTheCentre) {
    Texture texture;
    ASSERT_TRUE(allocateMarked(texture, 32, 32));
    texture.drawEllipseOutline(solid, addAlphaBlend, 16, 16, 8, 4);
    // The vertex at angle 0 is painted by the first and the last segment, half each.
    EXPECT_FLOAT_EQ(texture.at(24, 16).alpha, 1.0f);
    EXPECT_GT(texture.at(16, 12).alpha + texture.at(16, 11).alpha, 0.9f);
    EXPECT_FALSE(touched(texture, 16, 16));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (touched(texture, x, y)) {
                EXPECT_GE(x, 7);
                EXPECT_LE(x, 25);
                EXPECT_GE(y, 11);
                EXPECT_LE(y, 21);
            }

    // Zero radii: every segment has equal ends, nothing is painted.
    Texture empty;
    ASSERT_TRUE(allocateMarked(empty, 8, 8));
    empty.drawEllipseOutline(solid, addAlphaBlend, 4, 4, 0, 0);
    EXPECT_EQ(touchedCount(empty), 0);
}
