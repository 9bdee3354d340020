// The rotozoom scene: the keyframe path, the level pyramid and its choice, the
// rotated view, and where the scene puts its cells.
#include "scenes/demo_assets.h"
#include "scenes/rotozoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double twoPi = 6.283185307179586;

// A 128 x 128 picture that tiles smoothly, so bilinear samples close together
// have close values and a wrong position shows as a wrong level.
std::vector<std::uint8_t> wavyPicture() {
    std::vector<std::uint8_t> bytes(128 * 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            bytes[y * 128 + x] = static_cast<std::uint8_t>(
                std::lround(127.5 + 127.5 * std::sin(twoPi * x / 128) * std::cos(twoPi * y / 64)));
    return bytes;
}

// Level = column * 2 / 255: a ramp along u that a down-scaled copy keeps linear.
std::vector<std::uint8_t> columnRamp() {
    std::vector<std::uint8_t> bytes(128 * 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            bytes[y * 128 + x] = static_cast<std::uint8_t>(2 * x);
    return bytes;
}

void expectKeyNear(const RotozoomKey& actual, const RotozoomKey& expected, float tolerance) {
    EXPECT_NEAR(actual.pivotColumn, expected.pivotColumn, tolerance);
    EXPECT_NEAR(actual.pivotRow, expected.pivotRow, tolerance);
    EXPECT_NEAR(actual.centreU, expected.centreU, tolerance);
    EXPECT_NEAR(actual.centreV, expected.centreV, tolerance);
    EXPECT_NEAR(actual.zoom, expected.zoom, tolerance);
    EXPECT_NEAR(actual.angle, expected.angle, tolerance);
}

RotozoomKey mix(double w0, const RotozoomKey& a, double w1, const RotozoomKey& b, double w2,
                const RotozoomKey& c) {
    auto blend = [&](float RotozoomKey::*field) {
        return static_cast<float>(w0 * (a.*field) + w1 * (b.*field) + w2 * (c.*field));
    };
    return RotozoomKey{blend(&RotozoomKey::pivotColumn), blend(&RotozoomKey::pivotRow),
                       blend(&RotozoomKey::centreU),     blend(&RotozoomKey::centreV),
                       blend(&RotozoomKey::zoom),        blend(&RotozoomKey::angle)};
}

} // namespace

TEST(RotozoomPath, BlendsThreeKeysWithQuadraticBSplineWeights) {
    // At 79.1 s the path is 0.04 keys in: weights 0.4608, 0.5384, 0.0008.
    expectKeyNear(rotozoomKeyAt(79.1f),
                  mix(0.4608, rotozoomKeys[0], 0.5384, rotozoomKeys[1], 0.0008, rotozoomKeys[2]),
                  2e-4f);
    // On a whole key the weights are 1/2, 1/2, 0: the path starts between keys.
    expectKeyNear(rotozoomKeyAt(84.0f),
                  mix(0.5, rotozoomKeys[2], 0.5, rotozoomKeys[3], 0.0, rotozoomKeys[4]), 1e-5f);
    // The last second on screen reads keys 15 to 17: the deep dive.
    const RotozoomKey end = rotozoomKeyAt(117.9f);
    EXPECT_LT(end.zoom, 0.001f);
    EXPECT_NEAR(end.centreU, 0.43f, 1e-6f);
}

TEST(RotozoomPath, TimesOutsideThePathHoldItsEnds) {
    const RotozoomKey start = rotozoomKeyAt(79.0f);
    const RotozoomKey end =
        mix(0.0, rotozoomKeys[16], 0.5, rotozoomKeys[17], 0.5, rotozoomKeys[18]);
    const float inf = std::numeric_limits<float>::infinity();
    for (float t : {-1e30f, -inf, 0.0f, 78.9f, std::numeric_limits<float>::quiet_NaN()})
        expectKeyNear(rotozoomKeyAt(t), start, 0.0f);
    for (float t : {1e30f, inf, 121.5f, 500.0f})
        expectKeyNear(rotozoomKeyAt(t), end, 1e-6f);
    // No jump where the hold begins.
    expectKeyNear(rotozoomKeyAt(121.49f), end, 1e-3f);
}

TEST(RotozoomerBuild, MakesAHalvingPyramidFromHalfTexelInsets) {
    const std::vector<std::uint8_t> bytes = columnRamp();
    Rotozoomer roto;
    ASSERT_TRUE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    ASSERT_EQ(roto.levelCount, 7u);
    for (std::uint32_t n = 0; n < 7; ++n) {
        EXPECT_EQ(roto.levels[n].width, 128 >> n);
        EXPECT_EQ(roto.levels[n].height, 128 >> n);
    }
    EXPECT_EQ(roto.target.width, 128);
    EXPECT_EQ(roto.levels[0].at(3, 9).level, 6 * 0.003921569f);
    EXPECT_EQ(roto.levels[6].at(1, 1).alpha, 1.0f);
    // Level 1 column i reads level 0 at 0.5 + i * 127/64 texels: half a texel
    // in, steps from the whole span.
    for (int i : {0, 1, 31, 63}) {
        const double column = 0.5 + i * 127.0 / 64.0;
        EXPECT_NEAR(roto.levels[1].at(i, 5).level, column * 2 * 0.003921569, 1e-5) << i;
    }
}

TEST(RotozoomerBuild, RejectsPicturesItCannotUse) {
    const std::vector<std::uint8_t> bytes(128 * 128, 7);
    Rotozoomer roto;
    ASSERT_TRUE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    // Not a power of two, no width, or a single texel (no level to halve to):
    // each fails and leaves nothing behind.
    EXPECT_FALSE(roto.build(ByteBlob(bytes.data(), 128 * 48), 1.0f, 128));
    EXPECT_EQ(roto.levels, nullptr);
    EXPECT_EQ(roto.levelCount, 0u);
    EXPECT_EQ(roto.target.texels, nullptr);
    EXPECT_FALSE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 0));
    EXPECT_FALSE(roto.build(ByteBlob(bytes.data(), 1), 1.0f, 1));
    EXPECT_EQ(roto.levelCount, 0u);
    roto.render(100.0f);
}

TEST(RotozoomerLevel, ChosenByTheBitLengthOfTheSpan) {
    const std::vector<std::uint8_t> bytes(128 * 128, 0);
    Rotozoomer roto;
    ASSERT_TRUE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    EXPECT_EQ(roto.levelFor(0.0001f), 0u);
    EXPECT_EQ(roto.levelFor(1.99f), 0u);
    EXPECT_EQ(roto.levelFor(2.0f), 1u);
    EXPECT_EQ(roto.levelFor(3.99f), 1u);
    EXPECT_EQ(roto.levelFor(4.0f), 2u);
    EXPECT_EQ(roto.levelFor(64.0f), 6u);
    EXPECT_EQ(roto.levelFor(128.0f), 6u);
    EXPECT_EQ(roto.levelFor(1e30f), 6u);
    EXPECT_EQ(roto.levelFor(std::numeric_limits<float>::quiet_NaN()), 0u);
    EXPECT_EQ(roto.levelFor(-5.0f), 0u);
}

TEST(RotozoomerRender, ViewIsThePictureRotatedAndScaledAboutThePivot) {
    const std::vector<std::uint8_t> bytes = wavyPicture();
    Rotozoomer roto;
    ASSERT_TRUE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    // Along the whole path. (Its zoom stays below 2, so the show itself
    // always reads the full-size picture.)
    for (float t : {79.1f, 83.0f, 86.0f, 90.0f, 97.5f, 104.0f, 110.0f, 117.0f}) {
        roto.render(t);
        const RotozoomKey view = rotozoomKeyAt(t);
        const std::uint32_t level = roto.levelFor(view.zoom);
        EXPECT_EQ(level, 0u);
        const double scale = view.zoom * 0.0125;
        const double cosA = std::cos(view.angle), sinA = std::sin(view.angle);
        for (int i : {0, 7, 25, 49})
            for (int j : {0, 13, 40, 79}) {
                const double x = j - view.pivotColumn, y = i - view.pivotRow;
                const double u = view.centreU + scale * (x * cosA - y * sinA);
                const double v = view.centreV + scale * (x * sinA + y * cosA);
                Texel expected;
                roto.levels[level].sample(expected, static_cast<float>(u), static_cast<float>(v));
                EXPECT_NEAR(roto.target.at(j, i).level, expected.level, 2e-3)
                    << "t " << t << " column " << j << " row " << i;
                EXPECT_EQ(roto.target.at(j, i).alpha, 1.0f);
            }
    }
    // Nothing outside the 80 x 50 view is written.
    EXPECT_EQ(roto.target.at(80, 0).alpha, 0.0f);
    EXPECT_EQ(roto.target.at(0, 50).alpha, 0.0f);
    // Any time at all renders something sane.
    roto.render(std::numeric_limits<float>::quiet_NaN());
    roto.render(1e30f);
    EXPECT_TRUE(std::isfinite(roto.target.at(40, 25).level));
}

// --- The scene ---

namespace {

struct RotozoomScene : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(assets.build());
        ASSERT_TRUE(console.allocate(80, 50));
        for (int i = 0; i < 80 * 50; ++i)
            console.cells[i] = Cell{'#', 0x07};
        // Seam art: column number in the attributes, "x" (transparent) on row 3.
        ASSERT_TRUE(assets.starfieldArt.allocate(160, 51));
        for (int y = 0; y < 51; ++y)
            for (int x = 0; x < 160; ++x)
                assets.starfieldArt.at(x, y) = Cell{static_cast<std::uint16_t>(y == 3 ? 'x' : 'S'),
                                                    static_cast<std::uint16_t>(x)};
        // Caption: "." (transparent) everywhere but row 2.
        ASSERT_TRUE(assets.captionBand.allocate(320, 10));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 320; ++x)
                assets.captionBand.at(x, y) = Cell{static_cast<std::uint16_t>(y == 2 ? 'C' : '.'),
                                                   static_cast<std::uint16_t>(x)};
    }

    Cell pictureCell(int x, int y) const {
        const ShadePixel& pixel = assets.canvas.at(x, y);
        EXPECT_EQ(pixel.ramp, assets.ramps[6]);
        return pixel.ramp->cells[static_cast<int>(static_cast<double>(pixel.level) * 255)];
    }

    DemoAssets assets;
    CellImage console;
};

void expectCell(const Cell& actual, const Cell& expected) {
    EXPECT_EQ(actual.character, expected.character);
    EXPECT_EQ(actual.attributes, expected.attributes);
}

} // namespace

TEST_F(RotozoomScene, SeamAndCaptionRideWithTheScene) {
    const std::vector<std::uint8_t> bytes = wavyPicture();
    ASSERT_TRUE(assets.rotozoomer.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    // Five columns scrolled off: the seam shows art columns 155..159.
    assets.drawRotozoom(console, 87.0f, 0.01f, -5, -5.3f, 310);
    for (int x = 0; x < 5; ++x) {
        expectCell(console.at(x, 0), Cell{'S', static_cast<std::uint16_t>(155 + x)});
        expectCell(console.at(x, 49), Cell{'S', static_cast<std::uint16_t>(155 + x)});
        // The art's transparent cells show the picture.
        expectCell(console.at(x, 3), pictureCell(x, 3));
    }
    expectCell(console.at(5, 0), pictureCell(5, 0));
    // The caption starts 10 columns into the scene, on row 40.
    for (int x = 5; x < 80; ++x) {
        expectCell(console.at(x, 42), Cell{'C', static_cast<std::uint16_t>(x - 5)});
        expectCell(console.at(x, 41), pictureCell(x, 41));
    }
}

TEST_F(RotozoomScene, OnlyTheScenesOwnColumnsBecomeCells) {
    const std::vector<std::uint8_t> bytes = wavyPicture();
    ASSERT_TRUE(assets.rotozoomer.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    // Coming in from the right at column 60: the whole canvas takes the view,
    // but the cells left of the scene keep what the previous scene drew.
    assets.drawRotozoom(console, 81.0f, 0.01f, 60, 59.9f, 310);
    for (int y = 0; y < 50; ++y) {
        expectCell(console.at(59, y), Cell{'#', 0x07});
        EXPECT_EQ(assets.canvas.at(0, y).ramp, assets.ramps[6]);
    }
    expectCell(console.at(60, 0), Cell{'S', 150});
    expectCell(console.at(69, 0), Cell{'S', 159});
    for (int y = 0; y < 40; ++y)
        for (int x = 70; x < 80; ++x)
            expectCell(console.at(x, y), pictureCell(x, y));
    expectCell(console.at(70, 42), Cell{'C', 0});
    // The canvas level is the view's sampled level.
    EXPECT_EQ(assets.canvas.at(75, 20).level, assets.rotozoomer.target.at(75, 20).level);
}
