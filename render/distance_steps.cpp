#include "render/distance_steps.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/parallel_rows.h"

namespace render {
namespace {

// The focus zone reaches this many narrow steps to either side of the focus distance; the same
// factor divides q into the narrow width.
constexpr int32_t kZoneSteps = 10;
constexpr double kNarrowDivisor = 10.0;
constexpr int32_t kPrecisionLimit = 270;
constexpr double kPerDistanceValue = 1.0 / 255.0;
constexpr double kRounding = 0.5;
// The last value that may still start a new cut; the value 255 never gets a narrow step.
constexpr int32_t kLastCutValue = 255;
constexpr double kSingleStepCentre = 128.0;

// Distance Precision below the control's minimum of 1 would divide by zero or by a negative
// count; the host never sends it, and 1 is the nearest meaningful value.
double steps_divisor(int32_t distance_precision) {
    const int32_t precision = std::max(distance_precision, 1);
    return kZoneSteps * (1.0 / kNarrowDivisor) + precision;
}

int32_t distinct_values(const DistanceHistogram& histogram) {
    return static_cast<int32_t>(std::count_if(histogram.begin(), histogram.end(),
                                              [](int32_t count) { return count != 0; }));
}

// Focus distances come from a 16.16 control or a sampled byte, so they are small; clamping
// only keeps the conversion defined for anything else.
int32_t whole_distance(double focus_distance) {
    return static_cast<int32_t>(std::clamp(focus_distance, -1.0e6, 1.0e6));
}

void set_widths_and_zone(DistanceSteps& out, const DistanceHistogram& histogram,
                         int32_t distance_precision, double focus_distance) {
    double q = distinct_values(histogram) / steps_divisor(distance_precision);
    if (q < 1.0) {
        q += 1.0;
    }
    out.narrow_width = std::max(static_cast<int32_t>(q * (1.0 / kNarrowDivisor) + kRounding), 1);
    out.wide_width = std::max(static_cast<int32_t>(q), 1);
    const int32_t focus = whole_distance(focus_distance);
    out.zone_lo = std::max(focus - kZoneSteps * out.narrow_width, 0);
    out.zone_hi = focus + kZoneSteps * out.narrow_width;
    if (out.zone_hi >= kDistanceValues) {
        out.zone_hi = kLastCutValue;
    }
}

void cut(DistanceSteps& out, const DistanceHistogram& histogram) {
    int32_t lo = 0;
    int32_t hi = 0;
    do {
        while (lo < kDistanceValues && histogram[static_cast<std::size_t>(lo)] == 0) {
            ++lo;
        }
        const bool narrow = lo >= out.zone_lo && lo < out.zone_hi;
        hi = lo + (narrow ? out.narrow_width : out.wide_width);
        out.steps[static_cast<std::size_t>(out.step_count++)] = DistanceStep{lo, hi, 0.0, 0.0};
        lo = hi;
    } while (hi < kLastCutValue && out.step_count < kMaxDistanceSteps);
    // Before trimming, the last step always ends after the value 255.
    out.steps[static_cast<std::size_t>(out.step_count - 1)].hi = kDistanceValues;
}

void trim(DistanceStep& step, const DistanceHistogram& histogram) {
    while (step.hi > step.lo + 1 && histogram[static_cast<std::size_t>(step.hi - 1)] == 0) {
        --step.hi;
    }
}

double step_blur(double centre, double focus_distance, double bokeh_amount) {
    return std::fabs((centre - focus_distance) * bokeh_amount * kPerDistanceValue) + 1.0;
}

// Adds `tables` value by value.
template <std::size_t kTables>
DistanceHistogram added(const std::array<DistanceHistogram, kTables>& tables) {
    DistanceHistogram histogram{};
    for (const DistanceHistogram& table : tables) {
        for (std::size_t value = 0; value < histogram.size(); ++value) {
            histogram[value] += table[value];
        }
    }
    return histogram;
}

DistanceHistogram count_slice(const uint8_t* distances, std::size_t count) {
    // Neighbouring bytes go to tables of their own, added at the end: a map's long runs of one
    // distance made each count in a single table wait for the one before it.
    constexpr std::size_t kTables = 4;
    std::array<DistanceHistogram, kTables> tables{};
    std::size_t i = 0;
    for (; i + kTables <= count; i += kTables) {
        for (std::size_t t = 0; t < kTables; ++t) {
            ++tables[t][distances[i + t]];
        }
    }
    for (; i < count; ++i) {
        ++tables[0][distances[i]];
    }
    return added(tables);
}

}  // namespace

DistanceHistogram count_distances(const uint8_t* distances, std::size_t count) {
    // Slices of the map are counted on the threads, each into a histogram of its own.
    constexpr int32_t kSlices = 16;
    std::array<DistanceHistogram, kSlices> slices{};
    platform::for_each_slice(count, kSlices, platform::threads_for(static_cast<int64_t>(count)),
                             [&](int32_t s, std::size_t first, std::size_t end) {
                                 slices[static_cast<std::size_t>(s)] =
                                     count_slice(distances + first, end - first);
                             });
    return added(slices);
}

bool too_many_distance_steps(int32_t distance_precision) {
    return int64_t{distance_precision} + kZoneSteps > kPrecisionLimit;
}

DistanceSteps cut_distance_steps(const DistanceHistogram& histogram, int32_t distance_precision,
                                 double focus_distance, double bokeh_amount) {
    DistanceSteps out;
    set_widths_and_zone(out, histogram, distance_precision, focus_distance);
    cut(out, histogram);
    for (int32_t s = 0; s < out.step_count; ++s) {
        DistanceStep& step = out.steps[static_cast<std::size_t>(s)];
        trim(step, histogram);
        if (step.empty()) {
            continue;
        }
        step.centre = (step.lo + step.hi - 1) * 0.5;
        step.blur = step_blur(step.centre, focus_distance, bokeh_amount);
        out.max_blur_diameter =
            std::max(out.max_blur_diameter, static_cast<int32_t>(std::ceil(step.blur)));
    }
    return out;
}

DistanceSteps single_distance_step(double bokeh_amount) {
    DistanceSteps out;
    DistanceStep& step = out.steps[0];
    step = DistanceStep{0, kDistanceValues, kSingleStepCentre, std::fabs(bokeh_amount) + 1.0};
    out.step_count = 1;
    out.max_blur_diameter = static_cast<int32_t>(std::ceil(step.blur));
    return out;
}

}  // namespace render
