// A built DemoAssets with a console, and with a marked canvas for the scenes
// that paint the working layer and composite it: a pixel no scene step touched
// keeps the marker level and ramp.
#pragma once

#include "scenes/demo_assets.h"

#include <gtest/gtest.h>

// The built assets and a console of '#' cells.
struct BuiltScene : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(assets.build());
        ASSERT_TRUE(console.allocate(80, 50));
        for (int i = 0; i < 80 * 50; ++i)
            console.cells[i] = Cell{'#', 0x07};
    }

    DemoAssets assets;
    CellImage console;
};

// The same with the whole canvas at the marker level and ramp.
struct CanvasScene : BuiltScene {
    void SetUp() override {
        BuiltScene::SetUp();
        if (HasFatalFailure())
            return;
        marker = assets.ramps[9];
        ASSERT_NE(marker, nullptr);
        assets.canvas.fill(ShadePixel{markerLevel, marker}, copyBlend, 0, 0, 80, 50);
    }

    bool unchanged(int x, int y) const {
        const ShadePixel& p = assets.canvas.at(x, y);
        return p.level == markerLevel && p.ramp == marker;
    }

    static constexpr float markerLevel = 0.5f;
    const ShadeRamp* marker = nullptr;
};
