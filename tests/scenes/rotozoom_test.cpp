// The rotozoom scene: the keyframe path, the level pyramid and its choice, the
// rotated view, and where the scene puts its cells.
#include "scenes/demo_assets.h"
#include "scenes/rotozoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// A 128 x 128 picture that tiles smoothly, so bilinear samples close together
// have close values and a wrong position shows as a wrong level.
std::vector<std::uint8_t> wavyPicture() {
    const double twoPi = 6.283185307179586;
    std::vector<std::uint8_t> bytes(128 * 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            bytes[y * 128 + x] = static_cast<std::uint8_t>(
                std::lround(127.5 + 127.5 * std::sin(twoPi * x / 128) * std::cos(twoPi * y / 64)));
    return bytes;
}

void expectKeyNear(const RotozoomKey& actual, double w0, int k, double w1, double w2, float near) {
    const RotozoomKey &a = rotozoomKeys[k], &b = rotozoomKeys[k + 1], &c = rotozoomKeys[k + 2];
    EXPECT_NEAR(actual.pivotColumn, w0 * a.pivotColumn + w1 * b.pivotColumn + w2 * c.pivotColumn,
                near);
    EXPECT_NEAR(actual.pivotRow, w0 * a.pivotRow + w1 * b.pivotRow + w2 * c.pivotRow, near);
    EXPECT_NEAR(actual.centreU, w0 * a.centreU + w1 * b.centreU + w2 * c.centreU, near);
    EXPECT_NEAR(actual.centreV, w0 * a.centreV + w1 * b.centreV + w2 * c.centreV, near);
    EXPECT_NEAR(actual.zoom, w0 * a.zoom + w1 * b.zoom + w2 * c.zoom, near);
    EXPECT_NEAR(actual.angle, w0 * a.angle + w1 * b.angle + w2 * c.angle, near);
}

} // namespace

TEST(RotozoomPath, QuadraticBSplineThroughTheKeysHeldAtBothEnds) {
    // At 79.1 s the path is 0.04 keys in: weights 0.4608, 0.5384, 0.0008.
    expectKeyNear(rotozoomKeyAt(79.1f), 0.4608, 0, 0.5384, 0.0008, 2e-4f);
    // The last second on screen reads keys 15 to 17: the deep dive.
    EXPECT_LT(rotozoomKeyAt(117.9f).zoom, 0.001f);
    // Outside the path (only reachable by calling it directly) it holds its
    // start or its end instead of reading past the table.
    const float inf = std::numeric_limits<float>::infinity();
    for (float t : {-inf, 0.0f, 78.9f, std::numeric_limits<float>::quiet_NaN()})
        expectKeyNear(rotozoomKeyAt(t), 0.5, 0, 0.5, 0.0, 0.0f);
    for (float t : {121.5f, 500.0f, 1e30f, inf})
        expectKeyNear(rotozoomKeyAt(t), 0.0, 16, 0.5, 0.5, 1e-6f);
    expectKeyNear(rotozoomKeyAt(121.49f), 0.0, 16, 0.5, 0.5, 1e-3f); // no jump
}

TEST(Rotozoomer, BuildsAHalvingPyramidFromHalfTexelInsets) {
    // Level = column * 2 / 255: a ramp along u that a down-scaled copy keeps linear.
    std::vector<std::uint8_t> bytes(128 * 128);
    for (int i = 0; i < 128 * 128; ++i)
        bytes[i] = static_cast<std::uint8_t>(2 * (i % 128));
    Rotozoomer roto;
    ASSERT_TRUE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    ASSERT_EQ(roto.levelCount, 7u);
    for (std::uint32_t n = 0; n < 7; ++n)
        EXPECT_EQ(roto.levels[n].height, 128 >> n);
    EXPECT_EQ(roto.levels[6].width, 2);
    // Level 1 column i reads level 0 at 0.5 + i * 127/64 texels: half a texel
    // in, steps from the whole span.
    for (int i : {0, 1, 31, 63})
        EXPECT_NEAR(roto.levels[1].at(i, 5).level, (0.5 + i * 127.0 / 64.0) * 2 * 0.003921569, 1e-5)
            << i;

    // Not a power of two, no width, or a single texel: each fails and leaves
    // nothing behind, and rendering then does nothing.
    EXPECT_FALSE(roto.build(ByteBlob(bytes.data(), 128 * 48), 1.0f, 128));
    EXPECT_EQ(roto.levels, nullptr);
    EXPECT_EQ(roto.target.texels, nullptr);
    EXPECT_FALSE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 0));
    EXPECT_FALSE(roto.build(ByteBlob(bytes.data(), 1), 1.0f, 1));
    EXPECT_EQ(roto.levelCount, 0u);
    roto.render(100.0f);
}

TEST(Rotozoomer, LevelChosenByTheBitLengthOfTheSpan) {
    const std::vector<std::uint8_t> bytes(128 * 128, 0);
    Rotozoomer roto;
    ASSERT_TRUE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    const std::pair<float, std::uint32_t> cases[] = {
        {0.0001f, 0}, {1.99f, 0},
        {2.0f, 1},    {3.99f, 1},
        {4.0f, 2},    {64.0f, 6},
        {128.0f, 6},  {1e30f, 6},
        {-5.0f, 0},   {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& [zoom, level] : cases)
        EXPECT_EQ(roto.levelFor(zoom), level) << zoom;
}

TEST(Rotozoomer, ViewIsThePictureRotatedAndScaledAboutThePivot) {
    const std::vector<std::uint8_t> bytes = wavyPicture();
    Rotozoomer roto;
    ASSERT_TRUE(roto.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    // Along the whole path. Its zoom stays below 2, so the show always reads
    // the full-size picture.
    for (float t : {79.1f, 83.0f, 86.0f, 90.0f, 97.5f, 104.0f, 110.0f, 117.0f}) {
        roto.render(t);
        const RotozoomKey view = rotozoomKeyAt(t);
        ASSERT_EQ(roto.levelFor(view.zoom), 0u);
        const double scale = view.zoom * 0.0125;
        const double cosA = std::cos(view.angle), sinA = std::sin(view.angle);
        for (int i : {0, 7, 25, 49})
            for (int j : {0, 13, 40, 79}) {
                const double x = j - view.pivotColumn, y = i - view.pivotRow;
                Texel expected;
                roto.levels[0].sample(
                    expected, static_cast<float>(view.centreU + scale * (x * cosA - y * sinA)),
                    static_cast<float>(view.centreV + scale * (x * sinA + y * cosA)));
                EXPECT_NEAR(roto.target.at(j, i).level, expected.level, 2e-3)
                    << "t " << t << " column " << j << " row " << i;
            }
    }
    // Nothing outside the 80 x 50 view is written.
    EXPECT_EQ(roto.target.at(80, 0).alpha, 0.0f);
    EXPECT_EQ(roto.target.at(0, 50).alpha, 0.0f);
}

TEST(RotozoomScene, SeamAndCaptionRideWithTheSceneOverItsOwnColumns) {
    DemoAssets assets;
    CellImage console;
    ASSERT_TRUE(assets.build());
    ASSERT_TRUE(console.allocate(80, 50));
    const std::vector<std::uint8_t> bytes = wavyPicture();
    ASSERT_TRUE(assets.rotozoomer.build(ByteBlob(bytes.data(), 128 * 128), 1.0f, 128));
    // Art with its column in the attributes; seam transparent ("x") on row 3,
    // caption transparent (".") everywhere but its row 2.
    ASSERT_TRUE(assets.starfieldArt.allocate(160, 51));
    ASSERT_TRUE(assets.captionBand.allocate(320, 10));
    for (int i = 0; i < 160 * 51; ++i)
        assets.starfieldArt.cells[i] = Cell{static_cast<std::uint16_t>(i / 160 == 3 ? 'x' : 'S'),
                                            static_cast<std::uint16_t>(i % 160)};
    for (int i = 0; i < 320 * 10; ++i)
        assets.captionBand.cells[i] = Cell{static_cast<std::uint16_t>(i / 320 == 2 ? 'C' : '.'),
                                           static_cast<std::uint16_t>(i % 320)};
    auto expectCell = [&](int x, int y, Cell expected) {
        EXPECT_EQ(console.at(x, y).character, expected.character) << x << "," << y;
        EXPECT_EQ(console.at(x, y).attributes, expected.attributes) << x << "," << y;
    };
    auto picture = [&](int x, int y) {
        const ShadePixel& pixel = assets.canvas.at(x, y);
        EXPECT_EQ(pixel.ramp, assets.ramps[6]);
        return pixel.ramp->cells[static_cast<int>(static_cast<double>(pixel.level) * 255)];
    };

    // Five columns scrolled off: the seam shows art columns 155..159, the
    // caption starts 10 columns into the scene, on row 40.
    assets.drawRotozoom(console, 87.0f, 0.01f, -5, -5.3f, 310);
    for (int x = 0; x < 5; ++x) {
        expectCell(x, 0, Cell{'S', static_cast<std::uint16_t>(155 + x)});
        expectCell(x, 49, Cell{'S', static_cast<std::uint16_t>(155 + x)});
        expectCell(x, 3, picture(x, 3));
    }
    for (int x = 5; x < 80; ++x) {
        expectCell(x, 42, Cell{'C', static_cast<std::uint16_t>(x - 5)});
        expectCell(x, 41, picture(x, 41));
    }

    // Coming in from the right at column 60: the whole canvas takes the view,
    // but the cells left of the scene keep what the previous scene drew.
    for (int i = 0; i < 80 * 50; ++i)
        console.cells[i] = Cell{'#', 0x07};
    assets.drawRotozoom(console, 81.0f, 0.01f, 60, 59.9f, 310);
    for (int y = 0; y < 50; ++y) {
        expectCell(59, y, Cell{'#', 0x07});
        EXPECT_EQ(assets.canvas.at(0, y).ramp, assets.ramps[6]);
    }
    expectCell(60, 0, Cell{'S', 150});
    expectCell(69, 0, Cell{'S', 159});
    expectCell(75, 20, picture(75, 20));
    expectCell(70, 42, Cell{'C', 0});
    EXPECT_EQ(assets.canvas.at(75, 20).level, assets.rotozoomer.target.at(75, 20).level);
}
