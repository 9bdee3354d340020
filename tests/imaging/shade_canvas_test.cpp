// Compositing textures onto the shade canvas, constant fills and the resolve
// that turns the canvas into cells.
#include "imaging/blend.h"
#include "imaging/cell_image.h"
#include "imaging/shade_canvas.h"
#include "imaging/shade_ramp.h"
#include "imaging/texture.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

// A ramp whose cell k has character k: the resolved character is the index.
ShadeRamp indexRamp() {
    ShadeRamp ramp;
    for (int k = 0; k < 256; ++k)
        ramp.cells[k] = Cell{static_cast<std::uint16_t>(k), 0x1F};
    return ramp;
}

// Each test's canvas and its index ramp.
class CanvasWithRamp : public ::testing::Test {
  protected:
    ShadeRamp ramp = indexRamp();
    ShadeCanvas canvas;
};
class Composite : public CanvasWithRamp {};
class CanvasFill : public CanvasWithRamp {};
class Resolve : public CanvasWithRamp {};

} // namespace

TEST_F(Composite, AlphaIsClampedAndBlendsInDoublePrecision) {
    ASSERT_TRUE(canvas.allocate(4, 1));
    Texture layer;
    ASSERT_TRUE(layer.allocate(4, 1));
    const float alphas[4] = {1.5f, -0.2f, 0.25f, 0.0f};
    for (int i = 0; i < 4; ++i) {
        canvas.at(i, 0) = ShadePixel{0.5f, nullptr};
        layer.at(i, 0) = Texel{1.0f, alphas[i]};
    }
    canvas.composite(layer, &ramp, 0.0f, overBlend, 0, 0, 0, 0, 4, 1);
    EXPECT_EQ(canvas.at(0, 0).level, 1.0f); // alpha 1.5 acts as 1
    EXPECT_EQ(canvas.at(0, 0).ramp, &ramp);
    EXPECT_EQ(canvas.at(1, 0).level, 0.5f); // alpha -0.2 acts as 0
    EXPECT_EQ(canvas.at(1, 0).ramp, nullptr);
    EXPECT_EQ(canvas.at(2, 0).level, 0.625f);
    EXPECT_EQ(canvas.at(3, 0).level, 0.5f);
    EXPECT_EQ(canvas.at(3, 0).ramp, nullptr); // alpha 0, threshold 0: ramp kept
}

TEST_F(Composite, ThresholdIsStrictAndANullRampCutsHoles) {
    ASSERT_TRUE(canvas.allocate(3, 1));
    Texture layer;
    ASSERT_TRUE(layer.allocate(4, 1));
    layer.at(0, 0) = Texel{0.0f, 0.1f};
    layer.at(1, 0) = Texel{0.0f, 0.95f};
    layer.at(2, 0) = Texel{0.0f, 0.9f};
    for (int i = 0; i < 3; ++i)
        canvas.at(i, 0) = ShadePixel{1.0f, &ramp};
    ShadeRamp other = indexRamp();
    canvas.composite(layer, &other, 0.1f, overBlend, 0, 0, 0, 0, 1, 1);
    EXPECT_EQ(canvas.at(0, 0).ramp, &ramp); // alpha exactly 0.1 does not claim the pixel
    canvas.composite(layer, nullptr, 0.9f, overBlend, 1, 0, 1, 0, 2, 1);
    EXPECT_EQ(canvas.at(1, 0).ramp, nullptr);
    EXPECT_EQ(canvas.at(2, 0).ramp, &ramp);
    EXPECT_FLOAT_EQ(canvas.at(2, 0).level, 0.1f);
}

TEST_F(Composite, ClippedSourceLandsWhereItWouldUnclipped) {
    ASSERT_TRUE(canvas.allocate(4, 2));
    Texture layer;
    ASSERT_TRUE(layer.allocate(8, 4));
    for (int x = 0; x < 8; ++x)
        layer.at(x, 1) = Texel{static_cast<float>(x) / 8, 1.0f};
    canvas.composite(layer, &ramp, 0.0f, copyBlend, 0, 0, -3, 0, 8, 4);
    // Destination column 0 shows source column 3; row 1 shows source row 1.
    EXPECT_EQ(canvas.at(0, 1).level, 3.0f / 8);
    EXPECT_EQ(canvas.at(3, 1).level, 6.0f / 8);
}

TEST_F(CanvasFill, SetsLevelAndRampAlwaysEvenNull) {
    ASSERT_TRUE(canvas.allocate(5, 3));
    canvas.fill(ShadePixel{0.75f, &ramp}, copyBlend, -2, 1, 4, 5);
    EXPECT_EQ(canvas.at(0, 1).level, 0.75f);
    EXPECT_EQ(canvas.at(1, 2).ramp, &ramp);
    EXPECT_EQ(canvas.at(2, 1).ramp, nullptr);
    EXPECT_EQ(canvas.at(0, 0).ramp, nullptr);
    BlendMode half{0.5f, 0.5f, 0, 0, 1, 0, 0};
    canvas.fill(ShadePixel{0.25f, nullptr}, half, 0, 1, 1, 1);
    EXPECT_EQ(canvas.at(0, 1).level, 0.5f);
    EXPECT_EQ(canvas.at(0, 1).ramp, nullptr);
}

TEST_F(Resolve, LevelsMapToTruncatedRampIndices) {
    ASSERT_TRUE(canvas.allocate(7, 1));
    const float levels[7] = {-0.1f, 0.0f, 0.5f, 1.0f, 3.0f, std::numeric_limits<float>::quiet_NaN(),
                             0.999f};
    for (int i = 0; i < 7; ++i)
        canvas.at(i, 0) = ShadePixel{levels[i], &ramp};
    CellImage screen;
    ASSERT_TRUE(screen.allocate(7, 1));
    screen.resolve(canvas, 0, 0, 0, 0, 7, 1);
    EXPECT_EQ(screen.at(0, 0).character, 0);
    EXPECT_EQ(screen.at(1, 0).character, 0);
    EXPECT_EQ(screen.at(2, 0).character, 127);
    EXPECT_EQ(screen.at(3, 0).character, 255);
    EXPECT_EQ(screen.at(4, 0).character, 255);
    EXPECT_EQ(screen.at(5, 0).character, 0); // NaN shows the darkest cell
    EXPECT_EQ(screen.at(6, 0).character, 254);
    EXPECT_EQ(screen.at(2, 0).attributes, 0x1F);
}

TEST_F(Resolve, PixelsWithoutARampLeaveTheCellAlone) {
    ASSERT_TRUE(canvas.allocate(3, 1));
    canvas.at(0, 0) = ShadePixel{1.0f, &ramp};
    canvas.at(1, 0) = ShadePixel{1.0f, nullptr};
    CellImage screen;
    ASSERT_TRUE(screen.allocate(3, 1));
    screen.at(1, 0) = Cell{'*', 0x4E};
    screen.resolve(canvas, -1, 0, -1, 0, 5, 1);
    EXPECT_EQ(screen.at(0, 0).character, 255);
    EXPECT_EQ(screen.at(1, 0).character, '*');
    EXPECT_EQ(screen.at(1, 0).attributes, 0x4E);
    EXPECT_EQ(screen.at(2, 0).character, 0);
}

TEST(BlendApply, OverBlendMixesLevelAndTakesAlpha) {
    Texel d{0.0f, 0.5f};
    overBlend.apply(d, Texel{1.0f, 0.25f});
    EXPECT_EQ(d.level, 0.25f);
    EXPECT_EQ(d.alpha, 0.25f);
    Texel e{0.5f, 0.5f};
    addAlphaBlend.apply(e, Texel{0.0f, 0.75f});
    EXPECT_EQ(e.level, 0.0f);
    EXPECT_EQ(e.alpha, 1.25f); // accumulated coverage is not clamped
}
