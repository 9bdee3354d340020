// The row form of the smoothstep sampler must give sampleSmooth's levels bit
// for bit (the noise cloud's pictures depend on it), wherever the row lies.
#include "imaging/shared_random.h"
#include "imaging/texture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool sameBits(float a, float b) {
    return bitsOf(a) == bitsOf(b);
}

// Checks `count` samples of the row against sampleSmooth one by one, computing
// the positions exactly as the row does (u + uOffset, u growing by float additions).
void expectRowMatches(const Texture& texture, int count, float uStart, float du, float uOffset,
                      float v) {
    std::vector<Texel> row(count, Texel{7.0f, 0.5f});
    texture.sampleSmoothRow(row.data(), count, uStart, du, uOffset, v, false);
    std::vector<Texel> sum(row);
    texture.sampleSmoothRow(sum.data(), count, uStart, du, uOffset, v, true);
    float u = uStart;
    for (int i = 0; i < count; ++i, u += du) {
        Texel expected;
        texture.sampleSmooth(expected, u + uOffset, v);
        ASSERT_TRUE(sameBits(row[i].level, expected.level))
            << "sample " << i << " at u " << u + uOffset << ", v " << v << ": " << row[i].level
            << " instead of " << expected.level;
        ASSERT_TRUE(sameBits(sum[i].level, expected.level + expected.level)) << i;
        ASSERT_EQ(row[i].alpha, 0.5f) << "alphas are left alone";
    }
}

} // namespace

TEST(SampleSmoothRow, MatchesSampleSmoothBitForBit) {
    const std::uint32_t saved = sharedRandomState();
    setSharedRandomState(99);
    Texture texture;
    ASSERT_TRUE(texture.allocate(64, 4));
    texture.fillNoise(copyBlend, 0, 0, 64, 4);
    setSharedRandomState(saved);

    // The cloud's own steps and offsets, rows all over and beyond the texture,
    // negative positions, and positions far out where wrapping and rounding bite.
    const float du = 1.0f / 512.0f;
    for (float v : {0.0f, 0.3f, 0.999f, 1.7f, -0.26f, 13.01f})
        for (float offset : {0.0f, 0.5f, 0.8535534f, -3.25f})
            expectRowMatches(texture, 80, 17.0f * du, du, offset, v);
    expectRowMatches(texture, 300, -100.0f, 0.37f, 0.1f, 2.5f);
    expectRowMatches(texture, 50, 1.0e6f, 1.0f, 0.0f, -1.0e6f);
}

TEST(SampleSmoothRow, PositionsBeyondIntegersAndNaNDoNotReadOutside) {
    Texture texture;
    ASSERT_TRUE(texture.allocate(32, 4));
    texture.fill(Texel{0.25f, 1.0f}, copyBlend, 0, 0, 32, 4);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float u : {inf, -inf, nan, 3.0e9f, -3.0e9f})
        for (float v : {inf, nan, 0.5f, -3.0e9f})
            expectRowMatches(texture, 4, u, 0.0f, 0.0f, v);
}
