#include <gtest/gtest.h>

#include <cstdint>

#include "engine/light_curve.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::kSixDigits;
using engine_test::make_engine;

void set_values(BokehEngine& engine, std::initializer_list<int32_t> values, int32_t levels) {
    engine.value_count = 0;
    for (int32_t v : values) {
        engine.stamp_values[engine.value_count++] = v;
    }
    engine.levels = levels;
    engine.mid_level = static_cast<uint16_t>((levels - 1) / 2);
}

TEST(Photons, TwoValueTableIsSignedLightOfEveryLevel) {
    auto engine = make_engine();
    set_values(*engine, {0, 255}, 256);
    ASSERT_EQ(engine->make_photon(1.0, 2.0), 1);
    const float* rising = engine->photon_rows[1 * 256 + 0];
    const float* falling = engine->photon_rows[0 * 256 + 1];
    ASSERT_EQ(rising, engine->Diff_Photon + 2 * 256);
    ASSERT_EQ(falling, engine->Diff_Photon + 1 * 256);
    EXPECT_EQ(engine->photon_rows[2 * 256 + 0], nullptr);
    for (int32_t m = 0; m < 256; ++m) {
        ASSERT_EQ(engine->photon_rows[0][m], 0.0f);
        ASSERT_EQ(engine->photon_rows[257][m], 0.0f);
        ASSERT_EQ(rising[m], -falling[m]);
    }
    // Brightness 2 doubles the light curve of contrast 1: P[255] = 61.0926.
    EXPECT_NEAR(rising[255] / 255.0f, 61.0926, 61.0926 * kSixDigits);
    EXPECT_FLOAT_EQ(rising[255] / 255.0f, 2.0f * RGB_to_Light8(255, 1.0, 1.0, 1.0));
    EXPECT_EQ(rising[0], 0.0f);
    EXPECT_FLOAT_EQ(engine->mid_light, 2.0f * RGB_to_Light8(127, 1.0, 1.0, 1.0));
    EXPECT_EQ(engine->level_map[0], 0);
    EXPECT_EQ(engine->level_map[1], 127);
    EXPECT_EQ(engine->level_map[255], 127);
    engine->free_photons();
}

TEST(Photons, PairsAreAntisymmetricDifferencesOfStampValues) {
    auto engine = make_engine();
    set_values(*engine, {0, 8, 64, 248, 255}, 32769);
    ASSERT_EQ(engine->make_photon(1.5, 1.0), 1);
    const float* unit = engine->photon_rows[1 * 256 + 0];  // 8 - 0
    for (int32_t k = 0; k < 5; ++k) {
        for (int32_t l = 0; l < 5; ++l) {
            const float* pair = engine->photon_rows[k * 256 + l];
            ASSERT_EQ(pair, engine->Diff_Photon + (k * 5 + l) * 32769);
            const float* mirror = engine->photon_rows[l * 256 + k];
            const float scale =
                static_cast<float>(engine->stamp_values[k] - engine->stamp_values[l]) / 8.0f;
            for (int32_t m = 0; m < 32769; m += 1021) {
                ASSERT_EQ(pair[m], -mirror[m]);
                ASSERT_FLOAT_EQ(pair[m], unit[m] * scale);
            }
        }
    }
    // The 16-bit photon curve is the 16-bit source curve of the same contrast.
    EXPECT_FLOAT_EQ(unit[32768] / 8.0f, RGB_to_Light(32768, 1.5, 1.0, 1.0));
    EXPECT_FLOAT_EQ(engine->mid_light, RGB_to_Light(16384, 1.5, 1.0, 1.0));
    EXPECT_EQ(engine->level_map[32768], 16384);
    engine->free_photons();
}

TEST(Photons, RefusalsAreReported) {
    auto engine = make_engine();
    set_values(*engine, {0, 255}, 256);
    platform::refuse_allocation_after(0);
    EXPECT_EQ(engine->make_photon(1.0, 1.0), 0);
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(engine->error_code, 12);
    EXPECT_STREQ(engine->message, "(make_photon): not enough memory for Diff_Photon");
    EXPECT_EQ(engine->Diff_Photon, nullptr);

    ASSERT_EQ(engine->make_photon(1.0, 1.0), 1);
    float* const held = engine->Diff_Photon;
    EXPECT_EQ(engine->make_photon(1.0, 1.0), 0);
    EXPECT_EQ(engine->error_code, 13);
    EXPECT_STREQ(engine->message, "Diff_Photon is not NULL before allocation at make_photon()");
    EXPECT_EQ(engine->Diff_Photon, held);
    engine->free_photons();

    // More levels than the level map holds would be written past it.
    set_values(*engine, {0, 255}, 65537);
    EXPECT_EQ(engine->make_photon(1.0, 1.0), 0);
    EXPECT_EQ(engine->error_code, 21);
    EXPECT_EQ(engine->check_leaks(), 0);
}

}  // namespace
