// The spark trail scene: the path look-up and its easing, the trail's fading
// vertices, the head and rays, and the times the spark is below the screen.
#include "canvas_scene_fixture.h"
#include "scenes/spark_trail.h"

#include <gtest/gtest.h>

TEST(SparkPath, LookUpFindsTheSegmentUnderWay) {
    for (int i = 0; i + 1 < sparkPathCount; ++i)
        ASSERT_LT(sparkPath[i].time, sparkPath[i + 1].time) << i;
    EXPECT_EQ(findWaypoint(0, 81, 59.0f), 0);
    EXPECT_EQ(findWaypoint(0, 81, 61.0f), 2);
    EXPECT_EQ(findWaypoint(0, 81, 61.1f), 2);
    EXPECT_EQ(findWaypoint(0, 81, 86.0f), 80);
    EXPECT_EQ(findWaypoint(0, 81, 1000.0f), 80);
    // Row lo's own time is never compared: lo comes back for any earlier value.
    EXPECT_EQ(findWaypoint(3, 81, 0.0f), 3);
}

TEST(SparkPath, PositionEasesOutBetweenWaypoints) {
    const SparkPoint at = sparkPosition(2, 61.0f);
    EXPECT_EQ(at.x, 10.0f);
    EXPECT_EQ(at.y, 35.0f);
    // Half the time: three quarters of the way from (10, 35) to (15, 40).
    const SparkPoint mid = sparkPosition(2, 61.0625f);
    EXPECT_EQ(mid.x, 13.75f);
    EXPECT_EQ(mid.y, 38.75f);
    const SparkPoint end = sparkPosition(2, 61.125f);
    EXPECT_EQ(end.x, 15.0f);
    EXPECT_EQ(end.y, 40.0f);
}

TEST(SparkTrail, TrailFadesTowardsTheTailAndRaysTowardsTheirTips) {
    Texture layer;
    ASSERT_TRUE(layer.allocate(128, 64));
    // t = 61: the tail is at waypoint 0 (0, 64), the head exactly on waypoint 2
    // (10, 35); the trail from waypoint 1 (alpha 0.5) to 2 (alpha 1) is painted.
    paintSparkTrail(layer, 1.0f, 61.0f, 0.0f);
    // Row 50 is 14 of the trail's 29 rows up from waypoint 1: alpha 0.741,
    // split between the two texels around x = 4.83.
    const float row50 = layer.at(3, 50).alpha + layer.at(4, 50).alpha + layer.at(5, 50).alpha +
                        layer.at(6, 50).alpha;
    EXPECT_NEAR(row50, 0.5f + 0.5f * 14.0f / 29.0f, 0.01f);
    EXPECT_GT(layer.at(10, 35).alpha, 1.0f);
    // The right and lower rays, halfway to their tips.
    EXPECT_NEAR(layer.at(13, 35).alpha, 0.5f, 0.02f);
    EXPECT_NEAR(layer.at(10, 38).alpha, 0.5f, 0.02f);
    EXPECT_EQ(layer.at(17, 35).alpha, 0.0f);
    EXPECT_EQ(layer.at(30, 20).alpha, 0.0f);
    EXPECT_EQ(layer.at(30, 20).level, 0.0f);

    // The scene's left edge shifts everything.
    Texture shifted;
    ASSERT_TRUE(shifted.allocate(128, 64));
    paintSparkTrail(shifted, 1.0f, 61.0f, 20.0f);
    EXPECT_EQ(shifted.at(33, 35).alpha, layer.at(13, 35).alpha);
}

using SparkTrailScene = CanvasScene;

TEST_F(SparkTrailScene, HeadBrightensTheCanvasThroughRamp3) {
    // t = 61: the scene's left edge at screen column 30 (x = 30 in this test).
    assets.drawSparkTrail(console, 61.0f, 0.01f, 30, 30.0f, 240);
    EXPECT_EQ(assets.canvas.at(40, 35).ramp, assets.ramps[3]);
    EXPECT_EQ(assets.canvas.at(40, 35).level, 1.0f);
    EXPECT_TRUE(unchanged(60, 10));
    EXPECT_TRUE(unchanged(10, 35)); // left of the scene
}

TEST_F(SparkTrailScene, BelowTheScreenBeforeAndAfterItsFlight) {
    // Before 60 s and after 78.875 s the spark is below row 50: it paints the
    // layer's last rows but nothing reaches the canvas.
    struct Frame {
        float t;
        int x;
    };
    for (const Frame& f : {Frame{58.0f, 60}, Frame{86.0f, -220}}) {
        assets.drawSparkTrail(console, f.t, 0.01f, f.x, static_cast<float>(f.x), 240);
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 80; ++x)
                ASSERT_TRUE(unchanged(x, y)) << f.t << ": " << x << "," << y;
        float below = 0;
        for (int y = 50; y < 64; ++y)
            for (int x = 0; x < 128; ++x)
                below += assets.layer.at(x, y).alpha;
        EXPECT_GT(below, 1.0f) << f.t;
    }
}
