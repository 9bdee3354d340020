// Golden frames: the show rendered headless at fixed times, compared with the
// committed frames in tests/golden. SHADESTRIP_UPDATE_GOLDEN=1 rewrites them
// instead; a rewrite is reviewed like code (look at the PNGs the capture tool
// makes of the same times).
#include "platform/headless/frame_formats.h"
#include "platform/headless/headless_show.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

// One time per scene and a few seams between them.
const double goldenTimes[] = {0.5,  12.34, 23.0,  45.0,  58.0,  70.0,
                              75.5, 90.0,  117.0, 125.0, 133.0, 139.75};

std::string goldenPath(double t) {
    char name[64];
    std::snprintf(name, sizeof name, "/tests/golden/frame-%06.2f.cells", t);
    return std::string(SHADESTRIP_SOURCE_DIR) + name;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Describes the first differing cells, so a failure says where to look.
std::string describeDifferences(const std::string& expected, const std::string& actual) {
    std::string text;
    int shown = 0, total = 0;
    for (std::size_t i = 0; i + 1 < expected.size() && i + 1 < actual.size(); i += 2) {
        if (expected.compare(i, 2, actual, i, 2) == 0)
            continue;
        ++total;
        if (shown++ < 5) {
            char line[96];
            std::snprintf(line, sizeof line, "  cell (%zu, %zu): %02X/%02X expected %02X/%02X\n",
                          (i / 2) % 80, (i / 2) / 80, actual[i] & 0xFF, actual[i + 1] & 0xFF,
                          expected[i] & 0xFF, expected[i + 1] & 0xFF);
            text += line;
        }
    }
    return std::to_string(total) + " cells differ:\n" + text;
}

} // namespace

TEST(GoldenFrames, TheShowLooksAsCommitted) {
    const bool update = std::getenv("SHADESTRIP_UPDATE_GOLDEN") != nullptr;
    HeadlessShow show(100);
    ASSERT_TRUE(show.start());
    for (const double t : goldenTimes) {
        ASSERT_TRUE(show.runTo(show.frameAt(t))) << "the show ended before " << t;
        const std::string actual = encodeCells(show.cells(), 80, 50);
        const std::string path = goldenPath(t);
        if (update) {
            std::ofstream(path, std::ios::binary) << actual;
            continue;
        }
        const std::string expected = readFile(path);
        ASSERT_EQ(expected.size(), actual.size())
            << path << " is missing; run the test with SHADESTRIP_UPDATE_GOLDEN=1 to make it";
        EXPECT_TRUE(expected == actual)
            << "frame at " << t << " s: " << describeDifferences(expected, actual);
    }
}
