#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::make_engine;

float plane_peak(const BokehEngine& engine, int32_t plane) {
    const int32_t cells = engine.size_width[0] * engine.size_height[0];
    const float* start = engine.m_mapzp[0] + static_cast<size_t>(plane) * cells;
    return *std::max_element(start, start + cells);
}

float cell(const BokehEngine& engine, int32_t plane, int32_t y, int32_t x) {
    const int32_t w = engine.size_width[0];
    return engine.m_mapzp[0][static_cast<size_t>(plane) * w * engine.size_height[0] + y * w + x];
}

// Resizes the packed iris to diameter d in slot 0, as prepare_pattern sets the slot up.
int32_t resize_to(BokehEngine& engine, double d) {
    engine.size_diameter[0] = d;
    engine.size_width[0] = engine.size_height[0] = static_cast<int32_t>(std::ceil(d)) | 1;
    return engine.resize_pattern(0);
}

TEST(PatternResize, OddDiameterWithAndWithoutSmallDiscs) {
    auto engine = make_engine();
    EXPECT_EQ(engine->odd_diameter(4.2), 5);
    EXPECT_EQ(engine->odd_diameter(6.0), 7);
    EXPECT_EQ(engine->odd_diameter(3.0), 3);
    EXPECT_EQ(engine->odd_diameter(0.5), 1);
    EXPECT_EQ(engine->odd_diameter(0.0), 1);
    EXPECT_EQ(engine->odd_diameter(-4.0), 1);
    engine->use_micro = 1;
    EXPECT_EQ(engine->odd_diameter(1.5), 7);
    EXPECT_EQ(engine->odd_diameter(3.0), 11);
    EXPECT_EQ(engine->odd_diameter(2.5), 9);
    EXPECT_EQ(engine->odd_diameter(0.5), 5);
    EXPECT_EQ(engine->odd_diameter(3.01), 5);
    EXPECT_EQ(engine->odd_diameter(-4.0), 5);
}

TEST(PatternResize, PeakIsTheBrightestSourceByteAndTheDiscIsCentred) {
    auto engine = make_engine();
    // A colour disc whose channels peak at different values.
    std::vector<uint8_t> bgr = engine_test::disc_image(101, 3, 0);
    const std::vector<uint8_t> shape = engine_test::disc_image(101, 1, 1);
    for (size_t i = 0; i < shape.size(); ++i) {
        bgr[i * 3 + 0] = shape[i] * 60;   // blue
        bgr[i * 3 + 1] = shape[i] * 120;  // green
        bgr[i * 3 + 2] = shape[i] * 240;  // red
    }
    engine_test::pack_iris(*engine, bgr, 101, 3);
    ASSERT_EQ(engine->pattern_channels, 4);
    ASSERT_EQ(resize_to(*engine, 21.0), 1);
    EXPECT_EQ(engine->size_width[0], 21);
    const float peaks[] = {240.0f, 240.0f, 120.0f, 60.0f};
    for (int32_t p = 0; p < 4; ++p) {
        SCOPED_TRACE(p);
        EXPECT_FLOAT_EQ(plane_peak(*engine, p), peaks[p]);
        EXPECT_FLOAT_EQ(cell(*engine, p, 10, 10), peaks[p]);
        // Mirror symmetry about the centre cell shows the disc is centred.
        for (int32_t y = 0; y < 21; ++y) {
            for (int32_t x = 0; x < 21; ++x) {
                ASSERT_NEAR(cell(*engine, p, y, x), cell(*engine, p, 20 - y, 20 - x), 1e-3);
            }
        }
        EXPECT_EQ(cell(*engine, p, 0, 0), 0.0f);
    }
    engine_test::release_all(*engine);
}

TEST(PatternResize, DiameterBelowOneGivesOneBrightCell) {
    auto engine = make_engine();
    const std::vector<uint8_t> grey = engine_test::disc_image(31, 1, 200);
    engine_test::pack_iris(*engine, grey, 31, 1);
    ASSERT_EQ(resize_to(*engine, 0.5), 1);
    EXPECT_EQ(engine->size_width[0], 1);
    EXPECT_EQ(cell(*engine, 0, 0, 0), 200.0f);
    EXPECT_EQ(cell(*engine, 1, 0, 0), 200.0f);
    engine_test::release_all(*engine);
}

TEST(PatternResize, SmallDiscsAreSmearedKeepingTheirPeak) {
    struct Case {
        double diameter;
        int32_t side;
    };
    const Case cases[] = {{0.5, 5}, {1.5, 7}, {2.0, 9}, {2.5, 9}, {3.0, 11}, {3.01, 5}};
    auto engine = make_engine();
    engine->use_micro = 1;
    const std::vector<uint8_t> grey = engine_test::disc_image(63, 1, 255);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.diameter);
        engine_test::pack_iris(*engine, grey, 63, 1);
        ASSERT_EQ(resize_to(*engine, c.diameter), 1);
        EXPECT_EQ(engine->size_width[0], c.side);
        EXPECT_EQ(engine->size_height[0], c.side);
        const int32_t mid = c.side / 2;
        EXPECT_FLOAT_EQ(plane_peak(*engine, 0), 255.0f);
        EXPECT_FLOAT_EQ(cell(*engine, 0, mid, mid), 255.0f);
        EXPECT_NEAR(cell(*engine, 0, mid - 1, mid), cell(*engine, 0, mid + 1, mid), 1e-3);
        EXPECT_NEAR(cell(*engine, 0, mid, mid - 1), cell(*engine, 0, mid - 1, mid), 1e-3);
        engine_test::release_all(*engine);
    }
}

TEST(PatternResize, SmearFollowsTheGaussianOfItsDiameter) {
    auto engine = make_engine();
    engine->use_micro = 1;
    const std::vector<uint8_t> grey = engine_test::disc_image(63, 1, 255);
    engine_test::pack_iris(*engine, grey, 63, 1);
    ASSERT_EQ(resize_to(*engine, 1.0), 1);
    ASSERT_EQ(engine->size_width[0], 7);
    // One source cell smeared: a neighbour of the centre holds exp(-1 / (2 sigma^2)) of it.
    const double sigma = 1.0 * 4.0 / 35.0 + 0.05;
    const double expected = std::exp(-1.0 / (2.0 * sigma * sigma));
    EXPECT_NEAR(cell(*engine, 0, 3, 4) / 255.0, expected, expected * 1e-5);
    EXPECT_NEAR(cell(*engine, 0, 2, 3) / 255.0, expected, expected * 1e-5);
    engine_test::release_all(*engine);
}

TEST(PatternResize, DarkChannelStaysDarkWithoutUndefinedValues) {
    auto engine = make_engine();
    // Blue is 0 everywhere: its plane must be 0, before and after the smear.
    std::vector<uint8_t> bgr = engine_test::disc_image(41, 3, 0);
    const std::vector<uint8_t> shape = engine_test::disc_image(41, 1, 1);
    for (size_t i = 0; i < shape.size(); ++i) {
        bgr[i * 3 + 1] = shape[i] * 90;
        bgr[i * 3 + 2] = shape[i] * 250;
    }
    for (int32_t micro = 0; micro <= 1; ++micro) {
        SCOPED_TRACE(micro);
        engine->use_micro = micro;
        engine_test::pack_iris(*engine, bgr, 41, 3);
        ASSERT_EQ(resize_to(*engine, 2.0), 1);
        const int32_t cells = engine->size_width[0] * engine->size_height[0];
        for (int32_t i = 0; i < cells; ++i) {
            ASSERT_EQ(engine->m_mapzp[0][3 * cells + i], 0.0f) << i;
        }
        EXPECT_FLOAT_EQ(plane_peak(*engine, 1), 250.0f);
        engine_test::release_all(*engine);
    }
}

TEST(PatternResize, RefusedBuffersAreReportedAndReleased) {
    struct Case {
        int32_t micro;
        int32_t refused;
        int32_t code;
        const char* message;
    };
    const Case cases[] = {
        {0, 0, engine_failure::kResizeMemory, "(resize_pattern): not enough memory for dbl_mapp"},
        {0, 1, engine_failure::kResizeMemory, "(resize_pattern): not enough memory for m_mapzp[]"},
        {1, 2, engine_failure::kSmearMemory,
         "(smear_micro_pattern_if): not enough memory for micromapp"},
    };
    auto engine = make_engine();
    const std::vector<uint8_t> grey = engine_test::disc_image(31, 1, 255);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        engine->use_micro = c.micro;
        engine_test::pack_iris(*engine, grey, 31, 1);
        engine->error_code = 0;
        platform::refuse_allocation_after(c.refused);
        EXPECT_EQ(resize_to(*engine, 2.0), 0);
        // Exactly the stage's own temporaries were requested: nothing more.
        EXPECT_EQ(platform::refuse_allocation_after(-1), c.refused + 1);
        EXPECT_EQ(engine->error_code, c.code);
        EXPECT_STREQ(engine->message, c.message);
        engine_test::release_all(*engine);
        EXPECT_EQ(engine->check_leaks(), 0);
    }
}

TEST(PatternResize, RepeatedCallsReplaceTheirBuffers) {
    auto engine = make_engine();
    const std::vector<uint8_t> grey = engine_test::disc_image(31, 1, 255);
    engine_test::pack_iris(*engine, grey, 31, 1);
    engine_test::pack_iris(*engine, grey, 31, 1);
    // A size entry made for a small disc must not be filled with a larger one.
    ASSERT_EQ(resize_to(*engine, 3.0), 1);
    ASSERT_EQ(resize_to(*engine, 21.0), 1);
    EXPECT_FLOAT_EQ(cell(*engine, 0, 10, 10), 255.0f);
    engine_test::release_all(*engine);
    EXPECT_EQ(engine->check_leaks(), 0);
}

TEST(PatternResize, PrepareSkipsUnblurredPassesAndRefusesOversizedStamps) {
    auto engine = make_engine();
    const std::vector<uint8_t> grey = engine_test::disc_image(31, 1, 255);
    engine_test::pack_iris(*engine, grey, 31, 1);
    engine->pattern_size = 1.0;
    EXPECT_EQ(engine->prepare_pattern(), 1);
    EXPECT_EQ(engine->m_mapzp[0], nullptr);
    EXPECT_EQ(engine->newPattern, nullptr);
    EXPECT_EQ(engine->size_width[0], 1);

    engine->pattern_size = 1500.0;
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(engine->prepare_pattern(), 0);
    EXPECT_EQ(platform::refuse_allocation_after(-1), 0);
    EXPECT_EQ(engine->error_code, engine_failure::kStampTooTall);
    engine_test::release_all(*engine);
}

}  // namespace
