// The authoring controls through the headless console: keys, mouse drag and
// read-outs, the title line.
#include "demo_fixture.h"

#include "timeline/strip.h"

namespace {

class ControlsTest : public DemoTest {
  protected:
    void SetUp() override {
        DemoTest::SetUp();
        ASSERT_TRUE(demo.start());
    }

    // Sets the clock as a frame at 100 fps would leave it.
    void at(float t) {
        demo.clock.t = t;
        demo.clock.dt = 0.01f;
    }

    std::string textAt(int x, int y, int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += static_cast<char>(demo.console.at(x + i, y).character & 0xFF);
        return text;
    }
};

} // namespace

TEST_F(ControlsTest, PageUpPressAndReleaseMovesFourSecondsAndPauses) {
    at(20.0f);
    console.pressKey(virtualKey::pageUp);
    EXPECT_TRUE(demo.handleInput());
    EXPECT_NEAR(demo.clock.t, 24.0f, 1e-4);
    EXPECT_TRUE(demo.clock.paused);
    EXPECT_FALSE(player.playing);
}

TEST_F(ControlsTest, BackwardStepsStopAtZero) {
    at(1.0f);
    console.pressKey(virtualKey::pageDown);
    EXPECT_TRUE(demo.handleInput());
    EXPECT_EQ(demo.clock.t, 0.0f);
    at(0.1f);
    console.pressKey(virtualKey::left); // 0.2 s each for down and up
    EXPECT_TRUE(demo.handleInput());
    EXPECT_EQ(demo.clock.t, 0.0f);
    at(5.0f);
    console.pressKey(virtualKey::left);
    demo.handleInput();
    EXPECT_NEAR(demo.clock.t, 4.6f, 1e-4);
    console.pressKey(virtualKey::right);
    demo.handleInput();
    EXPECT_NEAR(demo.clock.t, 5.0f, 1e-4);
}

TEST_F(ControlsTest, HomeAndDownJumpToFixedTimes) {
    at(50.0f);
    console.pressKey(virtualKey::home);
    demo.handleInput();
    EXPECT_EQ(demo.clock.t, 0.0f);
    console.pressKey(virtualKey::down);
    demo.handleInput();
    EXPECT_EQ(demo.clock.t, 83.0f);
    EXPECT_TRUE(demo.clock.paused);
}

TEST_F(ControlsTest, UpResumesOnlyThePauseNotTheSound) {
    at(10.0f);
    console.pressKey(virtualKey::n); // silent
    demo.handleInput();
    EXPECT_TRUE(demo.clock.silent);
    console.pressKey(virtualKey::pageUp);
    demo.handleInput();
    console.pressKey(virtualKey::up);
    demo.handleInput();
    EXPECT_FALSE(demo.clock.paused);
    EXPECT_TRUE(demo.clock.silent);
    EXPECT_FALSE(player.playing);
    console.pressKey(virtualKey::m); // sound back at the current t
    demo.handleInput();
    EXPECT_FALSE(demo.clock.silent);
    EXPECT_TRUE(player.playing);
    EXPECT_NEAR(player.streamBytesToSeconds(1, player.streamGetPosition(1)), demo.clock.t, 1e-4);
}

TEST_F(ControlsTest, EscapeLeavesQueuedEventsUnhandled) {
    at(10.0f);
    console.pressKey(virtualKey::home); // handled
    InputRecord escape;
    escape.eventType = InputRecord::keyEvent;
    escape.virtualKeyCode = virtualKey::escape;
    console.push(escape);
    console.pressKey(virtualKey::down); // never handled
    EXPECT_FALSE(demo.handleInput());
    EXPECT_EQ(demo.clock.t, 0.0f);
    EXPECT_EQ(console.input.size(), 2u);
}

TEST_F(ControlsTest, SpaceTurnsOnTheOverlayTitleAndMouse) {
    at(12.34f);
    console.mouse(5, 5, mouseButton::left); // dropped: mouse input is still off
    console.pressKey(virtualKey::space);
    demo.handleInput();
    EXPECT_TRUE(demo.controls().overlayOn);
    EXPECT_TRUE(console.mouseInput);
    EXPECT_FALSE(demo.controls().leftLabelOn);
    // 1/dt = 100 counts as 100: 100 * 0.99 + 1.
    demo.updateTitle();
    EXPECT_EQ(console.title, "Tempus 12.3 est, et FPS 100.0.");
    demo.clock.dt = 0.02f;
    demo.updateTitle();
    EXPECT_EQ(console.title, "Tempus 12.3 est, et FPS 99.5.");
}

TEST_F(ControlsTest, TitleStaysUntilSpace) {
    at(12.0f);
    demo.updateTitle();
    EXPECT_EQ(console.title, "Please press alt+enter for full screen mode.");
}

TEST_F(ControlsTest, DragKeepsTheGrabbedColumnUnderTheMouse) {
    demo.console.setMouseInput(true);
    at(20.0f);
    console.mouse(10, 5, mouseButton::left);
    demo.handleInput();
    EXPECT_EQ(demo.controls().dragAnchorColumn, 210);
    EXPECT_TRUE(demo.controls().leftLabelOn);
    EXPECT_TRUE(demo.clock.paused);
    console.mouse(30, 5, mouseButton::left);
    demo.handleInput();
    EXPECT_NEAR(demo.clock.t, 18.0f, 1e-5);
    console.mouse(30, 5, 0);
    demo.handleInput();
    EXPECT_FALSE(demo.controls().dragging);
    EXPECT_TRUE(demo.controls().leftLabelOn); // the read-out and the pause stay
    EXPECT_TRUE(demo.clock.paused);
    console.mouse(30, 5, mouseButton::left, mouseFlag::doubleClick);
    demo.handleInput();
    EXPECT_FALSE(demo.controls().leftLabelOn);
    EXPECT_FALSE(demo.clock.paused);
}

TEST_F(ControlsTest, LiveReadOutIsCutAtTheRightEdge) {
    demo.console.setMouseInput(true);
    at(87.0f);
    console.mouse(79, 3, mouseButton::left);
    demo.handleInput();
    demo.drawColumnLabels();
    EXPECT_EQ(demo.console.at(79, 3).character, 0xFFC5);
    EXPECT_EQ(demo.console.at(79, 3).attributes, 240);
    console.mouse(10, 7, 0);
    demo.handleInput();
    demo.drawColumnLabels();
    EXPECT_EQ(textAt(10, 7, 7).substr(1), "(10,7)");
}

TEST_F(ControlsTest, PinnedReadOutScrollsWithTheStripAndLeaves) {
    demo.console.setMouseInput(true);
    at(87.0f);
    console.mouse(5, 7, mouseButton::right);
    demo.handleInput();
    EXPECT_TRUE(demo.controls().pinnedLabelOn);
    EXPECT_EQ(demo.controls().pinnedColumn, 5);
    demo.drawColumnLabels();
    EXPECT_EQ(demo.console.at(5, 7).character, 0xFFC5);
    EXPECT_EQ(textAt(6, 7, 5), "(5,7)");
    // Half a second later the pin has scrolled five columns left, to column 0.
    at(87.5f);
    demo.drawColumnLabels();
    EXPECT_EQ(demo.console.at(0, 7).character, 0xFFC5);
    // Five seconds later it starts at column -45 and is not drawn.
    at(92.0f);
    for (int x = 0; x < 80; ++x)
        demo.console.at(x, 7) = Cell{'.', 7};
    demo.drawColumnLabels();
    for (int x = 0; x < 80; ++x)
        EXPECT_EQ(demo.console.at(x, 7).character, '.');
    console.mouse(5, 7, mouseButton::right, mouseFlag::doubleClick);
    demo.handleInput();
    EXPECT_FALSE(demo.controls().pinnedLabelOn);
}

// Drag seeks leave t on the 0.1 s grid. At every such time the live read-out
// names the strip column drawn under the mouse (once the scroll has stopped,
// column 1360 stays at the left edge), and a new drag's first move by one
// column scrolls by exactly one column.
TEST_F(ControlsTest, ReadOutAndDragFollowTheStripOnTheWholeGrid) {
    demo.console.setMouseInput(true);
    constexpr int mouseX = 10;
    for (int n = 0; n <= 1415; ++n) {
        const int edge = n < 1360 ? n : 1360;
        at(static_cast<float>(static_cast<float>(n) * 0.1));
        console.mouse(mouseX, 5, mouseButton::left);
        demo.handleInput();
        demo.drawColumnLabels();
        const std::string expected = "(" + std::to_string(edge + mouseX - 870) + ",5)";
        ASSERT_EQ(textAt(mouseX + 1, 5, static_cast<int>(expected.size())), expected)
            << "at grid column " << n;
        console.mouse(mouseX + 1, 5, mouseButton::left);
        demo.handleInput();
        ASSERT_EQ(stripLeftColumn(demo.clock.t), edge - 1) << "at grid column " << n;
        console.mouse(mouseX + 1, 5, 0);
        demo.handleInput();
    }
}

// ? (the slash key's code) or F1 lays the key list over the picture; the next
// other key hides it and still acts; releases and the mouse leave it.
TEST_F(ControlsTest, QuestionMarkOrF1ShowsTheKeysUntilTheNextKey) {
    at(20.0f);
    ASSERT_TRUE(frameAt(20.0));
    const Cell before = console.lastFrame[20 * 80 + 13];
    console.pressKey(virtualKey::questionMark);
    ASSERT_TRUE(frameAt(20.01));
    EXPECT_TRUE(demo.controls().helpOn);
    // The list is boxed and centred: its top border and a line of it.
    EXPECT_EQ(console.lastFrame[19 * 80 + 11].character & 0xFF, 0xC9);
    EXPECT_EQ(textAt(11, 20, 20).substr(2), "Escape         end");
    EXPECT_EQ(demo.console.at(11, 20).attributes, 0x1F);
    EXPECT_NE(before.character & 0xFF, 'E') << "the picture there was another";
    demo.console.setMouseInput(true);
    console.mouse(5, 5, 0);
    ASSERT_TRUE(frameAt(20.02));
    EXPECT_TRUE(demo.controls().helpOn) << "the mouse does not hide it";

    console.pressKey(virtualKey::home);
    ASSERT_TRUE(frameAt(20.03));
    EXPECT_FALSE(demo.controls().helpOn);
    EXPECT_EQ(demo.clock.t, 0.0f) << "the key that hides the list acts too";

    console.pressKey(virtualKey::f1);
    demo.handleInput();
    EXPECT_TRUE(demo.controls().helpOn);
    console.pressKey(virtualKey::escape);
    EXPECT_FALSE(demo.handleInput()) << "Escape still ends the show";
}
