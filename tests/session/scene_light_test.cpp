// The rules that bring float values from files and hosts to the light the effect takes and back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "session/scene_light.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(SceneLight, CleaningKeepsLightAndMakesEverythingElseLight) {
    EXPECT_EQ(session::clean_light(0.5f), 0.5f);
    EXPECT_EQ(session::clean_light(4000.0f), 4000.0f);
    EXPECT_EQ(session::clean_light(NAN), 0.0f);
    EXPECT_EQ(session::clean_light(-kInf), 0.0f);
    EXPECT_EQ(session::clean_light(-0.25f), 0.0f);
    EXPECT_EQ(session::clean_light(kInf), PF_FLOAT_LIGHT_MAX);
    EXPECT_EQ(session::clean_light(3e30f), PF_FLOAT_LIGHT_MAX);
    EXPECT_EQ(session::clean_light(PF_FLOAT_LIGHT_MAX), PF_FLOAT_LIGHT_MAX);
}

TEST(SceneLight, AWorldCountsEachPixelWithAnythingToCleanOnce) {
    host::World world(4, 1, host::World::Depth::kFloat);
    world.pixel_float(0, 0) = PF_PixelFloat{1.0f, NAN, -1.0f, kInf};  // three bad channels
    world.pixel_float(1, 0) = PF_PixelFloat{NAN, 0.5f, 0.5f, 0.5f};
    world.pixel_float(2, 0) = PF_PixelFloat{1.0f, 2.0f, 0.0f, -0.0f};  // nothing worth a word
    world.pixel_float(3, 0) = PF_PixelFloat{1.0f, 1.0f, 1.0f, 1.0f};
    EXPECT_EQ(session::clean_world(world), 2);
    const PF_PixelFloat& cleaned = world.pixel_float(0, 0);
    EXPECT_EQ(cleaned.red, 0.0f);
    EXPECT_EQ(cleaned.green, 0.0f);
    EXPECT_EQ(cleaned.blue, PF_FLOAT_LIGHT_MAX);
    EXPECT_EQ(world.pixel_float(1, 0).alpha, 0.0f);
    EXPECT_EQ(session::clean_world(world), 0);
}

TEST(SceneLight, UnpremultiplyingThenPremultiplyingGivesTheFilesValuesBack) {
    const PF_PixelFloat stored[] = {
        {0.5f, 0.25f, 0.125f, 0.0f},  // half covered
        {1.0f, 3.0f, 0.5f, 0.25f},    // opaque, brighter than white
        {0.0f, 2.0f, 1.0f, 0.5f},     // no coverage, only light: a glow added on top
        {0.0f, 0.0f, 0.0f, 0.0f},    {1e-3f, 7e-4f, 1e-5f, 0.0f},
    };
    for (const PF_PixelFloat& pixel : stored) {
        const PF_PixelFloat straight = session::unpremultiplied(pixel);
        const PF_PixelFloat back = session::premultiplied(straight);
        EXPECT_EQ(back.alpha, pixel.alpha);
        EXPECT_NEAR(back.red, pixel.red, 1e-6f * std::abs(pixel.red));
        EXPECT_NEAR(back.green, pixel.green, 1e-6f * std::abs(pixel.green));
        EXPECT_NEAR(back.blue, pixel.blue, 1e-6f * std::abs(pixel.blue));
    }
    EXPECT_EQ(session::unpremultiplied(stored[0]).red, 0.5f);
    // The glow is kept as light, not divided away or dropped.
    EXPECT_EQ(session::unpremultiplied(stored[2]).red, 2.0f);
    EXPECT_EQ(session::premultiplied(stored[2]).red, 2.0f);
}

TEST(SceneLight, ColourOverAlmostNoAlphaStaysBelowTheLargestLight) {
    const PF_PixelFloat straight = session::unpremultiplied({1e-30f, 1e10f, 1.0f, 0.0f});
    EXPECT_EQ(straight.red, PF_FLOAT_LIGHT_MAX);
    EXPECT_TRUE(std::isfinite(straight.green));
}

}  // namespace
