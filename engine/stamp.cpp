#include "engine/stamp.h"

#include <cstddef>
#include <cstdint>

#include "engine/channel_levels.h"
#include "engine/quality_choice.h"

namespace {

constexpr double kRounding = 0.5;
constexpr double kFull = 255.0;
constexpr uint8_t kFullByte = 255;
// Middle values of a 16-bit pass are kept to multiples of 8, which bounds the distinct stamp
// values and with them the photon table.
constexpr double kCoarseStep = 8.0;
constexpr double kCoarseScale = 0.125;
constexpr int32_t kColourChannels = 3;
constexpr int32_t kStampPlanes = 4;
// Auto quality switches its rule at these diameters.
constexpr double kSmallDisc = 10.0;
constexpr double kLargeDisc = 50.0;
// Span table entries of a row without a non-zero cell, and without a full cell.
constexpr int32_t kNoSpan = -1;
constexpr int32_t kNoFullFirst = -999;
constexpr int32_t kNoFullEnd = 999;

enum class Rule { kFull, kBands, kTwoLevels };

struct Quantiser {
    Rule rule;
    double low;   // below: 0
    double high;  // above: 255
    bool coarse;  // middle values to multiples of 8
};

constexpr double kNormalLow = 64.0;
constexpr double kNormalHigh = 191.0;
constexpr double kFineLow = 15.0;
constexpr double kFineHigh = 240.0;
constexpr double kTwoLevelCut = 127.0;

Quantiser quantiser_for(uint16_t quality, double diameter, bool sixteen_bit) {
    const Quantiser full{Rule::kFull, 0.0, kFull, sixteen_bit};
    const Quantiser normal{Rule::kBands, kNormalLow, kNormalHigh, sixteen_bit};
    const Quantiser fine{Rule::kBands, kFineLow, kFineHigh, sixteen_bit};
    const Quantiser two_levels{Rule::kTwoLevels, kTwoLevelCut, kTwoLevelCut, false};
    switch (quality) {
        case kNormal:
            return normal;
        case kLow:
            return two_levels;
        case kAutoQuality:
            return diameter < kSmallDisc ? full : diameter < kLargeDisc ? fine : normal;
        case kAutoSpeed:
            return diameter < kSmallDisc ? full : diameter < kLargeDisc ? normal : two_levels;
        default:  // High, and anything outside the menu
            return full;
    }
}

// The stamp byte of v = cell + 0.5. A cell at full weight is never coarsened; an undefined
// cell counts as empty.
uint8_t quantise(double v, const Quantiser& q) {
    if (v > q.high || (q.rule == Rule::kFull && v >= kFull)) {
        return kFullByte;
    }
    if (q.rule == Rule::kTwoLevels || !(v >= q.low)) {
        return 0;
    }
    const auto byte = static_cast<int32_t>(v);
    if (!q.coarse) {
        return static_cast<uint8_t>(byte);
    }
    // A faint cell keeps the smallest coarse weight: rounding it to 0 would strip a small stamp
    // of its soft edge, and a 16-bit pass would then blur less than the 8-bit pass of the same
    // picture.
    const auto coarse = static_cast<int32_t>(static_cast<int32_t>(v * kCoarseScale) * kCoarseStep);
    return static_cast<uint8_t>(byte > 0 && coarse == 0 ? static_cast<int32_t>(kCoarseStep)
                                                        : coarse);
}

// Which plane the scatter loop reads as mask, first, second and third colour.
void assign_stamp_planes(Stamp& stamp, std::size_t plane_cells) {
    static constexpr int32_t kPlanesByChannels[3][4] = {{0, 0, 0, 0}, {0, 0, 1, 2}, {0, 1, 2, 3}};
    const int32_t c = stamp.channels;
    const int32_t row = c < kColourChannels ? 0 : c == kColourChannels ? 1 : 2;
    for (int32_t j = 0; j < kStampPlanes; ++j) {
        stamp.stamp_planes[j] = stamp.newPattern.get() + kPlanesByChannels[row][j] * plane_cells;
    }
}

int64_t plane_sum(const uint8_t* plane, std::size_t cells) {
    int64_t sum = 0;
    for (std::size_t i = 0; i < cells; ++i) {
        sum += plane[i];
    }
    return sum;
}

// Each result channel is normalised by the plane that weights it. A plane without weight keeps
// its earlier norm: its sums are 0 whatever the norm.
void compute_channel_norms(Stamp& stamp, std::size_t plane_cells) {
    const int32_t planes = stamp.channels < kColourChannels ? 1 : kStampPlanes;
    for (int32_t j = 0; j < planes; ++j) {
        const int64_t sum = plane_sum(stamp.stamp_planes[j], plane_cells);
        if (sum > 0) {
            stamp.channel_norm[j] = static_cast<float>(1.0 / static_cast<double>(sum));
        }
    }
    for (int32_t j = planes; j < kStampPlanes; ++j) {
        stamp.channel_norm[j] = stamp.channel_norm[0];
    }
}

struct CellTest {
    const uint8_t* const* planes;
    int32_t count;

    bool non_zero(std::size_t i) const {
        for (int32_t j = 0; j < count; ++j) {
            if (planes[j][i] != 0) {
                return true;
            }
        }
        return false;
    }
    bool full(std::size_t i) const {
        for (int32_t j = 0; j < count; ++j) {
            if (planes[j][i] != kFullByte) {
                return false;
            }
        }
        return true;
    }
};

void compute_spans(Stamp& stamp) {
    const int32_t W = stamp.width;
    // A grey stamp is judged by its mask; a colour stamp by all four planes the loop reads.
    const CellTest cell{stamp.stamp_planes, stamp.channels < kColourChannels ? 1 : kStampPlanes};
    stamp.has_holes = false;
    for (int32_t r = 0; r < stamp.height; ++r) {
        const std::size_t row = static_cast<std::size_t>(r) * static_cast<std::size_t>(W);
        int32_t first = kNoSpan;
        int32_t end = kNoSpan;
        int32_t full_first = kNoFullFirst;
        int32_t full_end = kNoFullEnd;
        for (int32_t x = 0; x < W; ++x) {
            if (cell.non_zero(row + x)) {
                first = first < 0 ? x : first;
                end = x + 1;
            }
            if (cell.full(row + x)) {
                full_first = full_first == kNoFullFirst ? x : full_first;
                full_end = x + 1;
            }
        }
        stamp.span_first[r] = first;
        stamp.span_end[r] = end;
        stamp.full_first[r] = full_first;
        stamp.full_end[r] = full_end;
        if (full_first == kNoFullFirst) {
            continue;
        }
        for (int32_t x = full_first; x < full_end; ++x) {
            if (!cell.full(row + x)) {
                stamp.has_holes = true;
                break;
            }
        }
    }
}

// The distinct byte values of the stamp; 0 is always among them, since the photon tables need
// the step from any weight to nothing.
void compute_stamp_values(Stamp& stamp, std::size_t plane_cells) {
    int64_t histogram[Stamp::kStampValues] = {};
    histogram[0] = 1;
    const std::size_t bytes = static_cast<std::size_t>(stamp.channels) * plane_cells;
    for (std::size_t i = 0; i < bytes; ++i) {
        ++histogram[stamp.newPattern[i]];
    }
    int32_t count = 0;
    for (int32_t v = 0; v < Stamp::kStampValues; ++v) {
        if (histogram[v] == 0) {
            stamp.value_index[v] = -1;
            continue;
        }
        stamp.value_index[v] = count;
        stamp.stamp_values[count] = v;
        ++count;
    }
    stamp.value_count = count;
}

}  // namespace

EngineStatus Stamp::new_pattern(const SizePattern& sized, const PassInputs& in) {
    if (newPattern) {
        return {engine_failure::kStampHeld,
                "newPattern is not NULL before allocation at new_pattern()"};
    }
    const int32_t W = sized.width;
    const int32_t H = sized.height;
    if (H > kMaxStampRows) {
        return {engine_failure::kStampTooTall,
                "(new_pattern): the stamp is taller than the 1024 rows of its span tables"};
    }
    const std::size_t plane_cells = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    newPattern =
        platform::OwnedArray<uint8_t>(static_cast<std::size_t>(sized.channels) * plane_cells);
    if (!newPattern) {
        return {engine_failure::kStampMemory, "(new_pattern): not enough memory for newPattern"};
    }

    const Quantiser q = quantiser_for(in.quality, in.blur, in.source.levels > kLevels8);
    for (int32_t p = 0; p < sized.channels; ++p) {
        const float* source = sized.m_mapzp.get() + p * plane_cells;
        uint8_t* plane = newPattern.get() + p * plane_cells;
        // Stored turned by 180 degrees, so that gathering through it spreads each source pixel
        // in the iris's own orientation.
        for (std::size_t i = 0; i < plane_cells; ++i) {
            plane[plane_cells - 1 - i] = quantise(source[i] + kRounding, q);
        }
    }

    channels = sized.channels;
    width = W;
    height = H;
    half_width = W / 2;
    half_height = H / 2;
    assign_stamp_planes(*this, plane_cells);
    compute_channel_norms(*this, plane_cells);
    compute_spans(*this);
    compute_stamp_values(*this, plane_cells);
    return {};
}

EngineStatus prepare_pattern(const IrisPattern& pattern, const PassInputs& in, SizePattern& sized,
                             Stamp& stamp) {
    if (in.blur == 1.0) {
        return {};
    }
    // Refused before the resampling buffers are allocated for a stamp that could never be used.
    if (odd_diameter(in.blur, in.use_micro) > Stamp::kMaxStampRows) {
        return {engine_failure::kStampTooTall,
                "(prepare_pattern): the stamp is taller than the 1024 rows of its span tables"};
    }
    const EngineStatus resized = sized.resize_pattern(pattern, in.blur, in.use_micro);
    return resized.ok() ? stamp.new_pattern(sized, in) : resized;
}
