// The level table answers exactly what rounding the inverse light curve answers, at every
// threshold and between them.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "engine/light_curve.h"
#include "render/light_levels.h"

namespace {

int direct_level(float light, double hardness, bool deep, double scale, int max_level) {
    const double v = Light_to_RGB(light, deep ? 1 : 0, hardness, 1.0) * scale + 0.5;
    if (!(v >= 1.0)) {
        return 0;
    }
    return v >= max_level ? max_level : static_cast<int>(v);
}

float next_up(float f) {
    return std::nextafter(f, std::numeric_limits<float>::infinity());
}

float next_down(float f) {
    return std::nextafter(f, -std::numeric_limits<float>::infinity());
}

struct Case {
    double hardness;
    bool deep;
    double scale;
};

TEST(LightLevels, AgreeWithTheInverseCurveAtEveryThresholdAndBetween) {
    std::mt19937 rng(5);
    for (const Case& c :
         {Case{1.0, false, 1.0}, Case{1.5, false, 1.0}, Case{0.39996337890625, false, 1.0},
          Case{2.0, false, 1.0 / 0.3f}, Case{1.0, true, 1.0}, Case{1.7, true, 2.0}}) {
        SCOPED_TRACE(testing::Message()
                     << "hardness " << c.hardness << " deep " << c.deep << " scale " << c.scale);
        const int max_level = c.deep ? 32768 : 255;
        const render::LightLevels levels(c.hardness, c.deep, c.scale, max_level);
        int mismatches = 0;
        const auto check = [&](float light) {
            const int expected = direct_level(light, c.hardness, c.deep, c.scale, max_level);
            if (levels.level(light) != expected && ++mismatches < 5) {
                ADD_FAILURE() << "light " << light << ": " << levels.level(light) << " instead of "
                              << expected;
            }
        };
        for (int k = 1; k <= max_level; ++k) {
            const float t = levels.threshold(k);
            check(t);
            check(next_down(t));
            check(next_up(t));
        }
        const float top = levels.threshold(max_level) * 2.0f;
        std::uniform_real_distribution<float> anywhere(0.0f, top);
        for (int i = 0; i < 20000; ++i) {
            check(anywhere(rng));
            // Log-spread too, for the dark end where levels crowd into small lights.
            check(std::ldexp(anywhere(rng) / top, -std::uniform_int_distribution<int>(0, 30)(rng)));
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(LightLevels, DarkUndefinedAndEndlessLight) {
    const render::LightLevels levels(1.0, false, 1.0, 255);
    EXPECT_EQ(levels.level(0.0f), 0);
    EXPECT_EQ(levels.level(-0.0f), 0);
    EXPECT_EQ(levels.level(-5.0f), 0);
    EXPECT_EQ(levels.level(-1.0e30f), 0);
    EXPECT_EQ(levels.level(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(levels.level(std::numeric_limits<float>::infinity()), 255);
    EXPECT_EQ(levels.level(1.0e30f), 255);
    // The light of an 8-bit level comes back as that level.
    EXPECT_EQ(levels.level(RGB_to_Light8(200, 1.0, 1.0, 1.0)), 200);
    EXPECT_EQ(levels.level(RGB_to_Light8(1, 1.0, 1.0, 1.0)), 1);
}

}  // namespace
