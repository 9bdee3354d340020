// Starting without sound and starting later in the show: no audio device is
// needed or touched, time runs on the timer, and the sound keys cannot bring
// back a stream that was never made.
#include "demo_fixture.h"

TEST_F(DemoTest, SilentStartPlaysOnTheTimerWithoutADevice) {
    player.failOpen = true; // there is no device to be had
    Demo::StartChoices silentStart;
    silentStart.silent = true;
    demo.choose(silentStart);
    timer.ticks = 5000;
    ASSERT_TRUE(demo.start());
    EXPECT_TRUE(reportedErrors().empty());
    EXPECT_FALSE(player.deviceOpen);
    EXPECT_EQ(player.stream, 0u);
    EXPECT_FALSE(timer.resolutionRaised);

    timer.ticks += 1500;
    ASSERT_TRUE(demo.frame());
    EXPECT_FLOAT_EQ(demo.clock.t, 1.5f);
    EXPECT_EQ(console.presentCount, 1);

    // M asks for the sound back: there is none, so the show stays on the timer.
    console.pressKey(virtualKey::m);
    timer.ticks += 500;
    ASSERT_TRUE(demo.frame());
    EXPECT_TRUE(demo.clock.silent);
    EXPECT_FLOAT_EQ(demo.clock.t, 2.0f);

    // Pausing, stepping and resuming work on the timer alone.
    console.pressKey(virtualKey::right);
    console.pressKey(virtualKey::n);
    console.pressKey(virtualKey::m);
    console.pressKey(virtualKey::up);
    timer.ticks += 1000;
    ASSERT_TRUE(demo.frame());
    EXPECT_GT(demo.clock.t, 3.0f);
    EXPECT_TRUE(demo.clock.silent);
    EXPECT_EQ(player.playCalls + player.pauseCalls + player.setPositionCalls, 0);
}

TEST_F(DemoTest, StartTimeMovesTheMusicAndTheTimer) {
    Demo::StartChoices later;
    later.time = 100.0f;
    demo.choose(later);
    ASSERT_TRUE(demo.start());
    EXPECT_FLOAT_EQ(demo.clock.t, 100.0f);
    // One start of playback, already at 100 s: nothing of the opening is heard.
    EXPECT_EQ(player.playCalls, 1);
    EXPECT_EQ(player.streamGetPosition(1), player.streamSecondsToBytes(1, 100.0f));
    timer.ticks += 250;
    demo.clock.update();
    EXPECT_NEAR(demo.clock.t, 100.25f, 1e-4); // read back from the stream
    EXPECT_TRUE(player.playing);

    // Silent from 100 s: the timer carries on from there.
    Demo silent(makePlatform());
    later.silent = true;
    silent.choose(later);
    ASSERT_TRUE(silent.start());
    timer.ticks += 250;
    silent.clock.update();
    EXPECT_FLOAT_EQ(silent.clock.t, 100.25f);
}
