// Cutting the distance range into steps: the worked examples a user can check by hand, and the
// edges of the histogram.
#include <gtest/gtest.h>
#include <omp.h>

#include <utility>
#include <vector>

#include "render/distance_steps.h"

namespace {

using render::count_distances;
using render::cut_distance_steps;
using render::DistanceHistogram;
using render::DistanceSteps;

DistanceHistogram histogram_of(const std::vector<int>& values) {
    DistanceHistogram histogram{};
    for (int v : values) {
        ++histogram[static_cast<std::size_t>(v)];
    }
    return histogram;
}

std::vector<std::pair<int, int>> ranges(const DistanceSteps& steps) {
    std::vector<std::pair<int, int>> out;
    for (int s = 0; s < steps.step_count; ++s) {
        out.emplace_back(steps.steps[s].lo, steps.steps[s].hi);
    }
    return out;
}

TEST(DistanceSteps, EveryValueUsedGivesNarrowStepsAroundTheFocus) {
    std::vector<int> all;
    for (int v = 0; v < 256; ++v) {
        all.push_back(v);
    }
    const DistanceSteps steps = cut_distance_steps(histogram_of(all), 10, 128.0, 20.0);
    EXPECT_EQ(steps.narrow_width, 2);
    EXPECT_EQ(steps.wide_width, 23);
    EXPECT_EQ(steps.zone_lo, 108);
    EXPECT_EQ(steps.zone_hi, 148);
    std::vector<std::pair<int, int>> expected = {{0, 23}, {23, 46}, {46, 69}, {69, 92}, {92, 115}};
    for (int lo = 115; lo <= 147; lo += 2) {
        expected.emplace_back(lo, lo + 2);
    }
    for (const auto& range : std::vector<std::pair<int, int>>{
             {149, 172}, {172, 195}, {195, 218}, {218, 241}, {241, 256}}) {
        expected.push_back(range);
    }
    EXPECT_EQ(ranges(steps), expected);
    ASSERT_EQ(steps.step_count, 27);
    const render::DistanceStep& at_focus = steps.steps[11];
    EXPECT_EQ(at_focus.lo, 127);
    EXPECT_DOUBLE_EQ(at_focus.centre, 127.5);
    EXPECT_NEAR(at_focus.blur, 1.039, 0.001);
    EXPECT_EQ(steps.max_blur_diameter, 11);
}

TEST(DistanceSteps, SparseValuesGiveOneStepEachWithTheirTailsTrimmed) {
    const DistanceSteps steps =
        cut_distance_steps(histogram_of({0, 50, 100, 200, 255}), 10, 100.0, 20.0);
    EXPECT_EQ(steps.narrow_width, 1);
    EXPECT_EQ(steps.wide_width, 1);
    EXPECT_EQ(ranges(steps), (std::vector<std::pair<int, int>>{
                                 {0, 1}, {50, 51}, {100, 101}, {200, 201}, {255, 256}}));
    EXPECT_DOUBLE_EQ(steps.steps[2].blur, 1.0);
    EXPECT_NEAR(steps.steps[4].blur, 13.157, 0.001);
    EXPECT_EQ(steps.max_blur_diameter, 14);
}

TEST(DistanceSteps, WideStepsAreTrimmedToTheirLastUsedValue) {
    // 30 distinct values at precision 1 give steps 15 wide; the one starting at 0 holds 0..9.
    std::vector<int> values;
    for (int v = 0; v < 10; ++v) {
        values.push_back(v);
    }
    for (int v = 200; v < 220; ++v) {
        values.push_back(v);
    }
    const DistanceSteps steps = cut_distance_steps(histogram_of(values), 1, 210.0, 40.0);
    ASSERT_GE(steps.step_count, 2);
    EXPECT_EQ(steps.steps[0].lo, 0);
    EXPECT_EQ(steps.steps[0].hi, 10);
    EXPECT_EQ(steps.steps[1].lo, 200);
}

TEST(DistanceSteps, AUniformLayerAtTheFocusNeedsNoBlur) {
    const DistanceSteps steps = cut_distance_steps(histogram_of({77, 77, 77}), 10, 77.0, 150.0);
    int non_empty = 0;
    for (int s = 0; s < steps.step_count; ++s) {
        non_empty += steps.steps[s].empty() ? 0 : 1;
    }
    EXPECT_EQ(non_empty, 1);
    EXPECT_EQ(steps.max_blur_diameter, 1);
}

TEST(DistanceSteps, AnEmptyHistogramGivesOneEmptyStepAndNoDisc) {
    const DistanceSteps steps = cut_distance_steps(DistanceHistogram{}, 10, 128.0, 20.0);
    ASSERT_EQ(steps.step_count, 1);
    EXPECT_TRUE(steps.steps[0].empty());
    EXPECT_EQ(steps.max_blur_diameter, 0);
}

TEST(DistanceSteps, TheValue255NeverGetsANarrowStep) {
    std::vector<int> all;
    for (int v = 0; v < 256; ++v) {
        all.push_back(v);
    }
    const DistanceSteps steps = cut_distance_steps(histogram_of(all), 128, 250.0, 20.0);
    EXPECT_EQ(steps.zone_hi, 255);
    EXPECT_EQ(steps.steps[steps.step_count - 1].hi, 256);
    EXPECT_LE(steps.step_count, render::kMaxDistanceSteps);
}

TEST(DistanceSteps, PrecisionBelowOneCountsAsOne) {
    const DistanceHistogram histogram = histogram_of({10, 20, 30, 40});
    for (int precision : {0, -1, -7}) {
        SCOPED_TRACE(precision);
        EXPECT_EQ(ranges(cut_distance_steps(histogram, precision, 20.0, 10.0)),
                  ranges(cut_distance_steps(histogram, 1, 20.0, 10.0)));
    }
}

TEST(DistanceSteps, PrecisionLimit) {
    EXPECT_FALSE(render::too_many_distance_steps(260));
    EXPECT_TRUE(render::too_many_distance_steps(261));
    EXPECT_FALSE(render::too_many_distance_steps(-5));
}

TEST(DistanceSteps, WithoutALayerOneStepCentredAt128WhateverTheFocus) {
    const DistanceSteps steps = render::single_distance_step(19.5);
    ASSERT_EQ(steps.step_count, 1);
    EXPECT_EQ(steps.steps[0].lo, 0);
    EXPECT_EQ(steps.steps[0].hi, 256);
    EXPECT_DOUBLE_EQ(steps.steps[0].centre, 128.0);
    EXPECT_DOUBLE_EQ(steps.steps[0].blur, 20.5);
    EXPECT_EQ(steps.max_blur_diameter, 21);
    EXPECT_EQ(render::single_distance_step(0.0).max_blur_diameter, 1);
}

TEST(DistanceSteps, HistogramCountsEveryByte) {
    const uint8_t map[] = {0, 255, 255, 7};
    const DistanceHistogram histogram = count_distances(map, sizeof map);
    EXPECT_EQ(histogram[0], 1);
    EXPECT_EQ(histogram[7], 1);
    EXPECT_EQ(histogram[255], 2);
    EXPECT_EQ(count_distances(nullptr, 0), DistanceHistogram{});
    // Runs of one value and a length that leaves a few bytes over, each counted once.
    std::vector<uint8_t> runs(1027);
    DistanceHistogram expected{};
    for (std::size_t i = 0; i < runs.size(); ++i) {
        runs[i] = static_cast<uint8_t>(i / 10 % 7 == 0 ? 200 : i % 251);
        ++expected[runs[i]];
    }
    EXPECT_EQ(count_distances(runs.data(), runs.size()), expected);
    // A map large enough to be counted on two threads, in slices that do not divide it evenly.
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(2);
    std::vector<uint8_t> map_of_frame((1 << 18) + 13);
    DistanceHistogram frame_expected{};
    for (std::size_t i = 0; i < map_of_frame.size(); ++i) {
        map_of_frame[i] = static_cast<uint8_t>(i * 7 / 1000 % 256);
        ++frame_expected[map_of_frame[i]];
    }
    EXPECT_EQ(count_distances(map_of_frame.data(), map_of_frame.size()), frame_expected);
    omp_set_num_threads(threads_before);
}

}  // namespace
