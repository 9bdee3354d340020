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
    } expected[] = {{104, 520},  {105, 16000}, {106, 32768}, {107, 16320}, {108, 16384},
                    {109, 6400}, {110, 1000},  {111, 8000},  {112, 140}};
    ResourceBlob blob;
    for (const auto& e : expected) {
        ASSERT_NE(blob.load(e.id), nullptr) << "resource " << e.id;
        EXPECT_EQ(blob.size, e.size) << "resource " << e.id;
    }
    EXPECT_NE(blob.load(resourceId::music), nullptr);
}

TEST_F(ResourceBlobTest, LoadingTwiceGivesTheSameView) {
    ResourceBlob blob;
    const std::uint8_t* first = blob.load(105);
    const std::uint32_t size = blob.size;
    EXPECT_EQ(blob.load(105), first);
    EXPECT_EQ(blob.size, size);
}

TEST_F(ResourceBlobTest, MissingOrEmptyResourceLeavesTheBlobEmpty) {
    ResourceBlob blob;
    ASSERT_NE(blob.load(104), nullptr);
    EXPECT_EQ(blob.load(999), nullptr);
    EXPECT_EQ(blob.data, nullptr);
    EXPECT_EQ(blob.size, 0u);

    static const std::uint8_t something[1] = {0};
    overrideResource(110, something, 0);
    ASSERT_NE(blob.load(104), nullptr);
    EXPECT_EQ(blob.load(110), nullptr);
    EXPECT_EQ(blob.size, 0u);

    overrideResource(110, nullptr, 0, false);
    EXPECT_EQ(blob.load(110), nullptr);
    clearResourceOverrides();
    EXPECT_NE(blob.load(110), nullptr);
}
