// Light back to rounded channel levels without the inverse curve per pixel.
//
// The write-back turns every accumulated light value into trunc(Light_to_RGB(light) x scale +
// 0.5), clamped to 0..max. That rounded level only changes at one light value per level, so the
// table keeps those thresholds (found once, with the inverse curve itself, to the last float)
// and answers each pixel with a short search: the same levels as the curve, far cheaper, and
// safe to read from several threads.
#ifndef QB_RENDER_LIGHT_LEVELS_H
#define QB_RENDER_LIGHT_LEVELS_H

#include <bit>
#include <cstdint>
#include <vector>

#include "engine/light_curve.h"

namespace render {

// The search over one table, held by value: a loop that stores bytes (which may alias anything)
// keeps a copy of it in registers instead of reading the table's fields again for every channel.
class LevelLookup {
  public:
    // The rounded, clamped level of `light`; 0 for light at or below 0 and for NaN.
    int32_t level(float light) const {
        if (!(light >= first_threshold_)) {
            return 0;
        }
        if (light >= last_threshold_) {
            return max_level_;
        }
        int32_t found = bucket_level_[(std::bit_cast<uint32_t>(light) - first_bits_) >> shift_];
        // Most buckets hold one threshold at most (every bucket of an 8-bit table): the first
        // step is taken without a branch, and often it is the only one.
        found += light >= thresholds_[found + 1] ? 1 : 0;
        if (!one_threshold_a_bucket_) {
            while (light >= thresholds_[found + 1]) {
                ++found;
            }
        }
        return found;
    }

  private:
    friend class LightLevels;
    friend class WideLevelLookup;

    const float* thresholds_ = nullptr;
    const uint16_t* bucket_level_ = nullptr;
    // Null, or the buckets again, wider, in one word each: the bucket's first level, above the
    // place of the one threshold the bucket may hold (LightLevels::pack_buckets). There a light's
    // level takes one read instead of two, the second depending on the first.
    const uint32_t* packed_buckets_ = nullptr;
    uint32_t packed_shift_ = 0;
    float first_threshold_ = 0.0f;
    float last_threshold_ = 0.0f;
    uint32_t first_bits_ = 0;
    uint32_t shift_ = 0;
    int32_t max_level_ = 0;
    bool one_threshold_a_bucket_ = false;
};

class LightLevels {
  public:
    // Levels 0..max_level of the inverse curve with contrast `hardness`, at 16-bit scale when
    // `deep`, each value multiplied by `scale` (at least 1) before rounding.
    LightLevels(double hardness, bool deep, double scale, int32_t max_level);
    LightLevels(const LightLevels&) = delete;
    LightLevels& operator=(const LightLevels&) = delete;

    int32_t level(float light) const { return lookup_.level(light); }

    // Valid while this table lives.
    LevelLookup lookup() const { return lookup_; }

    // The threshold of `level` (1..max): the smallest light that rounds to it or above.
    float threshold(int32_t level) const { return thresholds_[static_cast<std::size_t>(level)]; }

  private:
    // Positive floats order as their bit patterns do.
    static uint32_t bits_of(float value) { return std::bit_cast<uint32_t>(value); }

    bool reaches(float light, int32_t level) const;
    float find_threshold(int32_t level, float below) const;
    void index_buckets();
    // The level of the positive light with bit pattern `bits`, searched upwards from `from`, a
    // level it reaches.
    int32_t level_from(int32_t from, uint32_t bits) const;
    // The bucket of level's threshold, when buckets are 2^shift bit patterns wide.
    uint32_t bucket_of(int32_t level, uint32_t shift) const;
    bool holds_one_threshold_a_bucket(uint32_t shift) const;
    void pack_buckets();

    double hardness_;
    bool deep_;
    InverseLight inverse_;
    double scale_;
    int32_t max_level_;
    // thresholds_[k] for k = 1..max; entry 0 is unused.
    std::vector<float> thresholds_;
    // The level at the start of each bucket of bit patterns (levels stay below 2^16), and one
    // more entry, so that the last bucket can be read as the low half of 32 bits.
    std::vector<uint16_t> bucket_level_;
    std::vector<uint32_t> packed_buckets_;
    LevelLookup lookup_;
};

}  // namespace render

#endif
