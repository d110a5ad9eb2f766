#include <gtest/gtest.h>

#include <cstdint>

#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::kSixDigits;
using engine_test::make_engine;

void set_levels(BokehEngine& engine, int32_t levels) {
    engine.levels = levels;
    engine.mid_level = static_cast<uint16_t>((levels - 1) / 2);
}

TEST(Photons, LevelLightIsThePhotonCurveWithBrightnessAsGain) {
    auto engine = make_engine();
    set_levels(*engine, 256);
    ASSERT_EQ(engine->make_photon(1.0, 2.0), 1);
    // Brightness 2 doubles the light curve of contrast 1: P[255] = 61.0926.
    EXPECT_NEAR(engine->level_light[255], 61.0926, 61.0926 * kSixDigits);
    EXPECT_FLOAT_EQ(engine->level_light[255], 2.0f * RGB_to_Light8(255, 1.0, 1.0, 1.0));
    EXPECT_EQ(engine->level_light[0], 0.0f);
    for (int32_t m = 1; m < 256; ++m) {
        ASSERT_GT(engine->level_light[m], engine->level_light[m - 1]);
    }
    EXPECT_FLOAT_EQ(engine->mid_light, 2.0f * RGB_to_Light8(127, 1.0, 1.0, 1.0));
    EXPECT_EQ(engine->level_map[0], 0);
    EXPECT_EQ(engine->level_map[1], 127);
    EXPECT_EQ(engine->level_map[255], 127);
    EXPECT_EQ(engine->check_leaks(), 0);
}

TEST(Photons, SixteenBitLightIsTheSixteenBitSourceCurve) {
    auto engine = make_engine();
    set_levels(*engine, 32769);
    ASSERT_EQ(engine->make_photon(1.5, 1.0), 1);
    EXPECT_FLOAT_EQ(engine->level_light[32768], RGB_to_Light(32768, 1.5, 1.0, 1.0));
    EXPECT_FLOAT_EQ(engine->level_light[1021], RGB_to_Light(1021, 1.5, 1.0, 1.0));
    EXPECT_FLOAT_EQ(engine->mid_light, RGB_to_Light(16384, 1.5, 1.0, 1.0));
    EXPECT_EQ(engine->level_map[32768], 16384);
}

TEST(Photons, MoreLevelsThanTheLevelMapHoldsAreRefused) {
    auto engine = make_engine();
    set_levels(*engine, 65537);
    EXPECT_EQ(engine->make_photon(1.0, 1.0), 0);
    EXPECT_EQ(engine->error_code, engine_failure::kLevelsOutOfRange);
    EXPECT_EQ(engine->check_leaks(), 0);
}

}  // namespace
