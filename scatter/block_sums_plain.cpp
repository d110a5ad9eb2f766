#include <algorithm>

#include "scatter/block_sums.h"

namespace scatter {

namespace {

// Pixels summed side by side, so that each step's record serves all of them.
constexpr int32_t kLanes = 8;

template <bool kWeights>
void sum_light(const BlockTask& task, int32_t first, int32_t lanes, LightSums* changes) {
    LightSums lane[kLanes];
    for (LightSums& sums : lane) {
        sums.reset();
    }
    for (const UpdateStep* step = task.first; step != task.last; ++step) {
        const std::ptrdiff_t pixel = task.origin + step->offset + first;
        const float* light = task.channel_light + kLevelsPerPixel * pixel;
        const float* weight = task.weight_light + pixel;
        for (int32_t j = 0; j < lanes; ++j) {
            for (int k = 0; k < kLevelsPerPixel; ++k) {
                lane[j].light[k] +=
                    static_cast<double>(light[kLevelsPerPixel * j + k]) * step->change[k];
            }
            if constexpr (kWeights) {
                lane[j].weight += static_cast<double>(weight[j]) * step->change[0];
            }
        }
    }
    std::copy(lane, lane + lanes, changes + first);
}

void count_lit(const BlockTask& task, int32_t first, int32_t lanes, LitCount* lit_changes) {
    LitCount lane[kLanes];
    for (const PresenceStep* step = task.first_presence; step != task.last_presence; ++step) {
        const float* light =
            task.channel_light + kLevelsPerPixel * (task.origin + step->offset + first);
        for (int32_t j = 0; j < lanes; ++j) {
            for (int k = 0; k < kLevelsPerPixel; ++k) {
                lane[j].add(k, light[kLevelsPerPixel * j + k], step->presence[k]);
            }
        }
    }
    std::copy(lane, lane + lanes, lit_changes + first);
}

template <bool kWeights>
void sum_block(const BlockTask& task, LightSums* changes, LitCount* lit_changes) {
    for (int32_t first = 0; first < task.count; first += kLanes) {
        const int32_t lanes = std::min(kLanes, task.count - first);
        sum_light<kWeights>(task, first, lanes, changes);
        count_lit(task, first, lanes, lit_changes);
    }
}

}  // namespace

void sum_block_plain(const BlockTask& task, LightSums* changes, LitCount* lit_changes) {
    sum_block<true>(task, changes, lit_changes);
}

void sum_block_plain_without_weights(const BlockTask& task, LightSums* changes,
                                     LitCount* lit_changes) {
    sum_block<false>(task, changes, lit_changes);
}

}  // namespace scatter
