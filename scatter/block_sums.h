// The light a run of neighbouring output pixels gains or loses in one step to the right, summed
// from a record of the stamp cells whose weight changes (update_plan.h). This is where a
// blurred pass spends its time, so it comes in plain arithmetic and in the vector instructions
// of processors that have them, four or eight float64 lanes wide. All add the same exact
// products in the same order in every lane, so their results are equal to the last bit.
#ifndef QB_SCATTER_BLOCK_SUMS_H
#define QB_SCATTER_BLOCK_SUMS_H

#include <cstddef>
#include <cstdint>

namespace scatter {

inline constexpr int32_t kLevelsPerPixel = 4;

// The light sums of one output pixel: the four channels of the source, then the weight.
struct LightSums {
    double light[4];
    double weight;

    void reset() {
        light[0] = light[1] = light[2] = light[3] = 0.0;
        weight = 0.0;
    }
    void merge(const LightSums& other) {
        for (int k = 0; k < 4; ++k) {
            light[k] += other.light[k];
        }
        weight += other.weight;
    }
    double value(int j) const { return j < 4 ? light[j] : weight; }
    void clear(int j) { (j < 4 ? light[j] : weight) = 0.0; }
};

// Per channel, the pixels under non-zero cells whose light in that channel is not 0. Level 0
// has no light, so only these pixels feed the channel's sum; the weight sum has light only
// where alpha has, so it is fed by the pixels of channel 0. Alpha alone does not tell: an
// alpha scaled down to 0 keeps the pixel's colour levels.
struct LitCount {
    int32_t channel[kLevelsPerPixel] = {};

    // Without a branch: in a full gather this runs for every cell.
    void add(int k, float light, int32_t presence) {
        channel[k] += presence & -static_cast<int32_t>(light != 0.0f);
    }
    void merge(const LitCount& other) {
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            channel[k] += other.channel[k];
        }
    }
    // Whether result j (the four channels, then the weight) has anything under the stamp.
    bool feeds(int j) const { return channel[j < kLevelsPerPixel ? j : 0] != 0; }
    // The usual case inside lit areas, tested without a branch for each channel.
    bool feeds_every_sum() const {
        return (channel[0] != 0) & (channel[1] != 0) & (channel[2] != 0) & (channel[3] != 0);
    }
};

// One recorded cell change: the source pixel at `offset` from the pixel under stamp cell (0, 0)
// now counts `change[k]` more in channel k (the weight sum goes with channel 0). Cell weights
// are whole numbers below 256 and a light is a float32, so every product is exact in float64.
struct UpdateStep {
    float change[kLevelsPerPixel];
    int32_t offset;
};

// A recorded change that brings the source pixel at `offset` under a non-zero cell of channel
// k's plane (presence[k] = +1) or takes it away (-1).
struct PresenceStep {
    int32_t presence[kLevelsPerPixel];
    int32_t offset;
};

// The changes of `count` neighbouring pixels, the first of which has the source pixel `origin`
// under its stamp cell (0, 0).
struct BlockTask {
    const UpdateStep* first;
    const UpdateStep* last;
    const PresenceStep* first_presence;
    const PresenceStep* last_presence;
    const float* channel_light;  // four a pixel
    const float* weight_light;   // one a pixel
    std::ptrdiff_t origin;
    int32_t count;
};

// Fills the light change and the change of the lit counts of each of the task's pixels.
using BlockSummer = void (*)(const BlockTask& task, LightSums* changes, LitCount* lit_changes);

void sum_block_plain(const BlockTask& task, LightSums* changes, LitCount* lit_changes);
// Needs the processor features that cpu_has_double_vectors tests for.
void sum_block_vector(const BlockTask& task, LightSums* changes, LitCount* lit_changes);
// Needs those and the eight-lane vectors that cpu_has_wide_double_vectors tests for.
void sum_block_wide(const BlockTask& task, LightSums* changes, LitCount* lit_changes);

// The same, with every weight change left 0, for passes whose weight sums follow from their
// alpha sums (stamp_cells.h): a fifth of the work.
void sum_block_plain_without_weights(const BlockTask& task, LightSums* changes,
                                     LitCount* lit_changes);
void sum_block_vector_without_weights(const BlockTask& task, LightSums* changes,
                                      LitCount* lit_changes);
void sum_block_wide_without_weights(const BlockTask& task, LightSums* changes,
                                    LitCount* lit_changes);

}  // namespace scatter

#endif
