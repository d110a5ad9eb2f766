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
    lookup_.thresholds_ = thresholds_.data();
    lookup_.bucket_level_ = bucket_level_.data();
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
        const float start = float_of(first_bits + (static_cast<uint32_t>(i) << shift));
        while (found < max_level_ && start >= thresholds_[static_cast<std::size_t>(found) + 1]) {
            ++found;
        }
        bucket_level_[i] = static_cast<uint16_t>(found);
    }
    bucket_level_.push_back(0);
    lookup_.first_bits_ = first_bits;
    lookup_.shift_ = shift;
    const auto bucket_of = [&](int32_t level) {
        return (bits_of(thresholds_[static_cast<std::size_t>(level)]) - first_bits) >> shift;
    };
    bool shared = false;
    for (int32_t k = 1; k < max_level_; ++k) {
        shared = shared || bucket_of(k) == bucket_of(k + 1);
    }
    lookup_.one_threshold_a_bucket_ = !shared;
}

}  // namespace render
