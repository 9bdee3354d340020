// The spark trail scene's path, its look-up and easing, and the painter of the
// trail, head and rays; the scene function itself is DemoAssets::drawSparkTrail.
#pragma once

#include "imaging/texture.h"

// A point of the spark's path: column from the scene's left edge, row, and the
// music time at which the spark is there.
struct SparkWaypoint {
    float column;
    float row;
    float time;
};

struct SparkPoint {
    float x;
    float y;
};

// Times strictly increasing. The last row only serves as the successor of the
// one before it.
constexpr int sparkPathCount = 82;
extern const SparkWaypoint sparkPath[sparkPathCount];
// Seconds over which the trail fades out behind the spark.
constexpr float trailLength = 2.0f;

// Binary search over rows lo..hi-1: lo when value is below row lo + 1's time,
// hi - 1 when it is at or past row hi - 1's, otherwise the row i with
// time(i) <= value < time(i + 1). Row lo's own time is never compared.
int findWaypoint(int lo, int hi, float value);
// Position between rows i and i + 1 at the given time, eased out: the spark
// leaves a waypoint fast and arrives slowly. Column relative to the scene.
SparkPoint sparkPosition(int i, float time);
// Trail, head disc and four rays at music time t, with the scene's left edge at
// column xf; every stroke has the given level and accumulates its alpha.
void paintSparkTrail(Texture& target, float level, float t, float xf);
