// Cutting the distance range 0..255 into distance steps: half-open ranges of distance values
// that one engine pass each renders with one disc. Steps are narrow near the focus distance and
// wide elsewhere; their number follows the Distance Precision control and how many distinct
// distance values the layer really uses.
#ifndef QB_RENDER_DISTANCE_STEPS_H
#define QB_RENDER_DISTANCE_STEPS_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace render {

inline constexpr int kDistanceValues = 256;
// Every step covers at least one distance value.
inline constexpr int kMaxDistanceSteps = kDistanceValues;

struct DistanceStep {
    int32_t lo = 0;  // first distance value
    int32_t hi = 0;  // one past the last
    double centre = 0.0;
    double blur = 0.0;  // disc diameter in pixels, before rounding

    bool empty() const { return hi <= lo; }
    bool contains(int32_t value) const { return value >= lo && value < hi; }
};

using DistanceHistogram = std::array<int32_t, kDistanceValues>;

struct DistanceSteps {
    std::array<DistanceStep, kMaxDistanceSteps> steps{};
    // Empty steps count too: the progress of a render is shared out by this number.
    int32_t step_count = 0;
    // The largest rounded-up blur of the non-empty steps; 0 when every step is empty.
    int32_t max_blur_diameter = 0;
    int32_t narrow_width = 0;
    int32_t wide_width = 0;
    int32_t zone_lo = 0;  // the focus zone [zone_lo, zone_hi) gets narrow steps
    int32_t zone_hi = 0;
};

DistanceHistogram count_distances(const uint8_t* distances, std::size_t count);

// Distance Precision beyond this would ask for more steps than a render can hold.
bool too_many_distance_steps(int32_t distance_precision);

// Steps over the values the histogram holds. A histogram with no value at all gives one empty
// step and a max_blur_diameter of 0.
DistanceSteps cut_distance_steps(const DistanceHistogram& histogram, int32_t distance_precision,
                                 double focus_distance, double bokeh_amount);

// Without a Distance Layer the whole layer is one step centred at 128, whatever the focus.
DistanceSteps single_distance_step(double bokeh_amount);

}  // namespace render

#endif
