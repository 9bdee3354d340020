// Demo start-up, the frame loop's order of steps, pacing and teardown.
#include "demo_fixture.h"

#include "imaging/shared_random.h"

#include <cstring>

TEST_F(DemoTest, ConsoleFailureTouchesNothingElse) {
    console.failOpen = true;
    EXPECT_EQ(demo.run(), 1);
    EXPECT_EQ(reportedErrors(), std::vector<std::string>{"Demo error. Cannot initialize console."});
    EXPECT_EQ(demo.assets.ramps[0], nullptr);
    EXPECT_FALSE(player.deviceOpen);
    EXPECT_FALSE(timer.resolutionRaised);
    EXPECT_EQ(console.presentCount, 0);
}

TEST_F(DemoTest, AssetFailureSaysWhichStepAndStopsBeforeAudio) {
    overrideResource(resourceId::fireEdgeArt, nullptr, 0, false);
    EXPECT_EQ(demo.run(), 1);
    EXPECT_EQ(reportedErrors(), std::vector<std::string>{"Demo error. Cannot initialize demo."});
    EXPECT_EQ(reportedDetails(),
              std::vector<std::string>{"resource 110 (fire edge art) is missing or empty"});
    EXPECT_FALSE(player.deviceOpen);
}

TEST_F(DemoTest, AudioAndMusicFailuresShowTheMusicMessage) {
    player.failOpen = true;
    EXPECT_EQ(demo.run(), 1);
    EXPECT_FALSE(timer.resolutionRaised); // the timer is left alone when the device fails
    ASSERT_EQ(reportedErrors().size(), 1u);
    EXPECT_EQ(reportedErrors()[0], "Demo error. Cannot load music.");
}

// Where sound is wished for but not required, a device that does not answer
// makes a silent show on the timer, with the reason kept for the note; the
// music itself missing still fails.
TEST_F(DemoTest, NoDevicePlaysSilentlyWhenSoundIsNotRequired) {
    Demo::StartChoices withoutDevice;
    withoutDevice.silentWithoutDevice = true;
    demo.choose(withoutDevice);
    player.failOpen = true;
    ASSERT_TRUE(demo.start());
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_TRUE(demo.playsSilently());
    EXPECT_NE(std::string(demo.silentReason()), "");
    EXPECT_FALSE(player.deviceOpen);
    timer.ticks += 500;
    ASSERT_TRUE(demo.frame());
    EXPECT_NEAR(demo.clock.t, 0.5f, 0.02f) << "time runs on the timer";

    overrideResource(resourceId::music, nullptr, 0, false);
    Demo second(makePlatform());
    second.choose(withoutDevice);
    player.failOpen = false;
    EXPECT_FALSE(second.start());
    EXPECT_EQ(reportedErrors(), std::vector<std::string>{"Demo error. Cannot load music."});
}

TEST_F(DemoTest, MissingMusicResourceShowsTheMusicMessage) {
    overrideResource(resourceId::music, nullptr, 0, false);
    EXPECT_EQ(demo.run(), 1);
    EXPECT_EQ(reportedErrors(), std::vector<std::string>{"Demo error. Cannot load music."});
}

TEST_F(DemoTest, StartOpensTheConsoleWithItsTitleAndPlays) {
    ASSERT_TRUE(demo.start());
    EXPECT_EQ(console.title, "Please press alt+enter for full screen mode.");
    EXPECT_EQ(console.width, 80);
    EXPECT_EQ(console.height, 50);
    EXPECT_TRUE(player.deviceOpen);
    EXPECT_TRUE(player.playing);
    EXPECT_TRUE(timer.resolutionRaised);
}

TEST_F(DemoTest, EscapeEndsTheLoopBeforeAnythingIsDrawn) {
    ASSERT_TRUE(demo.start());
    console.pressKey(virtualKey::escape);
    EXPECT_FALSE(frameAt(1.0));
    EXPECT_EQ(console.presentCount, 0);
}

TEST_F(DemoTest, RunEndsByItselfAfterTheShow) {
    // The headless player's position follows the timer, which moves only when
    // the loop sleeps: start the track near its end.
    ASSERT_TRUE(demo.start());
    player.setPositionSeconds(141.45);
    const int presentsBefore = console.presentCount;
    int frames = 0;
    while (demo.step(Demo::Pacing::sleeps) == Demo::Step::ran && frames < 100)
        ++frames;
    EXPECT_EQ(frames, 6); // 141.45 .. 141.50 are drawn, 141.51 is not
    EXPECT_EQ(console.presentCount, presentsBefore + 6);
}

TEST_F(DemoTest, CloseEventDuringStartUpSkipsTheLoop) {
    consoleClosing.store(1);
    EXPECT_EQ(demo.run(), 0);
    EXPECT_EQ(console.presentCount, 0);
    EXPECT_FALSE(player.deviceOpen); // audio shut down
}

TEST_F(DemoTest, CloseEventFinishesTheFrameInProgress) {
    // A close arriving while the loop runs: that frame is still presented and
    // paced, then the loop ends with exit code 0.
    struct ClosingConsole : HeadlessConsole {
        bool present(const Cell* cells, int w, int h) override {
            consoleClosing.store(1);
            return HeadlessConsole::present(cells, w, h);
        }
    } closing;
    Platform platform = makePlatform();
    platform.console = &closing;
    Demo other(platform);
    EXPECT_EQ(other.run(), 0);
    EXPECT_EQ(closing.presentCount, 1);
    EXPECT_EQ(timer.slept.size(), 1u);
}

TEST_F(DemoTest, PacingKeepsFramesTenMillisecondsApart) {
    FramePacer pacer(&timer);
    pacer.lastTick = 1000;
    timer.ticks = 1003; // a 3 ms frame
    pacer.sleep();
    ASSERT_EQ(timer.slept.back(), 7u);
    EXPECT_EQ(pacer.lastTick, 1010u);

    timer.ticks = 1025; // 15 ms: late, no sleep
    pacer.sleep();
    EXPECT_EQ(timer.slept.back(), 0u);
    EXPECT_EQ(pacer.lastTick, 1025u);

    timer.ticks = 1025; // no time at all: a full 10 ms
    pacer.sleep();
    EXPECT_EQ(timer.slept.back(), 10u);

    // Across the wrap of the 32-bit counter: 4 ms elapsed.
    pacer.lastTick = 0xFFFFFFFEu;
    timer.ticks = 2;
    pacer.sleep();
    EXPECT_EQ(timer.slept.back(), 6u);

    // A counter that went backwards, and the first frame (lastTick 0).
    pacer.lastTick = 5000;
    timer.ticks = 4000;
    pacer.sleep();
    EXPECT_EQ(timer.slept.back(), 0u);
    pacer.lastTick = 0;
    timer.ticks = 123456;
    pacer.sleep();
    EXPECT_EQ(timer.slept.back(), 0u);
}

TEST_F(DemoTest, APageLoopSkipsFramesNotYetDue) {
    // The first frame at once; then one only when 10 ms have passed since the
    // last began, the skipped ones drawing nothing.
    ASSERT_TRUE(demo.start());
    timer.ticks = 5;
    EXPECT_EQ(demo.step(Demo::Pacing::whenDue), Demo::Step::ran);
    timer.ticks = 14;
    EXPECT_EQ(demo.step(Demo::Pacing::whenDue), Demo::Step::notDue);
    EXPECT_EQ(console.presentCount, 1);
    timer.ticks = 15;
    EXPECT_EQ(demo.step(Demo::Pacing::whenDue), Demo::Step::ran);
    EXPECT_EQ(console.presentCount, 2);
    EXPECT_TRUE(timer.slept.empty());
}

TEST_F(DemoTest, TwoRunsOfTheShowGiveTheSameFrames) {
    auto runFrames = [&](Demo& d, HeadlessConsole& c) {
        setSharedRandomState(1);
        EXPECT_TRUE(d.start());
        std::vector<std::vector<Cell>> frames;
        c.keepFrames = true;
        for (int n = 11000; n < 11050; ++n) {
            timer.ticks += 10;
            player.setPositionSeconds(n / 100.0);
            d.frame();
        }
        return c.frames;
    };
    const auto first = runFrames(demo, console);
    HeadlessConsole otherConsole;
    Platform platform = makePlatform();
    platform.console = &otherConsole;
    Demo other(platform);
    const auto second = runFrames(other, otherConsole);
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(0, std::memcmp(first[i].data(), second[i].data(), first[i].size() * sizeof(Cell)))
            << "frame " << i;
}

// A console whose frames take `delayMs` to reach the screen: the scenes, the
// title and the read-outs are drawn for the music time the frame is shown at,
// except while paused; the end of the show still shows and still ends.
TEST_F(DemoTest, ASlowConsoleGetsTheFrameForTheTimeItIsShownAt) {
    struct SlowConsole : HeadlessConsole {
        std::uint32_t presentDelayMs() const override { return 500; }
    } slow;
    Platform platform = makePlatform();
    platform.console = &slow;
    Demo ahead(platform);
    setSharedRandomState(1);
    ASSERT_TRUE(ahead.start());
    slow.pressKey(virtualKey::space); // the title read-out
    slow.mouse(10, 5, mouseButton::right);
    player.setPositionSeconds(40.0);
    ASSERT_TRUE(ahead.frame());
    EXPECT_EQ(ahead.clock.t, 40.0f) << "the clock itself is not moved";
    EXPECT_EQ(slow.title.rfind("Tempus 40.5 est", 0), 0u) << slow.title;
    const std::vector<Cell> drawnAhead = slow.lastFrame;

    setSharedRandomState(1);
    ASSERT_TRUE(demo.start());
    player.setPositionSeconds(40.5);
    ASSERT_TRUE(demo.frame());
    // The pinned read-out lies on top (it names strip column 405 - 870 + 10).
    const char* label = "\xC5(-455,5)";
    for (int i = 0; label[i] != '\0'; ++i) {
        EXPECT_EQ(drawnAhead[5 * 80 + 10 + i].character & 0xFF, label[i] & 0xFF) << i;
        console.lastFrame[5 * 80 + 10 + i] = drawnAhead[5 * 80 + 10 + i];
    }
    EXPECT_EQ(0, std::memcmp(drawnAhead.data(), console.lastFrame.data(),
                             drawnAhead.size() * sizeof(Cell)))
        << "the scenes at 40.0 + 0.5 s are the scenes at 40.5 s";

    // Paused (Home: back to 0), the picture is the clock's own time.
    slow.pressKey(virtualKey::home);
    ASSERT_TRUE(ahead.frame());
    EXPECT_EQ(slow.title.rfind("Tempus 0.0 est", 0), 0u) << slow.title;

    // Running near the end: the last frames show the end, and the show ends
    // when the clock passes it.
    slow.pressKey(virtualKey::up);
    ASSERT_TRUE(ahead.frame());
    player.setPositionSeconds(141.3);
    ASSERT_TRUE(ahead.frame());
    EXPECT_EQ(slow.title.rfind("Tempus 141.5 est", 0), 0u) << slow.title;
    player.setPositionSeconds(141.5);
    EXPECT_TRUE(ahead.frame());
    player.setPositionSeconds(141.52);
    const int presents = slow.presentCount;
    EXPECT_FALSE(ahead.frame());
    EXPECT_EQ(slow.presentCount, presents);
}
