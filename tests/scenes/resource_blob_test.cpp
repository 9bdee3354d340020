// ResourceBlob over the embedded resources, with test overrides.
#include "scenes/resource_blob.h"

#include <gtest/gtest.h>

namespace {

class ResourceBlobTest : public ::testing::Test {
  protected:
    void TearDown() override { clearResourceOverrides(); }
};

} // namespace

TEST_F(ResourceBlobTest, EveryListedResourceHasItsSize) {
    const struct {
        std::uint16_t id;
        std::uint32_t size;
    } expected[] = {{resourceId::ramps, 520},
                    {resourceId::titleArt, 16000},
                    {resourceId::cloudMask, 32768},
                    {resourceId::starfieldArt, 16320},
                    {resourceId::rotozoomPicture, 16384},
                    {resourceId::captionBand, 6400},
                    {resourceId::fireEdgeArt, 1000},
                    {resourceId::closingPicture, 8000},
                    {resourceId::blinkPatch, 140}};
    ResourceBlob blob;
    for (const auto& e : expected) {
        ASSERT_NE(blob.load(e.id), nullptr) << "resource " << e.id;
        EXPECT_EQ(blob.size, e.size) << "resource " << e.id;
    }
    EXPECT_NE(blob.load(resourceId::music), nullptr);
}

TEST_F(ResourceBlobTest, LoadingTwiceGivesTheSameView) {
    ResourceBlob blob;
    const std::uint8_t* first = blob.load(resourceId::titleArt);
    const std::uint32_t size = blob.size;
    EXPECT_EQ(blob.load(resourceId::titleArt), first);
    EXPECT_EQ(blob.size, size);
}

TEST_F(ResourceBlobTest, MissingOrEmptyResourceLeavesTheBlobEmpty) {
    ResourceBlob blob;
    ASSERT_NE(blob.load(resourceId::ramps), nullptr);
    EXPECT_EQ(blob.load(999), nullptr);
    EXPECT_EQ(blob.data, nullptr);
    EXPECT_EQ(blob.size, 0u);

    static const std::uint8_t something[1] = {0};
    overrideResource(resourceId::fireEdgeArt, something, 0);
    ASSERT_NE(blob.load(resourceId::ramps), nullptr);
    EXPECT_EQ(blob.load(resourceId::fireEdgeArt), nullptr);
    EXPECT_EQ(blob.size, 0u);

    overrideResource(resourceId::fireEdgeArt, nullptr, 0, false);
    EXPECT_EQ(blob.load(resourceId::fireEdgeArt), nullptr);
    clearResourceOverrides();
    EXPECT_NE(blob.load(resourceId::fireEdgeArt), nullptr);
}
