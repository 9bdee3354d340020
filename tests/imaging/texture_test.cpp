// The Texture container: the power-of-two rule, masks and the byte-map loaders.
#include "imaging/texture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void expectEmpty(const Texture& texture) {
    EXPECT_EQ(texture.width, 0);
    EXPECT_EQ(texture.height, 0);
    EXPECT_EQ(texture.texels, nullptr);
    EXPECT_EQ(texture.widthF, 0.0f);
    EXPECT_EQ(texture.heightF, 0.0f);
    EXPECT_EQ(texture.xMask, 0);
    EXPECT_EQ(texture.yMask, 0);
}

} // namespace

TEST(TextureAllocate, PowerOfTwoSidesGetMasksAndFloatSizes) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(128, 64));
    EXPECT_EQ(texture.xMask, 127);
    EXPECT_EQ(texture.yMask, 8064);
    EXPECT_EQ(texture.widthF, 128.0f);
    EXPECT_EQ(texture.heightF, 64.0f);
    EXPECT_EQ(texture.at(127, 63).level, 0.0f);
    EXPECT_EQ(texture.at(127, 63).alpha, 0.0f);
}

TEST(TextureAllocate, OtherSidesLeaveTheTextureEmpty) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(4, 4));
    EXPECT_FALSE(texture.allocate(128, 48));
    expectEmpty(texture);
    EXPECT_FALSE(texture.allocate(3, 4));
    expectEmpty(texture);
    EXPECT_FALSE(texture.allocate(0, 4));
    expectEmpty(texture);
    EXPECT_FALSE(texture.allocate(-4, 4));
    expectEmpty(texture);
}

TEST(TextureSetSize, TheTestIsExactlyTheBitTrick) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(2, 2));
    EXPECT_TRUE(texture.setSize(1, 1));
    EXPECT_FALSE(texture.setSize(6, 8));
    expectEmpty(texture);
}

TEST(TextureLoad, AlphaMapOfTheCloudMaskShape) {
    std::vector<std::uint8_t> bytes(32768, 0);
    bytes[0] = 255;
    bytes[1] = 128;
    bytes[513] = 7;
    Texture texture;
    ASSERT_TRUE(texture.loadAlpha(1.0f, ByteBlob(bytes.data(), 32768), 512));
    EXPECT_EQ(texture.width, 512);
    EXPECT_EQ(texture.height, 64);
    EXPECT_EQ(texture.at(0, 0).alpha, 1.0f);
    EXPECT_FLOAT_EQ(texture.at(1, 0).alpha, 0.50196081f);
    EXPECT_EQ(texture.at(1, 0).level, 1.0f);
    EXPECT_EQ(texture.at(1, 1).alpha, 7 * 0.003921569f);
    EXPECT_EQ(texture.at(2, 0).alpha, 0.0f);
}

TEST(TextureLoad, LevelMapKeepsTheGivenAlpha) {
    std::vector<std::uint8_t> bytes(16384, 255);
    bytes[5] = 0;
    Texture texture;
    ASSERT_TRUE(texture.loadLevels(ByteBlob(bytes.data(), 16384), 0.5f, 128));
    EXPECT_EQ(texture.width, 128);
    EXPECT_EQ(texture.height, 128);
    EXPECT_EQ(texture.at(4, 0).level, 1.0f);
    EXPECT_EQ(texture.at(5, 0).level, 0.0f);
    EXPECT_EQ(texture.at(5, 0).alpha, 0.5f);
}

TEST(TextureLoad, BadWidthsFailWithoutDividingByZero) {
    std::vector<std::uint8_t> bytes(96, 1);
    Texture texture;
    EXPECT_FALSE(texture.loadAlpha(1.0f, ByteBlob(bytes.data(), 96), 0));
    expectEmpty(texture);
    EXPECT_FALSE(texture.loadLevels(ByteBlob(bytes.data(), 96), 1.0f, 0));
    expectEmpty(texture);
    // 96 / 32 = 3 rows: not a power of two.
    EXPECT_FALSE(texture.loadAlpha(1.0f, ByteBlob(bytes.data(), 96), 32));
    expectEmpty(texture);
    // Fewer bytes than one row.
    EXPECT_FALSE(texture.loadLevels(ByteBlob(bytes.data(), 16), 1.0f, 32));
    expectEmpty(texture);
}

TEST(TextureLoad, SecondLoadReplacesTheFirst) {
    std::vector<std::uint8_t> bytes(64, 255);
    Texture texture;
    ASSERT_TRUE(texture.loadAlpha(1.0f, ByteBlob(bytes.data(), 64), 8));
    ASSERT_TRUE(texture.loadAlpha(0.25f, ByteBlob(bytes.data(), 16), 4));
    EXPECT_EQ(texture.width, 4);
    EXPECT_EQ(texture.height, 4);
    EXPECT_EQ(texture.at(3, 3).level, 0.25f);
}
