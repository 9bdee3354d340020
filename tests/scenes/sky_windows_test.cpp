// The sky windows scene: window radii over time, the painted windows, the
// panel with its bright rounded end, and the starfield showing through.
#include "canvas_scene_fixture.h"
#include "scenes/sky_windows.h"

#include <gtest/gtest.h>

TEST(SkyWindows, RadiiGrowFromNothingToFullWithAnEaseOut) {
    for (const SkyWindow& w : skyWindowTable)
        EXPECT_EQ(skyWindowRadius(w, 68.6f), 0.0f);
    EXPECT_EQ(skyWindowRadius(skyWindowTable[0], 69.0f), 7.5f);
    EXPECT_EQ(skyWindowRadius(skyWindowTable[0], 69.34f), 10.0f);
    // Two thirds of a second after 74.667 s the last window is fully open.
    // (75.33 itself is a hair early: 49.99875.)
    EXPECT_EQ(skyWindowRadius(skyWindowTable[4], 75.333336f), 50.0f);
    EXPECT_NEAR(skyWindowRadius(skyWindowTable[4], 75.33f), 50.0f, 0.002f);
    EXPECT_EQ(skyWindowRadius(skyWindowTable[4], 80.0f), 50.0f);
}

TEST(SkyWindows, PaintsEachWindowWiderThanHighAtItsColumn) {
    Texture layer;
    ASSERT_TRUE(layer.allocate(128, 64));
    paintSkyWindows(layer, copyBlend, 60.0f, 0);
    for (int i = 0; i < 128 * 64; ++i)
        ASSERT_EQ(layer.texels[i].alpha, 0.0f);

    // t = 69: window 0 half open, 9 columns across and 7.5 rows down around
    // (x + 95, 10) = (45, 10) for x = -50 (shifted centre 45.5, 10.5).
    paintSkyWindows(layer, copyBlend, 69.0f, -50);
    EXPECT_EQ(layer.at(45, 10).alpha, 1.0f);
    EXPECT_GT(layer.at(45, 3).alpha, 0.0f);
    EXPECT_GT(layer.at(45, 17).alpha, 0.0f);
    EXPECT_EQ(layer.at(45, 2).alpha, 0.0f);
    EXPECT_EQ(layer.at(45, 18).alpha, 0.0f);
    EXPECT_EQ(layer.at(35, 10).alpha, 0.0f);
    EXPECT_EQ(layer.at(37, 10).alpha, 1.0f);
    EXPECT_EQ(layer.at(53, 10).alpha, 1.0f);
    EXPECT_EQ(layer.at(55, 10).alpha, 0.0f);
}

using SkyWindowsScene = CanvasScene;

TEST_F(SkyWindowsScene, PanelWithABrightRoundedEnd) {
    // t = 60: the scene starts at screen column 40, no window open yet.
    assets.drawSkyWindows(console, 60.0f, 0.01f, 40, 40.0f, 230);
    const ShadeRamp* panel = assets.ramps[3];
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 80; ++x)
            EXPECT_EQ(assets.canvas.at(x, y).ramp, panel) << x << "," << y;
    EXPECT_EQ(assets.canvas.at(20, 10).level, 0.25f); // left of the scene: panel
    EXPECT_EQ(assets.canvas.at(40, 0).level, 1.0f);   // the band's top-left corner
    EXPECT_EQ(assets.canvas.at(40, 49).level, 1.0f);  // and bottom-left corner
    EXPECT_EQ(assets.canvas.at(60, 35).level, 0.25f); // inside the rounded end
    EXPECT_EQ(assets.canvas.at(79, 35).level, 0.25f); // past the band: panel
}

TEST_F(SkyWindowsScene, OpenWindowsShowTheStarfieldCells) {
    // A starfield of 'S' cells with a transparent 'x' cell at art (80, 20).
    for (int y = 0; y < assets.starfieldArt.height; ++y)
        for (int x = 0; x < assets.starfieldArt.width; ++x)
            assets.starfieldArt.at(x, y) = Cell{'S', static_cast<std::uint16_t>(x & 0xFF)};
    assets.starfieldArt.at(80, 20) = Cell{'x', 0};
    // t = 75.5: x = -115, window 4 open around screen column 45, row 25.
    assets.drawSkyWindows(console, 75.5f, 0.01f, -115, -115.0f, 230);
    EXPECT_EQ(assets.canvas.at(45, 25).ramp, nullptr);
    EXPECT_EQ(assets.canvas.at(45, 25).level, 0.0f);
    // The art starts at screen column x + 80 = -35.
    EXPECT_EQ(console.at(45, 25).character, 'S');
    EXPECT_EQ(console.at(45, 25).attributes, 80);
    EXPECT_EQ(console.at(45, 20).character, '#');
}
