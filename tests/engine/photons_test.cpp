#include "engine/photons.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <tuple>

#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::kSixDigits;

// The tables are large; tests keep them on the heap.
std::unique_ptr<PhotonLight> made_photons(int32_t levels, double hardness, double brightness) {
    auto photons = std::make_unique<PhotonLight>();
    EXPECT_TRUE(photons->make_photon(levels, hardness, brightness).ok());
    return photons;
}

TEST(Photons, LevelLightIsThePhotonCurveWithBrightnessAsGain) {
    const auto photons = made_photons(256, 1.0, 2.0);
    // Brightness 2 doubles the light curve of contrast 1: P[255] = 61.0926.
    EXPECT_NEAR(photons->level_light[255], 61.0926, 61.0926 * kSixDigits);
    EXPECT_FLOAT_EQ(photons->level_light[255], 2.0f * RGB_to_Light8(255, 1.0, 1.0, 1.0));
    EXPECT_EQ(photons->level_light[0], 0.0f);
    for (int32_t m = 1; m < 256; ++m) {
        ASSERT_GT(photons->level_light[m], photons->level_light[m - 1]);
    }
    EXPECT_EQ(photons->mid_level, 127);
    EXPECT_FLOAT_EQ(photons->mid_light, 2.0f * RGB_to_Light8(127, 1.0, 1.0, 1.0));
    EXPECT_EQ(photons->level_map[0], 0);
    EXPECT_EQ(photons->level_map[1], 127);
    EXPECT_EQ(photons->level_map[255], 127);
}

TEST(Photons, SixteenBitLightIsTheSixteenBitSourceCurve) {
    const auto photons = made_photons(32769, 1.5, 1.0);
    EXPECT_FLOAT_EQ(photons->level_light[32768], RGB_to_Light(32768, 1.5, 1.0, 1.0));
    EXPECT_FLOAT_EQ(photons->level_light[1021], RGB_to_Light(1021, 1.5, 1.0, 1.0));
    EXPECT_EQ(photons->mid_level, 16384);
    EXPECT_FLOAT_EQ(photons->mid_light, RGB_to_Light(16384, 1.5, 1.0, 1.0));
    EXPECT_EQ(photons->level_map[32768], 16384);
}

// Only level 0 is dark on the usual curves; with no brightness every level is, and the bound
// lies past the last level. A table reused for fewer levels keeps the bound of its own levels.
TEST(Photons, FirstLitLevelBoundsTheDarkLevels) {
    auto photons = made_photons(256, 1.0, 1.0);
    EXPECT_EQ(photons->first_lit_level, 1);
    EXPECT_TRUE(photons->make_photon(32769, 1.5, 0.0).ok());
    EXPECT_EQ(photons->first_lit_level, 32769);
    EXPECT_TRUE(photons->make_photon(256, 2.0, 1.0).ok());
    EXPECT_EQ(photons->first_lit_level, 1);
    photons->make_linear();
    EXPECT_EQ(photons->first_lit_level, INT32_MAX);
}

// Tables asked for again with the same curve are kept; any other curve, or linear light in
// between, makes them anew.
TEST(Photons, TablesAreMadeAgainOnlyForAnotherCurve) {
    const auto soft = made_photons(256, 1.0, 1.0);
    const auto hard = made_photons(256, 2.0, 1.0);
    auto photons = made_photons(256, 1.0, 1.0);
    for (const auto& [hardness, brightness, expected] :
         {std::tuple{1.0, 1.0, soft.get()}, std::tuple{2.0, 1.0, hard.get()},
          std::tuple{1.0, 1.0, soft.get()}}) {
        ASSERT_TRUE(photons->make_photon(256, hardness, brightness).ok());
        EXPECT_EQ(photons->level_light[200], expected->level_light[200]) << hardness;
        EXPECT_EQ(photons->mid_light, expected->mid_light) << hardness;
    }
    photons->make_linear();
    ASSERT_TRUE(photons->make_photon(256, 1.0, 1.0).ok());
    EXPECT_EQ(photons->mid_level, 127);
    EXPECT_EQ(photons->first_lit_level, 1);
    EXPECT_EQ(photons->mid_light, soft->mid_light);
    // A refused request leaves nothing to keep.
    EXPECT_FALSE(photons->make_photon(65537, 1.0, 1.0).ok());
    ASSERT_TRUE(photons->make_photon(256, 1.0, 1.0).ok());
    EXPECT_EQ(photons->mid_level, 127);
}

TEST(Photons, MoreLevelsThanTheLevelMapHoldsAreRefused) {
    auto photons = std::make_unique<PhotonLight>();
    const EngineStatus status = photons->make_photon(65537, 1.0, 1.0);
    EXPECT_EQ(status.code, engine_failure::kLevelsOutOfRange);
    EXPECT_STREQ(status.message, "(make_photon): the number of channel levels is outside 1..65536");
}

}  // namespace
