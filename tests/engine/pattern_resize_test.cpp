#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "engine/stamp.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::pack_iris;

float plane_peak(const SizePattern& sized, int32_t plane) {
    const int32_t cells = sized.width * sized.height;
    const float* start = sized.m_mapzp.get() + static_cast<size_t>(plane) * cells;
    return *std::max_element(start, start + cells);
}

float cell(const SizePattern& sized, int32_t plane, int32_t y, int32_t x) {
    const int32_t w = sized.width;
    return sized.m_mapzp[static_cast<size_t>(plane) * w * sized.height + y * w + x];
}

TEST(PatternResize, OddDiameterWithAndWithoutSmallDiscs) {
    EXPECT_EQ(odd_diameter(4.2, false), 5);
    EXPECT_EQ(odd_diameter(6.0, false), 7);
    EXPECT_EQ(odd_diameter(3.0, false), 3);
    EXPECT_EQ(odd_diameter(0.5, false), 1);
    EXPECT_EQ(odd_diameter(0.0, false), 1);
    EXPECT_EQ(odd_diameter(-4.0, false), 1);
    EXPECT_EQ(odd_diameter(1.5, true), 7);
    EXPECT_EQ(odd_diameter(3.0, true), 11);
    EXPECT_EQ(odd_diameter(2.5, true), 9);
    EXPECT_EQ(odd_diameter(0.5, true), 5);
    EXPECT_EQ(odd_diameter(3.01, true), 5);
    EXPECT_EQ(odd_diameter(-4.0, true), 5);
}

TEST(PatternResize, PeakIsTheBrightestSourceByteAndTheDiscIsCentred) {
    // A colour disc whose channels peak at different values.
    std::vector<uint8_t> bgr = engine_test::disc_image(101, 3, 0);
    const std::vector<uint8_t> shape = engine_test::disc_image(101, 1, 1);
    for (size_t i = 0; i < shape.size(); ++i) {
        bgr[i * 3 + 0] = shape[i] * 60;   // blue
        bgr[i * 3 + 1] = shape[i] * 120;  // green
        bgr[i * 3 + 2] = shape[i] * 240;  // red
    }
    const IrisPattern pattern = pack_iris(bgr, 101, 3);
    ASSERT_EQ(pattern.channels(), 4);
    SizePattern sized;
    ASSERT_TRUE(sized.resize_pattern(pattern, 21.0, false).ok());
    EXPECT_EQ(sized.width, 21);
    const float peaks[] = {240.0f, 240.0f, 120.0f, 60.0f};
    for (int32_t p = 0; p < 4; ++p) {
        SCOPED_TRACE(p);
        EXPECT_FLOAT_EQ(plane_peak(sized, p), peaks[p]);
        EXPECT_FLOAT_EQ(cell(sized, p, 10, 10), peaks[p]);
        // Mirror symmetry about the centre cell shows the disc is centred.
        for (int32_t y = 0; y < 21; ++y) {
            for (int32_t x = 0; x < 21; ++x) {
                ASSERT_NEAR(cell(sized, p, y, x), cell(sized, p, 20 - y, 20 - x), 1e-3);
            }
        }
        EXPECT_EQ(cell(sized, p, 0, 0), 0.0f);
    }
}

TEST(PatternResize, DiameterBelowOneGivesOneBrightCell) {
    const std::vector<uint8_t> grey = engine_test::disc_image(31, 1, 200);
    SizePattern sized;
    ASSERT_TRUE(sized.resize_pattern(pack_iris(grey, 31, 1), 0.5, false).ok());
    EXPECT_EQ(sized.width, 1);
    EXPECT_EQ(cell(sized, 0, 0, 0), 200.0f);
    EXPECT_EQ(cell(sized, 1, 0, 0), 200.0f);
}

TEST(PatternResize, SmallDiscsAreSmearedKeepingTheirPeak) {
    struct Case {
        double diameter;
        int32_t side;
    };
    const Case cases[] = {{0.5, 5}, {1.5, 7}, {2.0, 9}, {2.5, 9}, {3.0, 11}, {3.01, 5}};
    const IrisPattern pattern = pack_iris(engine_test::disc_image(63, 1, 255), 63, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.diameter);
        SizePattern sized;
        ASSERT_TRUE(sized.resize_pattern(pattern, c.diameter, true).ok());
        EXPECT_EQ(sized.width, c.side);
        EXPECT_EQ(sized.height, c.side);
        const int32_t mid = c.side / 2;
        EXPECT_FLOAT_EQ(plane_peak(sized, 0), 255.0f);
        EXPECT_FLOAT_EQ(cell(sized, 0, mid, mid), 255.0f);
        EXPECT_NEAR(cell(sized, 0, mid - 1, mid), cell(sized, 0, mid + 1, mid), 1e-3);
        EXPECT_NEAR(cell(sized, 0, mid, mid - 1), cell(sized, 0, mid - 1, mid), 1e-3);
    }
}

TEST(PatternResize, SmearFollowsTheGaussianOfItsDiameter) {
    SizePattern sized;
    ASSERT_TRUE(
        sized.resize_pattern(pack_iris(engine_test::disc_image(63, 1, 255), 63, 1), 1.0, true)
            .ok());
    ASSERT_EQ(sized.width, 7);
    // One source cell smeared: a neighbour of the centre holds exp(-1 / (2 sigma^2)) of it.
    const double sigma = 1.0 * 4.0 / 35.0 + 0.05;
    const double expected = std::exp(-1.0 / (2.0 * sigma * sigma));
    EXPECT_NEAR(cell(sized, 0, 3, 4) / 255.0, expected, expected * 1e-5);
    EXPECT_NEAR(cell(sized, 0, 2, 3) / 255.0, expected, expected * 1e-5);
}

TEST(PatternResize, DarkChannelStaysDarkWithoutUndefinedValues) {
    // Blue is 0 everywhere: its plane must be 0, before and after the smear.
    std::vector<uint8_t> bgr = engine_test::disc_image(41, 3, 0);
    const std::vector<uint8_t> shape = engine_test::disc_image(41, 1, 1);
    for (size_t i = 0; i < shape.size(); ++i) {
        bgr[i * 3 + 1] = shape[i] * 90;
        bgr[i * 3 + 2] = shape[i] * 250;
    }
    const IrisPattern pattern = pack_iris(bgr, 41, 3);
    for (const bool micro : {false, true}) {
        SCOPED_TRACE(micro);
        SizePattern sized;
        ASSERT_TRUE(sized.resize_pattern(pattern, 2.0, micro).ok());
        const int32_t cells = sized.width * sized.height;
        for (int32_t i = 0; i < cells; ++i) {
            ASSERT_EQ(sized.m_mapzp[3 * cells + i], 0.0f) << i;
        }
        EXPECT_FLOAT_EQ(plane_peak(sized, 1), 250.0f);
    }
}

TEST(PatternResize, RefusedBuffersAreReportedAndReleased) {
    struct Case {
        bool micro;
        int32_t refused;
        int32_t code;
        const char* message;
    };
    const Case cases[] = {
        {false, 0, engine_failure::kResizeMemory,
         "(resize_pattern): not enough memory for dbl_mapp"},
        {false, 1, engine_failure::kResizeMemory,
         "(resize_pattern): not enough memory for m_mapzp[]"},
        {true, 2, engine_failure::kSmearMemory,
         "(smear_micro_pattern_if): not enough memory for micromapp"},
    };
    const IrisPattern pattern = pack_iris(engine_test::disc_image(31, 1, 255), 31, 1);
    const int live_before = platform::live_allocations();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        {
            SizePattern sized;
            platform::refuse_allocation_after(c.refused);
            const EngineStatus status = sized.resize_pattern(pattern, 2.0, c.micro);
            // Exactly the stage's own temporaries were requested: nothing more.
            EXPECT_EQ(platform::refuse_allocation_after(-1), c.refused + 1);
            EXPECT_EQ(status.code, c.code);
            EXPECT_STREQ(status.message, c.message);
        }
        EXPECT_EQ(platform::live_allocations(), live_before);
    }
}

// A large colour iris's planes are resized on threads of their own: the cells are those of one
// thread, each plane peaks at its own brightest byte, and each is centred.
TEST(PatternResize, ALargeIrisResizedOnThreadsMatchesOneThread) {
    constexpr int32_t kSide = 181;
    std::vector<uint8_t> bgr = engine_test::disc_image(kSide, 3, 0);
    const std::vector<uint8_t> shape = engine_test::disc_image(kSide, 1, 1);
    for (size_t i = 0; i < shape.size(); ++i) {
        bgr[i * 3 + 0] = static_cast<uint8_t>(shape[i] * 50);
        bgr[i * 3 + 1] = static_cast<uint8_t>(shape[i] * 150);
        bgr[i * 3 + 2] = static_cast<uint8_t>(shape[i] * 250);
    }
    const IrisPattern pattern = pack_iris(bgr, kSide, 3);
    ASSERT_EQ(pattern.channels(), 4);
    const int threads_before = omp_get_max_threads();
    std::vector<std::vector<float>> cells;
    for (const int threads : {1, 2, 3}) {
        omp_set_num_threads(threads);
        SizePattern sized;
        const bool resized = sized.resize_pattern(pattern, 60.5, false).ok();
        omp_set_num_threads(threads_before);
        ASSERT_TRUE(resized);
        ASSERT_EQ(sized.width, 61);
        const size_t count = static_cast<size_t>(4 * sized.width * sized.height);
        cells.emplace_back(sized.m_mapzp.get(), sized.m_mapzp.get() + count);
        for (int32_t p = 0; p < 4; ++p) {
            EXPECT_NEAR(cell(sized, p, 30, 30), plane_peak(sized, p), 1e-3) << p;
            EXPECT_NEAR(cell(sized, p, 30, 10), cell(sized, p, 30, 50), 1e-3) << p;
        }
        EXPECT_FLOAT_EQ(plane_peak(sized, 3), 50.0f);
    }
    EXPECT_EQ(cells[1], cells[0]);
    EXPECT_EQ(cells[2], cells[0]);
}

TEST(PatternResize, RepeatedCallsReplaceTheirBuffers) {
    const std::vector<uint8_t> grey = engine_test::disc_image(31, 1, 255);
    const int live_before = platform::live_allocations();
    {
        IrisPattern pattern = pack_iris(grey, 31, 1);
        ASSERT_TRUE(pattern.pack_pattern_alpha(engine_test::iris_of(grey, 31, 31, 1, 31)).ok());
        pattern.measure_pattern();
        // A size pattern made for a small disc must not be filled with a larger one.
        SizePattern sized;
        ASSERT_TRUE(sized.resize_pattern(pattern, 3.0, false).ok());
        ASSERT_TRUE(sized.resize_pattern(pattern, 21.0, false).ok());
        EXPECT_FLOAT_EQ(cell(sized, 0, 10, 10), 255.0f);
    }
    EXPECT_EQ(platform::live_allocations(), live_before);
}

TEST(PatternResize, PrepareSkipsUnblurredPassesAndRefusesOversizedStamps) {
    const IrisPattern pattern = pack_iris(engine_test::disc_image(31, 1, 255), 31, 1);
    PassInputs in;
    in.blur = 1.0;
    SizePattern sized;
    Stamp stamp;
    EXPECT_TRUE(prepare_pattern(pattern, in, sized, stamp).ok());
    EXPECT_FALSE(sized.m_mapzp);
    EXPECT_FALSE(stamp.newPattern);

    in.blur = 1500.0;
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(prepare_pattern(pattern, in, sized, stamp).code, engine_failure::kStampTooTall);
    EXPECT_EQ(platform::refuse_allocation_after(-1), 0);
}

}  // namespace
