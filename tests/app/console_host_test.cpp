// ConsoleHost's back buffer and text drawing.
#include "app/console_host.h"
#include "platform/headless/headless_platform.h"

#include <gtest/gtest.h>

namespace {

std::string rowText(const ConsoleHost& host, int y) {
    std::string text;
    for (int x = 0; x < host.width; ++x) {
        const auto c = static_cast<char>(host.at(x, y).character & 0xFF);
        text += c ? c : '_';
    }
    return text;
}

} // namespace

TEST(ConsoleHostText, CutAtTheRightEdgeNeverWrapped) {
    HeadlessConsole backend;
    ConsoleHost host(&backend);
    ASSERT_TRUE(host.open("title", 80, 50));
    EXPECT_TRUE(host.drawText("ABCDEFG", 240, 77, 3));
    EXPECT_EQ(rowText(host, 3).substr(75), "__ABC");
    EXPECT_EQ(host.at(79, 3).attributes, 240);
    EXPECT_EQ(host.at(0, 4).character, 0);
}

TEST(ConsoleHostText, StartsOutsideTheBufferAreRejectedWhole) {
    HeadlessConsole backend;
    ConsoleHost host(&backend);
    ASSERT_TRUE(host.open("title", 80, 50));
    EXPECT_FALSE(host.drawText("X", 240, 0, 50));
    EXPECT_FALSE(host.drawText("X", 240, -1, 0));
    EXPECT_FALSE(host.drawText("X", 240, 80, 0));
    EXPECT_FALSE(host.drawText("X", 240, 0, -1));
    for (int i = 0; i < 4000; ++i)
        ASSERT_EQ(host.cells[i].character, 0);
}

TEST(ConsoleHostText, BytesAreStoredSignExtended) {
    HeadlessConsole backend;
    ConsoleHost host(&backend);
    ASSERT_TRUE(host.open("title", 80, 50));
    EXPECT_TRUE(host.drawText("\xC5(1,2)", 240, 0, 0));
    EXPECT_EQ(host.at(0, 0).character, 0xFFC5);
    EXPECT_EQ(host.at(1, 0).character, '(');
}

TEST(ConsoleHostBuffer, ReallocationFreesAndZeroes) {
    HeadlessConsole backend;
    ConsoleHost host(&backend);
    ASSERT_TRUE(host.allocateCells(10, 4));
    host.drawText("hello", 7, 0, 0);
    ASSERT_TRUE(host.allocateCells(80, 50));
    EXPECT_EQ(host.width, 80);
    for (int i = 0; i < 4000; ++i)
        ASSERT_EQ(host.cells[i].character | host.cells[i].attributes, 0);
    host.close();
    EXPECT_EQ(host.width, 0);
    EXPECT_EQ(host.cells, nullptr);
}

TEST(ConsoleHostInput, EmptyQueueReturnsAtOnceAndMouseNeedsSwitchingOn) {
    HeadlessConsole backend;
    ConsoleHost host(&backend);
    ASSERT_TRUE(host.open("title", 80, 50));
    InputRecord record;
    EXPECT_FALSE(host.readInput(record));
    backend.mouse(3, 4, 1);
    EXPECT_FALSE(host.readInput(record));
    host.setMouseInput(true);
    backend.mouse(3, 4, 1);
    ASSERT_TRUE(host.readInput(record));
    EXPECT_EQ(record.eventType, InputRecord::mouseEvent);
    EXPECT_EQ(record.mouseX, 3);
}
