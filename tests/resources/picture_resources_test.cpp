// The embedded pictures, as the program loads them: sizes, transparent keys,
// the starfield's curved edge, the blink patch against the closing picture,
// soft mask edges and the seamless rotozoom picture.
#include "imaging/cell_image.h"
#include "imaging/texture.h"
#include "scenes/resource_blob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

constexpr std::uint16_t dot = '.';
constexpr std::uint16_t ex = 'x';

// Loads cell art as the program does; the resource must be whole rows of whole cells.
void loadCells(std::uint16_t id, std::uint32_t width, CellImage& image) {
    ResourceBlob blob;
    ASSERT_NE(blob.load(id), nullptr) << "resource " << id;
    ASSERT_EQ(blob.size % (2 * width), 0u) << "resource " << id << " is not whole rows";
    ASSERT_TRUE(image.load(blob, width)) << "resource " << id;
}

const std::uint8_t* loadBytes(std::uint16_t id, std::uint32_t expectedSize) {
    static ResourceBlob blob; // the bytes stay valid; the view is only replaced
    const std::uint8_t* data = blob.load(id);
    EXPECT_NE(data, nullptr) << "resource " << id;
    EXPECT_EQ(blob.size, expectedSize) << "resource " << id;
    return data && blob.size == expectedSize ? data : nullptr;
}

int countCells(const CellImage& image, std::uint16_t character) {
    int n = 0;
    for (int i = 0; i < image.width * image.height; ++i)
        n += image.cells[i].character == character;
    return n;
}

} // namespace

TEST(PictureResources, LoadAtTheSizesTheScenesDrawWith) {
    const struct {
        std::uint16_t id;
        std::uint32_t width;
        int height;
    } cellArt[] = {{resourceId::titleArt, 160, 50},      {resourceId::starfieldArt, 160, 51},
                   {resourceId::captionBand, 320, 10},   {resourceId::fireEdgeArt, 10, 50},
                   {resourceId::closingPicture, 80, 50}, {resourceId::blinkPatch, 10, 7}};
    for (const auto& art : cellArt) {
        CellImage image;
        loadCells(art.id, art.width, image);
        EXPECT_EQ(image.height, art.height) << "resource " << art.id;
    }
    ResourceBlob blob;
    Texture mask, picture;
    ASSERT_NE(blob.load(resourceId::cloudMask), nullptr);
    ASSERT_TRUE(mask.loadAlpha(1.0f, blob, 512));
    EXPECT_EQ(mask.height, 64);
    ASSERT_NE(blob.load(resourceId::rotozoomPicture), nullptr);
    ASSERT_TRUE(picture.loadLevels(blob, 1.0f, 128));
    EXPECT_EQ(picture.height, 128);
}

// A keyed picture that lost its key would cover the scene under it; one with
// nothing else would show nothing.
TEST(PictureResources, KeyedPicturesHaveTransparentAndDrawnCells) {
    const struct {
        std::uint16_t id;
        std::uint32_t width;
        std::uint16_t key;
    } keyed[] = {{resourceId::titleArt, 160, dot},
                 {resourceId::captionBand, 320, dot},
                 {resourceId::fireEdgeArt, 10, dot},
                 {resourceId::starfieldArt, 160, ex}};
    for (const auto& art : keyed) {
        CellImage image;
        loadCells(art.id, art.width, image);
        const int transparent = countCells(image, art.key);
        EXPECT_GT(transparent, 0) << "resource " << art.id;
        EXPECT_LT(transparent, image.width * image.height) << "resource " << art.id;
    }
}

TEST(PictureResources, ClosingPictureCoversTheWholeScreen) {
    CellImage closing;
    loadCells(resourceId::closingPicture, 80, closing);
    EXPECT_EQ(countCells(closing, dot), 0);
}

// The patch is copied whole (key 0) over the picture at column 35, row 17: a
// character 0 would leave a hole, it must change something there, and its
// corners must match what they cover so the blink does not flash a rectangle.
TEST(PictureResources, BlinkPatchChangesThePictureOnlyInside) {
    CellImage closing, patch;
    loadCells(resourceId::closingPicture, 80, closing);
    loadCells(resourceId::blinkPatch, 10, patch);
    EXPECT_EQ(countCells(patch, 0), 0);
    int changed = 0;
    for (int y = 0; y < patch.height; ++y)
        for (int x = 0; x < patch.width; ++x) {
            const Cell& a = patch.at(x, y);
            const Cell& b = closing.at(35 + x, 17 + y);
            changed += a.character != b.character || a.attributes != b.attributes;
        }
    EXPECT_GE(changed, 4);
    for (const auto& corner :
         {std::pair{0, 0}, std::pair{9, 0}, std::pair{0, 6}, std::pair{9, 6}}) {
        const Cell& a = patch.at(corner.first, corner.second);
        const Cell& b = closing.at(35 + corner.first, 17 + corner.second);
        EXPECT_EQ(a.character, b.character) << corner.first << "," << corner.second;
        EXPECT_EQ(a.attributes, b.attributes) << corner.first << "," << corner.second;
    }
}

// The starfield ends in a curve of "x" cells in its last ten columns: the
// rotozoom shows through them at its left edge. An "x" further left would let
// stale cells show through the sky scene's open band (art columns 120..159).
TEST(PictureResources, StarfieldEndsInACurveOfTransparentCells) {
    CellImage sky;
    loadCells(resourceId::starfieldArt, 160, sky);
    std::set<int> boundaries;
    for (int y = 0; y < sky.height; ++y) {
        int first = sky.width;
        while (first > 0 && sky.at(first - 1, y).character == ex)
            --first;
        EXPECT_GE(first, 150) << "row " << y;
        EXPECT_LT(first, 160) << "row " << y << " has no transparent edge";
        for (int x = 0; x < first; ++x)
            ASSERT_NE(sky.at(x, y).character, ex) << "stray x at " << x << "," << y;
        boundaries.insert(first);
    }
    EXPECT_GE(boundaries.size(), 4u) << "the edge is a straight cut, not a curve";
}

// Soft edges: no step between neighbouring texels is a hard cut, and the
// whole range from clear to opaque is used.
TEST(PictureResources, CloudMaskIsSoftEdgedAndUsesTheFullRange) {
    const std::uint8_t* mask = loadBytes(resourceId::cloudMask, 512 * 64);
    ASSERT_NE(mask, nullptr);
    std::set<int> values(mask, mask + 512 * 64);
    EXPECT_EQ(*values.begin(), 0);
    EXPECT_EQ(*values.rbegin(), 255);
    EXPECT_GE(values.size(), 128u);
    int steepest = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 512; ++x) {
            const int a = mask[y * 512 + x];
            if (x + 1 < 512)
                steepest = std::max(steepest, std::abs(a - mask[y * 512 + x + 1]));
            if (y + 1 < 64)
                steepest = std::max(steepest, std::abs(a - mask[(y + 1) * 512 + x]));
        }
    EXPECT_LE(steepest, 128);
}

// The sampler wraps, so column 127 meets column 0 and row 127 meets row 0:
// across those seams the picture may change no more than it does anywhere
// between neighbouring texels.
TEST(PictureResources, RotozoomPictureTilesWithoutASeam) {
    const std::uint8_t* p = loadBytes(resourceId::rotozoomPicture, 128 * 128);
    ASSERT_NE(p, nullptr);
    const auto at = [&](int x, int y) { return static_cast<int>(p[(y & 127) * 128 + (x & 127)]); };
    double inner = 0, seam = 0;
    for (int i = 0; i < 128; ++i) {
        for (int j = 0; j < 127; ++j)
            inner += std::abs(at(j, i) - at(j + 1, i)) + std::abs(at(i, j) - at(i, j + 1));
        seam += std::abs(at(127, i) - at(0, i)) + std::abs(at(i, 127) - at(i, 0));
    }
    const double innerMean = inner / (2.0 * 128 * 127);
    const double seamMean = seam / (2.0 * 128);
    EXPECT_LE(seamMean, 2.0 * innerMean + 1.0);
    const auto [low, high] = std::minmax_element(p, p + 128 * 128);
    EXPECT_LE(*low, 16);
    EXPECT_GE(*high, 240);
}
