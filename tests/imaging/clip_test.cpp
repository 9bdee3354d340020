// Rectangle clipping shared by every blit and fill.
#include "imaging/clip.h"

#include <gtest/gtest.h>

namespace {

struct Image {
    int width;
    int height;
};

struct Rect {
    int sx, sy, dx, dy, w, h;
};

bool clip(const Image& destination, const Image& source, Rect& r) {
    return clipBlit(destination, source, r.sx, r.sy, r.dx, r.dy, r.w, r.h);
}

} // namespace

TEST(ClipBlit, NegativeSourceMovesBothPositions) {
    Rect r{-5, 0, 10, 0, 20, 1};
    ASSERT_TRUE(clip({1000, 10}, {1000, 10}, r));
    EXPECT_EQ(r.sx, 0);
    EXPECT_EQ(r.dx, 15);
    EXPECT_EQ(r.w, 15);
}

TEST(ClipBlit, NegativeDestinationAdvancesSource) {
    Rect r{0, 0, -3, 0, 10, 1};
    ASSERT_TRUE(clip({1000, 10}, {1000, 10}, r));
    EXPECT_EQ(r.sx, 3);
    EXPECT_EQ(r.dx, 0);
    EXPECT_EQ(r.w, 7);
}

TEST(ClipBlit, CutsAtBothRightEdges) {
    Rect r{0, 0, 70, 0, 360, 64};
    ASSERT_TRUE(clip({80, 50}, {512, 64}, r));
    EXPECT_EQ(r.w, 10);
    EXPECT_EQ(r.h, 50);

    Rect fromNarrowSource{150, 0, 0, 0, 10, 51};
    ASSERT_TRUE(clip({80, 50}, {160, 51}, fromNarrowSource));
    EXPECT_EQ(fromNarrowSource.w, 10);
    EXPECT_EQ(fromNarrowSource.h, 50);
}

TEST(ClipBlit, RectanglesOutsideOrEmptyDrawNothing) {
    Rect left{0, 0, -20, 0, 20, 5};
    EXPECT_FALSE(clip({80, 50}, {80, 50}, left));
    Rect above{0, 0, 0, -5, 10, 5};
    EXPECT_FALSE(clip({80, 50}, {80, 50}, above));
    Rect right{0, 0, 80, 0, 10, 5};
    EXPECT_FALSE(clip({80, 50}, {80, 50}, right));
    Rect empty{0, 0, 0, 0, 0, 5};
    EXPECT_FALSE(clip({80, 50}, {80, 50}, empty));
    Rect negative{0, 0, 0, 0, 5, -1};
    EXPECT_FALSE(clip({80, 50}, {80, 50}, negative));
    Rect pastSource{200, 0, 0, 0, 10, 5};
    EXPECT_FALSE(clip({80, 50}, {160, 51}, pastSource));
}

TEST(ClipBlit, ExtremeValuesClipWithoutOverflow) {
    Rect r{0, 0, 10, 0, 2147483647, 2147483647};
    ASSERT_TRUE(clip({80, 50}, {80, 50}, r));
    EXPECT_EQ(r.w, 70);
    EXPECT_EQ(r.h, 50);
}

TEST(ClipRect, ClipsAllFourSides) {
    const Image image{80, 50};
    int x = -3, y = -2, w = 10, h = 10;
    ASSERT_TRUE(clipRect(image, x, y, w, h));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 8);

    x = 75, y = 45, w = 10, h = 10;
    ASSERT_TRUE(clipRect(image, x, y, w, h));
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 5);

    x = -10, y = 0, w = 10, h = 10;
    EXPECT_FALSE(clipRect(image, x, y, w, h));
}
