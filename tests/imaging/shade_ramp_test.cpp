// Building shade ramps from key-cell records, including the shipped table.
#include "imaging/shade_ramp.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::uint8_t> shippedRamps() {
    std::ifstream file(SHADESTRIP_TEST_RESOURCE_DIR "/ramps.bin", std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void expectCell(const ShadeRamp& ramp, int k, unsigned character, unsigned attributes) {
    EXPECT_EQ(ramp.cells[k].character, character) << "cell " << k;
    EXPECT_EQ(ramp.cells[k].attributes, attributes) << "cell " << k;
}

} // namespace

TEST(ShadeRampTable, ShippedTableFillsEntriesZeroToFourteen) {
    const std::vector<std::uint8_t> bytes = shippedRamps();
    ASSERT_EQ(bytes.size(), 520u);
    ShadeRampTable table;
    ASSERT_TRUE(table.build(ByteBlob(bytes.data(), 520)));
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(table[i] != nullptr, i <= 14) << "entry " << i;

    // Ramp 1: key cells 0 and 1 are both 20/77, so they merge into one run.
    const ShadeRamp& ramp1 = *table[1];
    expectCell(ramp1, 0, 0x20, 0x77);
    expectCell(ramp1, 85, 0x20, 0x77);
    expectCell(ramp1, 86, 0xB0, 0x7F);
    expectCell(ramp1, 127, 0xB0, 0x7F);
    expectCell(ramp1, 128, 0xB1, 0x7F);
    expectCell(ramp1, 170, 0xB1, 0x7F);
    expectCell(ramp1, 171, 0xB0, 0xF7);
    expectCell(ramp1, 213, 0xB0, 0xF7);
    expectCell(ramp1, 214, 0x20, 0xFF);
    expectCell(ramp1, 255, 0x20, 0xFF);

    // Ramp 5 turns black again at the top; ramp 7 ends on a white star.
    expectCell(*table[5], 0, 0x20, 0x00);
    expectCell(*table[5], 255, 0x20, 0x00);
    expectCell(*table[7], 0, 0x20, 0x00);
    expectCell(*table[7], 255, 0x2A, 0x0F);
}

TEST(ShadeRampTable, KeyCellsCoverEqualShares) {
    // Thirteen distinct key cells: 20 indices each, but 19 for key cells 3, 6, 9, 12.
    std::vector<std::uint8_t> record = {3, 13};
    for (int i = 0; i < 13; ++i) {
        record.push_back(static_cast<std::uint8_t>('a' + i));
        record.push_back(0x07);
    }
    ShadeRampTable table;
    ASSERT_TRUE(table.build(ByteBlob(record.data(), static_cast<std::uint32_t>(record.size()))));
    std::vector<int> counts(13, 0);
    for (const Cell& cell : table[3]->cells)
        ++counts[static_cast<std::size_t>(cell.character - 'a')];
    const std::vector<int> expected = {20, 20, 20, 19, 20, 20, 19, 20, 20, 19, 20, 20, 19};
    EXPECT_EQ(counts, expected);
}

TEST(ShadeRampTable, BadRecordsFailAndLeaveTheTableEmpty) {
    ShadeRampTable table;
    // Index 3 named twice.
    const std::uint8_t twice[] = {3, 1, 0x20, 0x00, 3, 1, 0x20, 0x11};
    EXPECT_FALSE(table.build(ByteBlob(twice, sizeof twice)));
    for (const ShadeRamp* ramp : table.entries)
        EXPECT_EQ(ramp, nullptr);
    // Key cells that run past the end of the blob.
    const std::uint8_t truncated[] = {0, 1, 0x20, 0x00, 1, 4, 0x20, 0x00};
    EXPECT_FALSE(table.build(ByteBlob(truncated, sizeof truncated)));
    EXPECT_EQ(table[0], nullptr);
    // A header cut in half.
    const std::uint8_t halfHeader[] = {0, 1, 0x20, 0x00, 1};
    EXPECT_FALSE(table.build(ByteBlob(halfHeader, sizeof halfHeader)));
    EXPECT_EQ(table[0], nullptr);
    // A record with no key cells.
    const std::uint8_t noKeys[] = {2, 0, 1, 1, 0x20, 0x00};
    EXPECT_FALSE(table.build(ByteBlob(noKeys, sizeof noKeys)));
}

TEST(ShadeRampTable, EmptyBlobBuildsNothingAndSucceeds) {
    ShadeRampTable table;
    EXPECT_TRUE(table.build(ByteBlob(nullptr, 0)));
    EXPECT_EQ(table[0], nullptr);
}
