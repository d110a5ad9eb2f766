// The vector twin of block_sums_plain.cpp: a pixel's four channel sums are one vector of four
// float64 lanes, and the weight sums of four pixels another. A product of a float32 light and a
// cell weight is exact in float64, so the fused multiply-add rounds exactly as the plain
// multiplication followed by the addition. The lit counts of two pixels are one vector of
// eight int32 lanes.
#include <immintrin.h>

#include <algorithm>

#include "scatter/block_sums.h"

namespace scatter {

namespace {

constexpr int32_t kLanes = 8;
constexpr int32_t kWeightsPerVector = 4;
constexpr int32_t kPixelsPerCount = 2;

struct LaneSums {
    __m256d light[kLanes];
    __m256d weight[kLanes / kWeightsPerVector];
};

[[gnu::target("avx2,fma")]] void store(const LaneSums& sums, int32_t lanes, LightSums* changes) {
    double weight[kLanes];
    _mm256_storeu_pd(weight, sums.weight[0]);
    _mm256_storeu_pd(weight + kWeightsPerVector, sums.weight[1]);
    for (int32_t j = 0; j < lanes; ++j) {
        _mm256_storeu_pd(changes[j].light, sums.light[j]);
        changes[j].weight = weight[j];
    }
}

// Eight whole lanes: every load is of four floats, and all sums stay in registers.
template <bool kWeights>
[[gnu::target("avx2,fma")]] void sum_eight(const BlockTask& task, int32_t first,
                                           LightSums* changes) {
    LaneSums sums;
    for (__m256d& v : sums.light) {
        v = _mm256_setzero_pd();
    }
    sums.weight[0] = sums.weight[1] = _mm256_setzero_pd();
    for (const UpdateStep* step = task.first; step != task.last; ++step) {
        const __m256d change = _mm256_cvtps_pd(_mm_loadu_ps(step->change));
        const __m256d weight_change = _mm256_set1_pd(step->change[0]);
        const std::ptrdiff_t pixel = task.origin + step->offset + first;
        const float* light = task.channel_light + kLevelsPerPixel * pixel;
        const float* weight = task.weight_light + pixel;
        // Unrolled, so that every sum stays in a register.
#pragma GCC unroll 8
        for (int32_t j = 0; j < kLanes; ++j) {
            const __m256d l = _mm256_cvtps_pd(_mm_loadu_ps(light + kLevelsPerPixel * j));
            sums.light[j] = _mm256_fmadd_pd(l, change, sums.light[j]);
        }
        if constexpr (kWeights) {
#pragma GCC unroll 2
            for (int32_t v = 0; v < kLanes / kWeightsPerVector; ++v) {
                const __m256d w = _mm256_cvtps_pd(_mm_loadu_ps(weight + kWeightsPerVector * v));
                sums.weight[v] = _mm256_fmadd_pd(w, weight_change, sums.weight[v]);
            }
        }
    }
    store(sums, kLanes, changes + first);
}

// Fewer lanes, near the frame's right edge: the weights one at a time, so that nothing is read
// past the block's last pixel.
template <bool kWeights>
[[gnu::target("avx2,fma")]] void sum_few(const BlockTask& task, int32_t first, int32_t lanes,
                                         LightSums* changes) {
    LaneSums sums;
    double weight[kLanes] = {};
    for (__m256d& v : sums.light) {
        v = _mm256_setzero_pd();
    }
    for (const UpdateStep* step = task.first; step != task.last; ++step) {
        const __m256d change = _mm256_cvtps_pd(_mm_loadu_ps(step->change));
        const std::ptrdiff_t pixel = task.origin + step->offset + first;
        const float* light = task.channel_light + kLevelsPerPixel * pixel;
        const float* weight_light = task.weight_light + pixel;
        for (int32_t j = 0; j < lanes; ++j) {
            const __m256d l = _mm256_cvtps_pd(_mm_loadu_ps(light + kLevelsPerPixel * j));
            sums.light[j] = _mm256_fmadd_pd(l, change, sums.light[j]);
            if constexpr (kWeights) {
                weight[j] += static_cast<double>(weight_light[j]) * step->change[0];
            }
        }
    }
    sums.weight[0] = _mm256_loadu_pd(weight);
    sums.weight[1] = _mm256_loadu_pd(weight + kWeightsPerVector);
    store(sums, lanes, changes + first);
}

// The lit counts of an even number of pixels, two to a vector.
[[gnu::target("avx2,fma")]] void count_pairs(const BlockTask& task, int32_t first, int32_t pairs,
                                             LitCount* lit_changes) {
    constexpr int32_t kMaxPairs = kLanes / kPixelsPerCount;
    __m256i count[kMaxPairs];
    for (__m256i& c : count) {
        c = _mm256_setzero_si256();
    }
    for (const PresenceStep* step = task.first_presence; step != task.last_presence; ++step) {
        const __m128i presence = _mm_loadu_si128(reinterpret_cast<const __m128i*>(step->presence));
        const __m256i presence_pair = _mm256_broadcastsi128_si256(presence);
        const float* light =
            task.channel_light + kLevelsPerPixel * (task.origin + step->offset + first);
#pragma GCC unroll 4
        for (int32_t p = 0; p < kMaxPairs; ++p) {
            if (p < pairs) {
                const __m256 l = _mm256_loadu_ps(light + kLevelsPerPixel * kPixelsPerCount * p);
                const __m256i lit =
                    _mm256_castps_si256(_mm256_cmp_ps(l, _mm256_setzero_ps(), _CMP_NEQ_UQ));
                count[p] = _mm256_add_epi32(count[p], _mm256_and_si256(lit, presence_pair));
            }
        }
    }
    for (int32_t p = 0; p < pairs; ++p) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(lit_changes[first + 2 * p].channel),
                            count[p]);
    }
}

template <bool kWeights>
[[gnu::target("avx2,fma")]] void sum_block(const BlockTask& task, LightSums* changes,
                                           LitCount* lit_changes) {
    int32_t first = 0;
    for (; first + kLanes <= task.count; first += kLanes) {
        sum_eight<kWeights>(task, first, changes);
        count_pairs(task, first, kLanes / kPixelsPerCount, lit_changes);
    }
    if (first < task.count) {
        const int32_t lanes = task.count - first;
        sum_few<kWeights>(task, first, lanes, changes);
        count_pairs(task, first, lanes / kPixelsPerCount, lit_changes);
        if (lanes % kPixelsPerCount != 0) {
            // The last pixel alone, as the plain kernel counts it.
            LitCount& last = lit_changes[task.count - 1];
            last = LitCount{};
            for (const PresenceStep* step = task.first_presence; step != task.last_presence;
                 ++step) {
                const float* light =
                    task.channel_light +
                    kLevelsPerPixel * (task.origin + step->offset + task.count - 1);
                for (int k = 0; k < kLevelsPerPixel; ++k) {
                    last.add(k, light[k], step->presence[k]);
                }
            }
        }
    }
}

}  // namespace

void sum_block_vector(const BlockTask& task, LightSums* changes, LitCount* lit_changes) {
    sum_block<true>(task, changes, lit_changes);
}

void sum_block_vector_without_weights(const BlockTask& task, LightSums* changes,
                                      LitCount* lit_changes) {
    sum_block<false>(task, changes, lit_changes);
}

}  // namespace scatter
