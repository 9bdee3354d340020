// DemoAssets::build: the order of its steps and the reason it gives when one fails.
#include "scenes/demo_assets.h"
#include "scenes/resource_blob.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

class DemoAssetsBuild : public ::testing::Test {
  protected:
    void TearDown() override { clearResourceOverrides(); }

    std::string failedBuild() {
        DemoAssets assets;
        if (assets.build())
            return "built";
        return assets.failureReason() ? assets.failureReason() : "no reason";
    }
};

} // namespace

TEST_F(DemoAssetsBuild, SucceedsWithoutAReasonAndForgetsAnEarlierOne) {
    DemoAssets assets;
    overrideResource(resourceId::titleArt, nullptr, 0, false);
    ASSERT_FALSE(assets.build());
    EXPECT_NE(assets.failureReason(), nullptr);
    clearResourceOverrides();
    assets.release();
    EXPECT_TRUE(assets.build());
    EXPECT_EQ(assets.failureReason(), nullptr);
}

TEST_F(DemoAssetsBuild, EachMissingOrEmptyResourceIsNamed) {
    const struct {
        std::uint16_t id;
        const char* reason;
    } steps[] = {
        {resourceId::ramps, "resource 104 (shade ramps) is missing or empty"},
        {resourceId::titleArt, "resource 105 (title art) is missing or empty"},
        {resourceId::cloudMask, "resource 106 (cloud mask) is missing or empty"},
        {resourceId::starfieldArt, "resource 107 (starfield art) is missing or empty"},
        {resourceId::captionBand, "resource 109 (caption band) is missing or empty"},
        {resourceId::fireEdgeArt, "resource 110 (fire edge art) is missing or empty"},
        {resourceId::closingPicture, "resource 111 (closing picture) is missing or empty"},
        {resourceId::blinkPatch, "resource 112 (blink patch) is missing or empty"},
        {resourceId::rotozoomPicture, "resource 108 (rotozoom picture) is missing or empty"},
    };
    for (const auto& step : steps) {
        overrideResource(step.id, nullptr, 0, false);
        EXPECT_EQ(failedBuild(), step.reason) << "missing " << step.id;
        static const std::uint8_t byte = 0;
        overrideResource(step.id, &byte, 0);
        EXPECT_EQ(failedBuild(), step.reason) << "empty " << step.id;
        clearResourceOverrides();
    }
}

TEST_F(DemoAssetsBuild, StopsAtTheFirstFailingStepInBuildOrder) {
    // 108 is loaded after 112: with both gone, 112 is the one reported.
    overrideResource(resourceId::rotozoomPicture, nullptr, 0, false);
    overrideResource(resourceId::blinkPatch, nullptr, 0, false);
    EXPECT_EQ(failedBuild(), "resource 112 (blink patch) is missing or empty");
    // A resource that is there but cannot be made into its asset: four cells
    // are less than one row of the 10-wide fire edge art.
    clearResourceOverrides();
    static const std::uint8_t cells[8] = {};
    overrideResource(resourceId::fireEdgeArt, cells, sizeof cells);
    overrideResource(resourceId::closingPicture, nullptr, 0, false);
    EXPECT_EQ(failedBuild(), "cannot make the fire edge art from resource 110");
    // A ramp record that runs past the end of its resource.
    clearResourceOverrides();
    static const std::uint8_t truncated[3] = {0, 4, 0xB0};
    overrideResource(resourceId::ramps, truncated, sizeof truncated);
    EXPECT_EQ(failedBuild(), "cannot make the shade ramps from resource 104");
}
