// The software downward rounding used where there is no rounding mode
// (WebAssembly), against the processor's own downward mode: every operation
// the primitives use must give the same bits, signed zeros included.
#include "imaging/blend.h"
#include "imaging/float_env.h"
#include "imaging/texel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

// The software version, whatever this build uses itself: in a namespace of
// its own, so it cannot collide with the primitives' definitions.
#undef SHADESTRIP_SOFT_ROUNDING
#define SHADESTRIP_SOFT_ROUNDING 1
namespace soft {
#include "imaging/round_down.h"
}

namespace {

template <class F> auto bits(F v) {
    std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t> b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Operands of every kind the pictures meet: plain values around 0..1 and the
// texture sizes, both signs, values that differ in the last bits, tiny and
// huge magnitudes, and exact zeros of either sign.
class Operands {
  public:
    float nextFloat() {
        switch (pick(rng) % 6) {
        case 0:
            return uniform(rng);
        case 1:
            return uniform(rng) * 300.0f;
        case 2: {
            std::uint32_t b = static_cast<std::uint32_t>(rng());
            float v;
            std::memcpy(&v, &b, sizeof v);
            return std::isfinite(v) ? v : 1.5f;
        }
        case 3:
            return last = std::nextafter(last, static_cast<float>(pick(rng) % 2 ? 10 : -10));
        case 4:
            return static_cast<float>(static_cast<int>(pick(rng) % 200) - 100) * 0.5f;
        default:
            return pick(rng) % 2 ? 0.0f : -0.0f;
        }
    }
    double nextDouble() {
        return pick(rng) % 3 ? static_cast<double>(nextFloat()) * nextFloat() : nextFloat();
    }

  private:
    std::mt19937 rng{20261209};
    std::uniform_real_distribution<float> uniform{-2.0f, 2.0f};
    std::uniform_int_distribution<int> pick{0, 1 << 20};
    float last = 0.7f;
};

constexpr int rounds = 200000;

TEST(SoftDownwardRounding, FloatOperationsMatchTheProcessorsDownwardMode) {
    Operands operands;
    for (int i = 0; i < rounds; ++i) {
        volatile float a = operands.nextFloat(), b = operands.nextFloat();
        float sum, difference, product, quotient, root;
        {
            DownwardRounding mode;
            sum = a + b;
            difference = a - b;
            product = a * b;
            quotient = a / b;
            root = std::sqrt(std::fabs(a));
        }
        const soft::DownFloat x = a, y = b;
        ASSERT_EQ(bits(sum), bits(soft::toFloat(x + y))) << a << " + " << b;
        ASSERT_EQ(bits(difference), bits(soft::toFloat(x - y))) << a << " - " << b;
        ASSERT_EQ(bits(product), bits(soft::toFloat(x * y))) << a << " * " << b;
        if (!std::isnan(quotient)) {
            ASSERT_EQ(bits(quotient), bits(soft::toFloat(x / y))) << a << " / " << b;
        }
        ASSERT_EQ(bits(root), bits(soft::toFloat(soft::downSqrt(std::fabs(a))))) << "sqrt " << a;
    }
}

TEST(SoftDownwardRounding, DoubleSumsProductsAndConversionsMatch) {
    Operands operands;
    for (int i = 0; i < rounds; ++i) {
        volatile double a = operands.nextDouble(), b = operands.nextDouble();
        double sum, product;
        float narrowed;
        {
            DownwardRounding mode;
            sum = a + b;
            product = a * b;
            narrowed = static_cast<float>(a);
        }
        ASSERT_EQ(bits(sum), bits(soft::rounddown::add<double>(a, b))) << a << " + " << b;
        ASSERT_EQ(bits(product), bits(soft::rounddown::mul(double(a), double(b))))
            << a << " * " << b;
        ASSERT_EQ(bits(narrowed), bits(soft::rounddown::toFloat(double(a)))) << a;
    }
}

TEST(SoftDownwardRounding, ZerosAndOverflowsTakeTheDownwardModesSigns) {
    EXPECT_TRUE(std::signbit(soft::toFloat(soft::DownFloat(0.25f) - 0.25f)));
    EXPECT_TRUE(std::signbit(soft::toFloat(soft::DownFloat(0.0f) + -0.0f)));
    EXPECT_FALSE(std::signbit(soft::toFloat(soft::DownFloat(0.0f) + 0.0f)));
    // 1 / (x - x) is then minus infinity, as under the processor's mode.
    EXPECT_EQ(soft::toFloat(1.0f / (soft::DownFloat(3.0f) - 3.0f)), -HUGE_VALF);
    // Overflow upwards stops at the largest finite value, downwards it does not.
    const float big = 3.0e38f;
    EXPECT_EQ(soft::toFloat(soft::DownFloat(big) + big), 3.40282347e38f);
    EXPECT_EQ(soft::toFloat(soft::DownFloat(-big) - big), -HUGE_VALF);
    EXPECT_EQ(soft::toFloat(soft::DownFloat(big) * big), 3.40282347e38f);
    EXPECT_EQ(soft::rounddown::mul(1e200, 1e200), 1.7976931348623157e308);
}

TEST(SoftDownwardRounding, TexelRuleMatchesTheBlendUnderTheDownwardMode) {
    Operands operands;
    const BlendMode presets[] = {defaultBlend, copyBlend, overBlend, levelOnlyBlend, addAlphaBlend};
    for (int i = 0; i < rounds; ++i) {
        BlendMode mode = presets[i % 5];
        if (i % 7 == 0)
            mode = BlendMode{operands.nextFloat(), operands.nextFloat(), operands.nextFloat(),
                             operands.nextFloat(), operands.nextFloat(), operands.nextFloat(),
                             operands.nextFloat()};
        const Texel source{operands.nextFloat(), operands.nextFloat()};
        Texel expected{operands.nextFloat(), operands.nextFloat()};
        Texel actual = expected;
        {
            DownwardRounding rounding;
            mode.apply(expected, source);
        }
        soft::downApply(mode, actual, source);
        ASSERT_EQ(bits(expected.level), bits(actual.level)) << "case " << i;
        ASSERT_EQ(bits(expected.alpha), bits(actual.alpha)) << "case " << i;
    }
}

} // namespace
