// Placing a capture in a video frame by nearest neighbour.
#include "video_picture.h"

#include <gtest/gtest.h>

#include <vector>

TEST(VideoPicture, FitsTheHeightCentredWithEvenEdges) {
    const VideoPicture p = fitPicture(720, 800, 1920, 1080);
    EXPECT_EQ(p.width, 972);
    EXPECT_EQ(p.height, 1080);
    EXPECT_EQ(p.x, 474);
    EXPECT_EQ(p.y, 0);
    const VideoPicture wide = fitPicture(800, 100, 1920, 1080); // fits the width
    EXPECT_EQ(wide.width, 1920);
    EXPECT_EQ(wide.height, 240);
    EXPECT_EQ(wide.y, 420);
    const VideoPicture same = fitPicture(720, 800, 720, 800);
    EXPECT_EQ(same.width, 720);
    EXPECT_EQ(same.x, 0);
}

// Every output pixel is one source pixel; each source column and row appears
// once or twice, in order; the borders are black.
TEST(VideoPicture, CopiesSourcePixelsOnly) {
    const int sw = 72, sh = 80;
    std::vector<std::uint8_t> source(sw * sh * 3);
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            std::uint8_t* p = &source[(y * sw + x) * 3];
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = 200;
        }
    const VideoPicture picture = fitPicture(sw, sh, 192, 108);
    ASSERT_EQ(picture.width, 96);
    ASSERT_EQ(picture.x, 48);
    std::vector<std::uint8_t> frame(192 * 108 * 3, 7);
    placePicture(picture, source.data(), sw, sh, frame.data());
    std::vector<int> columnUses(sw), rowUses(sh);
    int lastX = -1, lastY = -1;
    for (int y = 0; y < 108; ++y) {
        for (int x = 0; x < 192; ++x) {
            const std::uint8_t* p = &frame[(y * 192 + x) * 3];
            const bool inside = x >= picture.x && x < picture.x + picture.width;
            if (!inside) {
                ASSERT_EQ(p[0] | p[1] | p[2], 0) << x << "," << y;
                continue;
            }
            ASSERT_EQ(p[2], 200);
            ASSERT_GE(p[0], lastX) << "columns out of order at " << x;
            lastX = p[0];
            if (y == 0)
                ++columnUses[p[0]];
            if (x == picture.x) {
                ASSERT_GE(p[1], lastY);
                lastY = p[1];
                ++rowUses[p[1]];
            }
        }
        lastX = -1;
    }
    for (int uses : columnUses)
        EXPECT_TRUE(uses == 1 || uses == 2);
    for (int uses : rowUses)
        EXPECT_TRUE(uses == 1 || uses == 2);
}

TEST(VideoPicture, WholeFactorsCentreOnEvenPixels) {
    const VideoPicture twice = pictureFor(*findVideoSize("2x"), 720, 800);
    EXPECT_EQ(twice.frameWidth, 1440);
    EXPECT_EQ(twice.width, 1440);
    EXPECT_EQ(twice.height, 1600);
    const VideoPicture uhd = pictureFor(*findVideoSize("4k"), 720, 800);
    EXPECT_EQ(uhd.frameWidth, 3840);
    EXPECT_EQ(uhd.frameHeight, 2160);
    EXPECT_EQ(uhd.width, 1440); // three times would be 2400 rows
    EXPECT_EQ(uhd.x, 1200);
    EXPECT_EQ(uhd.y, 280);
    const VideoPicture native = pictureFor(*findVideoSize("native"), 720, 800);
    EXPECT_EQ(native.frameWidth, 720);
    EXPECT_EQ(native.width, 720);
    // An odd margin is moved to an even pixel.
    const VideoPicture odd = integerPicture(3, 2, 12, 9);
    EXPECT_EQ(odd.width, 12);
    EXPECT_EQ(odd.height, 8);
    EXPECT_EQ(odd.y, 0);
    // Each source pixel becomes a whole block, borders black.
    const std::vector<std::uint8_t> source = {1, 2, 3, 4, 5, 6};
    const VideoPicture small = integerPicture(2, 1, 8, 2);
    EXPECT_EQ(small.x, 2);
    std::vector<std::uint8_t> frame(8 * 2 * 3, 9);
    placePicture(small, source.data(), 2, 1, frame.data());
    const std::vector<std::uint8_t> row = {0, 0, 0, 0, 0, 0, 1, 2, 3, 1, 2, 3,
                                           4, 5, 6, 4, 5, 6, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(row.begin(), row.end(), frame.begin()));
    EXPECT_TRUE(std::equal(row.begin(), row.end(), frame.begin() + 24));
}
