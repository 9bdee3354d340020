// The noise cloud rendered through a mask: the texels the mask shows get
// exactly the values a full render gives them (the sample positions are carried
// across the hidden texels), and the hidden ones are not touched.
#include "imaging/shared_random.h"
#include "scenes/cloud_mask.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(NoiseCloudMask, ShownTexelsMatchAFullRenderAndHiddenOnesStay) {
    const std::uint32_t saved = sharedRandomState();
    setSharedRandomState(1);
    NoiseCloud cloud;
    ASSERT_TRUE(cloud.build(512, 64, 16, 1.0f));
    setSharedRandomState(saved);

    // Runs of every length, single texels, a column that is all hidden.
    Texture mask;
    ASSERT_TRUE(mask.allocate(512, 64));
    std::uint32_t x = 7;
    for (int i = 0; i < 512 * 64; ++i) {
        x = x * 1103515245u + 12345u;
        mask.texels[i].alpha = ((x >> 16) % 3 == 0 || i % 512 == 40) ? 0.0f : 0.5f;
    }

    Texture full;
    ASSERT_TRUE(full.allocate(512, 64));
    const Texel sentinel{-7.0f, 0.25f};
    for (const int start : {0, 300, 430}) {
        for (const float angle : {0.0f, 1.3f, 100.7f}) {
            cloud.render(angle, start, 0, 80, 50);
            std::memcpy(full.texels, cloud.target.texels, sizeof(Texel) * 512 * 64);
            cloud.target.fill(sentinel, copyBlend, 0, 0, 512, 64);
            cloud.render(angle, start, 0, 80, 50, &mask);
            for (int r = 0; r < 64; ++r) {
                for (int c = 0; c < 512; ++c) {
                    const bool rendered = r < 50 && c >= start && c < start + 80;
                    const float got = cloud.target.at(c, r).level;
                    const float want = rendered && mask.at(c, r).alpha != 0.0f ? full.at(c, r).level
                                                                               : sentinel.level;
                    // Bit for bit: the same level, not merely an equal one.
                    std::uint32_t gotBits = 0;
                    std::uint32_t wantBits = 0;
                    std::memcpy(&gotBits, &got, sizeof got);
                    std::memcpy(&wantBits, &want, sizeof want);
                    ASSERT_EQ(gotBits, wantBits)
                        << "texel " << c << "," << r << " from " << start << " at " << angle;
                }
            }
        }
    }

    // A mask smaller than the target is no mask at all.
    Texture small;
    ASSERT_TRUE(small.allocate(64, 64));
    cloud.target.fill(sentinel, copyBlend, 0, 0, 512, 64);
    cloud.render(0.5f, 0, 0, 80, 50, &small);
    EXPECT_NE(cloud.target.at(10, 10).level, sentinel.level);
}
