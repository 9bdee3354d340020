// The strip dispatcher: which rows are drawn at a given music time, with which
// screen positions, and when the show is over.
#include "timeline/strip.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Rows as the table numbers them (1-based), with their positions.
std::vector<StripCall> visible(float t) {
    StripCall calls[stripRowCount];
    const int count = findVisibleRows(t, calls);
    std::vector<StripCall> result(calls, calls + count);
    for (StripCall& call : result)
        ++call.row;
    return result;
}

std::vector<int> rows(const std::vector<StripCall>& calls) {
    std::vector<int> result;
    result.reserve(calls.size());
    for (const StripCall& call : calls)
        result.push_back(call.row);
    return result;
}

const StripCall* find(const std::vector<StripCall>& calls, int row) {
    for (const StripCall& call : calls)
        if (call.row == row)
            return &call;
    return nullptr;
}

} // namespace

TEST(StripWindow, StartShowsOnlyTheDarkBackdrop) {
    EXPECT_EQ(rows(visible(0.0f)), (std::vector<int>{1, 4}));
    // At 0.01 s the title is one column short of the screen; at 0.1 s it enters at 79.
    EXPECT_EQ(rows(visible(0.01f)), (std::vector<int>{1, 4}));
    const auto calls = visible(0.1f);
    ASSERT_NE(find(calls, 5), nullptr);
    EXPECT_EQ(find(calls, 5)->x, 79);
}

TEST(StripWindow, ScrolledScenesGetNegativePositions) {
    const auto calls = visible(12.34f);
    EXPECT_EQ(rows(calls), (std::vector<int>{1, 3, 4, 5}));
    EXPECT_EQ(find(calls, 3)->x, -3);
    EXPECT_NEAR(find(calls, 3)->xf, -3.4f, 1e-4);
    EXPECT_EQ(find(calls, 5)->x, -43);
    EXPECT_NEAR(find(calls, 5)->xf, -43.4f, 1e-4);
    // xf always lies in (x - 1, x].
    for (const StripCall& call : calls) {
        EXPECT_LE(call.xf, static_cast<float>(call.x));
        EXPECT_GT(call.xf, static_cast<float>(call.x - 1));
    }
}

TEST(StripWindow, ScenesListedInAnEarlierGroupKeepItsBase) {
    const auto calls = visible(63.95f);
    EXPECT_EQ(rows(calls), (std::vector<int>{2, 7, 8, 10, 11, 12}));
    EXPECT_EQ(find(calls, 2)->x, -359);
    EXPECT_EQ(find(calls, 7)->x, -319);
    EXPECT_EQ(find(calls, 8)->x, -359);
    EXPECT_EQ(find(calls, 10)->x, 1);
}

TEST(StripWindow, ScrollStopsAtTheLastGroup) {
    auto calls = visible(137.0f);
    EXPECT_EQ(rows(calls), (std::vector<int>{18}));
    EXPECT_EQ(calls[0].x, 0);
    EXPECT_EQ(calls[0].xf, 0.0f);
    EXPECT_EQ(rows(visible(141.5f)), (std::vector<int>{18}));
    // Rows 14 and 16 end at columns 1179 and 1359: gone once the scroll stops.
    EXPECT_EQ(rows(visible(136.01f)), (std::vector<int>{18}));
}

TEST(StripWindow, NegativeTimeShiftsTheFirstGroupRight) {
    const auto calls = visible(-0.5f);
    EXPECT_EQ(rows(calls), (std::vector<int>{1, 4}));
    EXPECT_EQ(calls[0].x, 5);
}

// The times a drag leaves (a whole column times 0.1, in float) put that column
// at the screen's left edge, and the rows are placed from the same column.
TEST(StripWindow, GridTimesPutTheirColumnAtTheLeftEdge) {
    for (int n = -100; n <= 1415; ++n) {
        const int edge = n < 1360 ? n : 1360;
        const float t = static_cast<float>(static_cast<float>(n) * 0.1);
        ASSERT_EQ(stripLeftColumn(t), edge) << "at grid column " << n;
        const auto calls = visible(t);
        if (const StripCall* dark = find(calls, 1)) {
            EXPECT_EQ(dark->x, -edge) << "at grid column " << n;
        }
        if (const StripCall* closing = find(calls, 18)) {
            EXPECT_EQ(closing->x, 1360 - edge) << "at grid column " << n;
        }
    }
}

TEST(StripWindow, NoMoreThanSixRowsRunInOneFrame) {
    for (int g = -100; g <= 1500; ++g) {
        const auto calls = visible(static_cast<float>(g) / 10.0f);
        EXPECT_LE(calls.size(), 6u) << "at column " << g;
    }
    EXPECT_EQ(visible(20.1f).size(), 6u);
}

TEST(Strip, TableGroupsAddUpToTheLastGroup) {
    int base = 0, scenes = 0;
    for (const StripEntry& entry : stripTable) {
        if (!entry.scene) {
            EXPECT_EQ(entry.start, 0);
            EXPECT_EQ(entry.length, 0);
            base += entry.groupWidth;
        } else {
            EXPECT_EQ(entry.groupWidth, 0);
            ++scenes;
        }
    }
    EXPECT_EQ(base, 1360);
    EXPECT_EQ(scenes, 13);
}

TEST(Strip, DispatchResolvesTheDarkBackdropAtTheStart) {
    DemoAssets assets;
    ASSERT_TRUE(assets.build());
    CellImage console;
    ASSERT_TRUE(console.allocate(80, 50));
    for (int i = 0; i < 4000; ++i)
        console.cells[i] = Cell{'?', 0x4E};
    ASSERT_TRUE(dispatchStrip(assets, console, 0.0f, 0.01f));
    // Ramp 0 at level 0 is a space on black, over every cell.
    for (int i = 0; i < 4000; ++i) {
        ASSERT_EQ(console.cells[i].character, 0x20) << i;
        ASSERT_EQ(console.cells[i].attributes, 0x00) << i;
    }
    // 141.5 s still draws; after it the show is over and nothing is drawn.
    EXPECT_TRUE(dispatchStrip(assets, console, 141.5f, 0.01f));
    console.cells[0] = Cell{'?', 0x4E};
    EXPECT_FALSE(dispatchStrip(assets, console, 141.51f, 0.01f));
    EXPECT_EQ(console.cells[0].character, '?');
}
