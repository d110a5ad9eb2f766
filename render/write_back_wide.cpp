#include "render/write_back_wide.h"

#include <immintrin.h>

#include "platform/cpu_features.h"

// The compiler's own sixteen-lane intrinsics start some results from a deliberately undefined
// vector, which its warnings about uninitialised values take for a fault.
#pragma GCC diagnostic ignored "-Wuninitialized"
#ifndef __clang__  // clang has no such warning, and would warn about the unknown name
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace render {

// LevelLookup::level for sixteen lights.
class WideLevelLookup {
  public:
    [[gnu::target("avx512f")]] static __m512i levels(const LevelLookup& table, __m512 light) {
        const __mmask16 lit =
            _mm512_cmp_ps_mask(light, _mm512_set1_ps(table.first_threshold_), _CMP_GE_OQ);
        const __mmask16 top =
            _mm512_cmp_ps_mask(light, _mm512_set1_ps(table.last_threshold_), _CMP_GE_OQ);
        const __mmask16 search = lit & static_cast<__mmask16>(~top);
        const __m512i relative = _mm512_sub_epi32(
            _mm512_castps_si512(light), _mm512_set1_epi32(static_cast<int32_t>(table.first_bits_)));
        const __m512i found = table.packed_buckets_ != nullptr
                                  ? packed_levels(table, relative, search)
                                  : searched_levels(table, light, relative, search);
        return _mm512_mask_mov_epi32(found, top, _mm512_set1_epi32(table.max_level_));
    }

  private:
    // Lanes outside `search` are 0.
    [[gnu::target("avx512f")]] static __m512i packed_levels(const LevelLookup& table,
                                                            __m512i relative, __mmask16 search) {
        const uint32_t shift = table.packed_shift_;
        const __m512i words = _mm512_mask_i32gather_epi32(
            _mm512_setzero_si512(), search,
            _mm512_srl_epi32(relative, _mm_cvtsi32_si128(static_cast<int32_t>(shift))),
            table.packed_buckets_, sizeof(uint32_t));
        const __m512i place =
            _mm512_and_si512(relative, _mm512_set1_epi32(static_cast<int32_t>((1u << shift) - 1)));
        const __m512i threshold_place =
            _mm512_and_si512(words, _mm512_set1_epi32(static_cast<int32_t>((2u << shift) - 1)));
        const __m512i first_level =
            _mm512_srl_epi32(words, _mm_cvtsi32_si128(static_cast<int32_t>(shift + 1)));
        const __mmask16 past = _mm512_mask_cmpge_epu32_mask(search, place, threshold_place);
        return _mm512_mask_add_epi32(first_level, past, first_level, _mm512_set1_epi32(1));
    }

    // Lanes outside `search` are 0.
    [[gnu::target("avx512f")]] static __m512i searched_levels(const LevelLookup& table,
                                                              __m512 light, __m512i relative,
                                                              __mmask16 search) {
        const __m512i one = _mm512_set1_epi32(1);
        const __m512i bucket =
            _mm512_srl_epi32(relative, _mm_cvtsi32_si128(static_cast<int32_t>(table.shift_)));
        // Levels are 16 bits: each lane reads its bucket as the low half of 32.
        constexpr int kLevelBytes = sizeof(uint16_t);
        __m512i found =
            _mm512_and_si512(_mm512_mask_i32gather_epi32(_mm512_setzero_si512(), search, bucket,
                                                         table.bucket_level_, kLevelBytes),
                             _mm512_set1_epi32(0xFFFF));
        do {
            const __m512 next =
                _mm512_mask_i32gather_ps(_mm512_setzero_ps(), search, _mm512_add_epi32(found, one),
                                         table.thresholds_, sizeof(float));
            search = _mm512_mask_cmp_ps_mask(search, light, next, _CMP_GE_OQ);
            found = _mm512_mask_add_epi32(found, search, found, one);
        } while (!table.one_threshold_a_bucket_ && search != 0);
        return found;
    }
};

namespace {

constexpr int32_t kLanes = 16;

// A group's channel sums, one vector a channel, and the weight each is scaled by.
struct GroupLight {
    __m512 channel[kChannels];
    __m512 weight;
};

// Lane i of channel k is sums[4 i + k]: four vectors of four pixels each, taken apart.
[[gnu::target("avx512f")]] GroupLight load_group(const PixelConverter& converter, const float* sums,
                                                 const float* weight_sums) {
    constexpr int kPixelsPerVector = kLanes / kChannels;
    __m512 pixels[kChannels];
    for (int v = 0; v < kChannels; ++v) {
        pixels[v] = _mm512_loadu_ps(sums + kLanes * v);
    }
    GroupLight group;
    for (int k = 0; k < kChannels; ++k) {
        // Channel k of eight pixels from two vectors, in the low half.
        const __m512i pick = _mm512_set_epi32(0, 0, 0, 0, 0, 0, 0, 0, 28 + k, 24 + k, 20 + k,
                                              16 + k, 12 + k, 8 + k, 4 + k, k);
        const __m512 low = _mm512_permutex2var_ps(pixels[0], pick, pixels[1]);
        const __m512 high = _mm512_permutex2var_ps(pixels[2], pick, pixels[3]);
        constexpr int kLowHalves = 0x44;  // lanes 0 and 1 of each
        group.channel[k] = _mm512_shuffle_f32x4(low, high, kLowHalves);
    }
    static_assert(kPixelsPerVector * kChannels == kLanes);
    const __m512 weight_sum = _mm512_loadu_ps(weight_sums);
    const __mmask16 weighed = _mm512_cmp_ps_mask(weight_sum, _mm512_setzero_ps(), _CMP_GT_OQ);
    group.weight = _mm512_mask_div_ps(_mm512_set1_ps(1.0f), weighed,
                                      _mm512_set1_ps(converter.mid_light), weight_sum);
    return group;
}

// The levels of a group, one vector a channel; `source_alpha` is the input's alpha levels.
[[gnu::target("avx512f")]] void group_levels(const PixelConverter& converter,
                                             const GroupLight& group, __m512i source_alpha,
                                             __m512i* levels) {
    if (converter.alpha_bokeh) {
        __m512 alpha_sum = group.channel[kAlphaChannel];
        if (converter.inverse_brightness != 1.0f) {
            alpha_sum = _mm512_mul_ps(alpha_sum, _mm512_set1_ps(converter.inverse_brightness));
        }
        levels[kAlphaChannel] =
            WideLevelLookup::levels(converter.alpha, _mm512_mul_ps(group.weight, alpha_sum));
    } else {
        levels[kAlphaChannel] =
            _mm512_min_epi32(source_alpha, _mm512_set1_epi32(converter.max_level));
    }
    for (int k = 1; k < kChannels; ++k) {
        levels[k] = WideLevelLookup::levels(converter.colour,
                                            _mm512_mul_ps(group.weight, group.channel[k]));
    }
}

constexpr int kByteBits = 8;
constexpr int kHalfBits = 16;

[[gnu::target("avx512f")]] int32_t sixteens8(const PixelConverter& converter, const float* light,
                                             const float* weights, int32_t width,
                                             const uint8_t* input, uint8_t* output) {
    int32_t x = 0;
    for (; x + kLanes <= width; x += kLanes) {
        const GroupLight group = load_group(converter, light + kChannels * x, weights + x);
        const __m512i pixels = _mm512_loadu_si512(input + kChannels * x);
        __m512i levels[kChannels];
        group_levels(converter, group, _mm512_and_si512(pixels, _mm512_set1_epi32(0xFF)), levels);
        __m512i packed = levels[0];
        for (int k = 1; k < kChannels; ++k) {
            packed = _mm512_or_si512(packed, _mm512_slli_epi32(levels[k], kByteBits * k));
        }
        _mm512_storeu_si512(output + kChannels * x, packed);
    }
    return x;
}

[[gnu::target("avx512f")]] int32_t sixteens16(const PixelConverter& converter, const float* light,
                                              const float* weights, int32_t width,
                                              const uint8_t* input, uint8_t* output) {
    constexpr int32_t kPixelBytes = kChannels * sizeof(uint16_t);
    // A pixel is two 32-bit words: alpha and the first colour, then the other two colours.
    const __m512i first_words =
        _mm512_set_epi32(30, 28, 26, 24, 22, 20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 0);
    const __m512i first_eight =
        _mm512_set_epi32(23, 7, 22, 6, 21, 5, 20, 4, 19, 3, 18, 2, 17, 1, 16, 0);
    const __m512i last_eight =
        _mm512_set_epi32(31, 15, 30, 14, 29, 13, 28, 12, 27, 11, 26, 10, 25, 9, 24, 8);
    int32_t x = 0;
    for (; x + kLanes <= width; x += kLanes) {
        const GroupLight group = load_group(converter, light + kChannels * x, weights + x);
        const uint8_t* in = input + kPixelBytes * x;
        const __m512i alpha_words = _mm512_permutex2var_epi32(
            _mm512_loadu_si512(in), first_words, _mm512_loadu_si512(in + kLanes * sizeof(int32_t)));
        __m512i levels[kChannels];
        group_levels(converter, group, _mm512_and_si512(alpha_words, _mm512_set1_epi32(0xFFFF)),
                     levels);
        const __m512i low = _mm512_or_si512(levels[0], _mm512_slli_epi32(levels[1], kHalfBits));
        const __m512i high = _mm512_or_si512(levels[2], _mm512_slli_epi32(levels[3], kHalfBits));
        uint8_t* out = output + kPixelBytes * x;
        _mm512_storeu_si512(out, _mm512_permutex2var_epi32(low, first_eight, high));
        _mm512_storeu_si512(out + kLanes * sizeof(int32_t),
                            _mm512_permutex2var_epi32(low, last_eight, high));
    }
    return x;
}

}  // namespace

bool has_wide_write_back() {
    static const bool present = platform::cpu_has_wide_double_vectors();
    return present;
}

int32_t convert_sixteens8(const PixelConverter& converter, const float* light, const float* weights,
                          int32_t width, const uint8_t* input, uint8_t* output) {
    return sixteens8(converter, light, weights, width, input, output);
}

int32_t convert_sixteens16(const PixelConverter& converter, const float* light,
                           const float* weights, int32_t width, const uint8_t* input,
                           uint8_t* output) {
    return sixteens16(converter, light, weights, width, input, output);
}

}  // namespace render
