#include "render/light_levels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "engine/light_curve.h"

namespace render {
namespace {

constexpr double kRounding = 0.5;
constexpr uint32_t kInfinityBits = 0x7F800000u;
// Enough buckets that a search rarely passes more than a threshold or two.
constexpr uint32_t kMaxBuckets = 1u << 16;

float float_of(uint32_t bits) {
    return std::bit_cast<float>(bits);
}

// The light of curve position `position` (gain 1, scale 1), from the forward curve: close to the
// threshold the inverse curve puts there, so it makes a good first guess.
double forward_light(double hardness, double position) {
    using namespace light_curve;
    const double argument = std::min(tangent_argument(position), 1.57);
    const double base = static_cast<float>(kGain * exponential_part(hardness, kArgumentAtZero));
    return kGain * exponential_part(hardness, argument) - base;
}

}  // namespace

LightLevels::LightLevels(double hardness, bool deep, double scale, int32_t max_level)
    : hardness_(hardness),
      deep_(deep),
      inverse_(deep ? 1 : 0, hardness, 1.0),
      scale_(scale),
      max_level_(max_level),
      thresholds_(static_cast<std::size_t>(max_level) + 1, 0.0f) {
    float below = 0.0f;
    for (int32_t k = 1; k <= max_level_; ++k) {
        below = find_threshold(k, below);
        thresholds_[static_cast<std::size_t>(k)] = below;
    }
    lookup_.first_threshold_ = thresholds_[1];
    lookup_.last_threshold_ = thresholds_[static_cast<std::size_t>(max_level_)];
    lookup_.max_level_ = max_level_;
    index_buckets();
    pack_buckets();
    lookup_.thresholds_ = thresholds_.data();
    lookup_.bucket_level_ = bucket_level_.data();
    lookup_.packed_buckets_ = packed_buckets_.empty() ? nullptr : packed_buckets_.data();
}

bool LightLevels::reaches(float light, int32_t level) const {
    return inverse_.channel_value(light) * scale_ + kRounding >= level;
}

// The smallest positive float that reaches `level`, no smaller than `below` (the threshold of
// the level before). The curve rises with light, so a bracket around the forward guess is
// narrowed bit pattern by bit pattern: positive floats order as their bits do.
float LightLevels::find_threshold(int32_t level, float below) const {
    const double output_factor = deep_ ? light_curve::kInverse16Factor : 1.0;
    const double position = (level - kRounding) / scale_ / output_factor;
    double guess = forward_light(hardness_, position);
    guess = std::isnan(guess)
                ? 0.0
                : std::clamp(guess, 0.0, static_cast<double>(std::numeric_limits<float>::max()));

    uint32_t low = bits_of(below) > 0 ? bits_of(below) - 1 : 0;  // does not reach
    uint32_t high = std::max(bits_of(static_cast<float>(guess)), low + 1);
    uint32_t step = 1;
    while (high < kInfinityBits && !reaches(float_of(high), level)) {
        low = high;
        high = std::min(high + step, kInfinityBits);
        step *= 2;
    }
    step = 1;
    while (high - low > 1) {
        const uint32_t probe = high - std::min(step, high - low - 1);
        if (reaches(float_of(probe), level)) {
            high = probe;
            step *= 2;
        } else {
            low = probe;
            break;
        }
    }
    while (high - low > 1) {
        const uint32_t middle = low + (high - low) / 2;
        (reaches(float_of(middle), level) ? high : low) = middle;
    }
    return float_of(high);
}

void LightLevels::index_buckets() {
    const uint32_t first_bits = bits_of(lookup_.first_threshold_);
    const uint32_t span = bits_of(lookup_.last_threshold_) - first_bits;
    uint32_t shift = 0;
    while ((span >> shift) >= kMaxBuckets) {
        ++shift;
    }
    bucket_level_.assign((span >> shift) + 1, 0);
    int32_t found = 1;
    for (std::size_t i = 0; i < bucket_level_.size(); ++i) {
        found = level_from(found, first_bits + (static_cast<uint32_t>(i) << shift));
        bucket_level_[i] = static_cast<uint16_t>(found);
    }
    bucket_level_.push_back(0);
    lookup_.first_bits_ = first_bits;
    lookup_.shift_ = shift;
    lookup_.one_threshold_a_bucket_ = holds_one_threshold_a_bucket(shift);
}

int32_t LightLevels::level_from(int32_t from, uint32_t bits) const {
    while (from < max_level_ && bits >= bits_of(thresholds_[static_cast<std::size_t>(from) + 1])) {
        ++from;
    }
    return from;
}

uint32_t LightLevels::bucket_of(int32_t level, uint32_t shift) const {
    return (bits_of(thresholds_[static_cast<std::size_t>(level)]) - lookup_.first_bits_) >> shift;
}

bool LightLevels::holds_one_threshold_a_bucket(uint32_t shift) const {
    for (int32_t k = 1; k < max_level_; ++k) {
        if (bucket_of(k, shift) == bucket_of(k + 1, shift)) {
            return false;
        }
    }
    return true;
}

// A word holds the bucket's first level in its high bits and, in its low shift + 1 bits, the
// place of the next level's threshold counted from the bucket's first bit pattern, or the
// bucket's length where that threshold lies beyond it, which no light in the bucket reaches.
// The buckets are made as wide as they can be while each holds one threshold at most: the fewer
// the words, the more of them stay in the cache.
void LightLevels::pack_buckets() {
    if (!lookup_.one_threshold_a_bucket_) {
        return;
    }
    constexpr uint32_t kWordBits = 32;
    uint32_t shift = lookup_.shift_;
    while (shift + 1 < kWordBits && holds_one_threshold_a_bucket(shift + 1)) {
        ++shift;
    }
    const auto level_bits =
        static_cast<uint32_t>(std::bit_width(static_cast<uint32_t>(max_level_)));
    if (level_bits + shift + 1 > kWordBits) {
        return;
    }
    const uint32_t length = 1u << shift;
    const uint32_t buckets =
        ((bits_of(lookup_.last_threshold_) - lookup_.first_bits_) >> shift) + 1;
    packed_buckets_.resize(buckets);
    int32_t level = 1;
    for (uint32_t b = 0; b < buckets; ++b) {
        const uint32_t start = lookup_.first_bits_ + (b << shift);
        level = level_from(level, start);
        uint32_t place = length;
        if (level < max_level_) {
            place =
                std::min(length, bits_of(thresholds_[static_cast<std::size_t>(level) + 1]) - start);
        }
        packed_buckets_[b] = static_cast<uint32_t>(level) << (shift + 1) | place;
    }
    lookup_.packed_shift_ = shift;
}

}  // namespace render
