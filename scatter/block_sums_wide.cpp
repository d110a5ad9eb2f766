// The wide twin of block_sums_vector.cpp, for processors with eight-lane float64 vectors: two
// pixels' four channel sums share a vector, and eight pixels' weight sums another, so a step
// of sixteen pixels takes half the instructions. Lane by lane the additions are those of the
// plain kernel.
#include <immintrin.h>

#include <algorithm>

// The compiler's own eight-lane intrinsics start some results from a deliberately undefined
// vector, which its warnings about uninitialised values take for a fault.
#pragma GCC diagnostic ignored "-Wuninitialized"
#ifndef __clang__  // clang has no such warning, and would warn about the unknown name
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "scatter/block_sums.h"

namespace scatter {

namespace {

constexpr int32_t kLanes = 16;
constexpr int32_t kPixelsPerVector = 2;
constexpr int32_t kWeightsPerVector = 8;
constexpr int32_t kPixelsPerCount = 4;

// Asks for the light a step will read for the pixels one block further along the row, which
// the cache's own prefetching does not foresee: a large stamp's steps read many rows at once.
inline void prefetch_next_block(const float* channel_light, const float* weight_light) {
    constexpr int32_t kAhead = 32;  // pixels: the update plan's block
    constexpr int32_t kLine = 64;   // bytes
    constexpr int32_t kLines = kLanes * kLevelsPerPixel * sizeof(float) / kLine;
    const char* channels = reinterpret_cast<const char*>(channel_light + kLevelsPerPixel * kAhead);
    for (int32_t line = 0; line < kLines; ++line) {
        _mm_prefetch(channels + kLine * line, _MM_HINT_T0);
    }
    _mm_prefetch(reinterpret_cast<const char*>(weight_light + kAhead), _MM_HINT_T0);
}

// Sixteen whole lanes, every sum in a register.
template <bool kWeights>
[[gnu::target("avx512f")]] void sum_sixteen(const BlockTask& task, int32_t first,
                                            LightSums* changes) {
    constexpr int32_t kLightVectors = kLanes / kPixelsPerVector;
    constexpr int32_t kWeightVectors = kLanes / kWeightsPerVector;
    __m512d light[kLightVectors];
    __m512d weight[kWeightVectors];
    for (__m512d& v : light) {
        v = _mm512_setzero_pd();
    }
    for (__m512d& v : weight) {
        v = _mm512_setzero_pd();
    }
    for (const UpdateStep* step = task.first; step != task.last; ++step) {
        const __m512d change = _mm512_broadcast_f64x4(_mm256_cvtps_pd(_mm_loadu_ps(step->change)));
        const __m512d weight_change = _mm512_set1_pd(step->change[0]);
        const std::ptrdiff_t pixel = task.origin + step->offset + first;
        const float* channel_light = task.channel_light + kLevelsPerPixel * pixel;
        const float* weight_light = task.weight_light + pixel;
        prefetch_next_block(channel_light, weight_light);
#pragma GCC unroll 8
        for (int32_t v = 0; v < kLightVectors; ++v) {
            const __m512d l = _mm512_cvtps_pd(
                _mm256_loadu_ps(channel_light + kLevelsPerPixel * kPixelsPerVector * v));
            light[v] = _mm512_fmadd_pd(l, change, light[v]);
        }
        if constexpr (kWeights) {
#pragma GCC unroll 2
            for (int32_t v = 0; v < kWeightVectors; ++v) {
                const __m512d w =
                    _mm512_cvtps_pd(_mm256_loadu_ps(weight_light + kWeightsPerVector * v));
                weight[v] = _mm512_fmadd_pd(w, weight_change, weight[v]);
            }
        }
    }
    double weights[kLanes];
    for (int32_t v = 0; v < kWeightVectors; ++v) {
        _mm512_storeu_pd(weights + kWeightsPerVector * v, weight[v]);
    }
    for (int32_t v = 0; v < kLightVectors; ++v) {
        LightSums* pair = changes + first + kPixelsPerVector * v;
        _mm256_storeu_pd(pair[0].light, _mm512_castpd512_pd256(light[v]));
        _mm256_storeu_pd(pair[1].light, _mm512_extractf64x4_pd(light[v], 1));
    }
    for (int32_t j = 0; j < kLanes; ++j) {
        changes[first + j].weight = weights[j];
    }
}

// The lit counts of sixteen pixels, four to a vector.
[[gnu::target("avx512f")]] void count_sixteen(const BlockTask& task, int32_t first,
                                              LitCount* lit_changes) {
    constexpr int32_t kCountVectors = kLanes / kPixelsPerCount;
    __m512i count[kCountVectors];
    for (__m512i& c : count) {
        c = _mm512_setzero_si512();
    }
    for (const PresenceStep* step = task.first_presence; step != task.last_presence; ++step) {
        const __m512i presence = _mm512_broadcast_i32x4(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(step->presence)));
        const float* light =
            task.channel_light + kLevelsPerPixel * (task.origin + step->offset + first);
#pragma GCC unroll 4
        for (int32_t v = 0; v < kCountVectors; ++v) {
            const __m512 l = _mm512_loadu_ps(light + kLevelsPerPixel * kPixelsPerCount * v);
            const __mmask16 lit = _mm512_cmp_ps_mask(l, _mm512_setzero_ps(), _CMP_NEQ_UQ);
            count[v] = _mm512_mask_add_epi32(count[v], lit, count[v], presence);
        }
    }
    for (int32_t v = 0; v < kCountVectors; ++v) {
        _mm512_storeu_si512(lit_changes[first + kPixelsPerCount * v].channel, count[v]);
    }
}

template <bool kWeights>
[[gnu::target("avx512f")]] void sum_block(const BlockTask& task, LightSums* changes,
                                          LitCount* lit_changes) {
    int32_t first = 0;
    for (; first + kLanes <= task.count; first += kLanes) {
        sum_sixteen<kWeights>(task, first, changes);
        count_sixteen(task, first, lit_changes);
    }
    if (first < task.count) {
        // Near the frame's right edge: the rest as the narrower vectors do it.
        BlockTask rest = task;
        rest.origin += first;
        rest.count = task.count - first;
        const BlockSummer narrower = kWeights ? sum_block_vector : sum_block_vector_without_weights;
        narrower(rest, changes + first, lit_changes + first);
    }
}

}  // namespace

void sum_block_wide(const BlockTask& task, LightSums* changes, LitCount* lit_changes) {
    sum_block<true>(task, changes, lit_changes);
}

void sum_block_wide_without_weights(const BlockTask& task, LightSums* changes,
                                    LitCount* lit_changes) {
    sum_block<false>(task, changes, lit_changes);
}

}  // namespace scatter
