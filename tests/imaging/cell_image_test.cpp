// Cell art loading and the keyed blit.
#include "fixtures.h"

#include "imaging/cell_image.h"

#include <gtest/gtest.h>

#include <vector>

TEST(CellImageLoad, SizesComeFromTheWidthAndTheByteCount) {
    std::vector<std::uint8_t> bytes(16320, 0x20);
    CellImage image;
    ASSERT_TRUE(image.load(ByteBlob(bytes.data(), 16000), 160));
    EXPECT_EQ(image.width, 160);
    EXPECT_EQ(image.height, 50);
    ASSERT_TRUE(image.load(ByteBlob(bytes.data(), 16320), 160));
    EXPECT_EQ(image.height, 51);
    // 141 bytes: 70 cells, the odd byte ignored, 7 rows of 10.
    ASSERT_TRUE(image.load(ByteBlob(bytes.data(), 141), 10));
    EXPECT_EQ(image.width, 10);
    EXPECT_EQ(image.height, 7);
}

TEST(CellImageLoad, BytesAreZeroExtended) {
    const std::uint8_t bytes[] = {0xB1, 0x9F, 0x41, 0x07};
    CellImage image;
    ASSERT_TRUE(image.load(ByteBlob(bytes, sizeof bytes), 2));
    EXPECT_EQ(image.cells[0].character, 0x00B1);
    EXPECT_EQ(image.cells[0].attributes, 0x009F);
    EXPECT_EQ(image.cells[1].character, 0x41);
    EXPECT_EQ(image.cells[1].attributes, 0x07);
}

TEST(CellImageLoad, WidthZeroOrTooFewBytesFailsEmpty) {
    const std::uint8_t bytes[] = {1, 2, 3, 4};
    CellImage image;
    ASSERT_TRUE(image.load(ByteBlob(bytes, sizeof bytes), 1));
    EXPECT_FALSE(image.load(ByteBlob(bytes, sizeof bytes), 0));
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_EQ(image.cells, nullptr);
    EXPECT_FALSE(image.load(ByteBlob(bytes, sizeof bytes), 3));
    EXPECT_FALSE(image.load(ByteBlob(nullptr, 0), 10));
}

TEST(BlitKeyed, SkipsKeyCellsWhateverTheirAttributes) {
    CellImage f;
    makeFImage(f);
    CellImage screen;
    screen.allocate(8, 6);
    for (int i = 0; i < 48; ++i)
        screen.cells[i] = Cell{'#', 0x77};
    screen.blitKeyed(f, '.', 0, 0, 1, 1, 6, 5);
    EXPECT_EQ(rowText(screen, 0), "########");
    EXPECT_EQ(rowText(screen, 1), "#FFFFF##");
    EXPECT_EQ(rowText(screen, 2), "#F######");
    EXPECT_EQ(rowText(screen, 3), "#FFFF###");
    // Copied cells keep their own attributes; skipped ones keep the screen's.
    EXPECT_EQ(screen.at(4, 3).attributes, 3 + 16 * 2);
    EXPECT_EQ(screen.at(6, 3).attributes, 0x77);
}

TEST(BlitKeyed, ClipsOnTheLeftKeepingSourceAlignment) {
    CellImage f;
    makeFImage(f);
    CellImage screen;
    screen.allocate(4, 5);
    screen.blitKeyed(f, 0, 0, 0, -2, 0, 6, 5);
    // Source columns 2..5 land at screen columns 0..3.
    EXPECT_EQ(rowText(screen, 0), "FFF.");
    EXPECT_EQ(rowText(screen, 2), "FF..");
    EXPECT_EQ(screen.at(0, 0).attributes, 2);
}

TEST(CellImageAllocate, ReplacesThePreviousCellsWithZeros) {
    CellImage image;
    makeFImage(image);
    ASSERT_TRUE(image.allocate(3, 2));
    EXPECT_EQ(image.width, 3);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(image.cells[i].character, 0);
        EXPECT_EQ(image.cells[i].attributes, 0);
    }
}
