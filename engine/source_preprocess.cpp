#include "engine/prepared_source.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/engine_failures.h"
#include "engine/row_reach.h"
#include "engine/size_pattern.h"
#include "platform/allocation.h"
#include "platform/parallel_rows.h"

namespace {

constexpr int32_t kValuesPerPixel = 4;
// Alpha times any sane scale stays far inside this; the bound only keeps the conversion defined.
constexpr double kAlphaLimit = 2147483647.0;

// The scaled alpha rounded half up and kept to its low 16 bits.
uint16_t scaled_alpha(uint32_t alpha, float scale) {
    const float product = static_cast<float>(alpha) * scale;
    double rounded = static_cast<double>(product) + 0.5;
    if (!(rounded > -kAlphaLimit)) {
        rounded = 0.0;
    } else if (rounded > kAlphaLimit) {
        rounded = kAlphaLimit;
    }
    return static_cast<uint16_t>(static_cast<int64_t>(rounded));
}

// Every value becomes a level index into the light and photon tables, so none may pass the top
// level; only values a frame of this depth should never hold (or an alpha scale above 1) are cut.
void convert_row(const uint16_t* source, uint16_t* target, int32_t pixels, float scale,
                 uint16_t top_level) {
    const auto level = [top_level](uint32_t value) {
        return static_cast<uint16_t>(std::min<uint32_t>(value, top_level));
    };
    for (int32_t x = 0; x < pixels; ++x) {
        const uint16_t* in = source + static_cast<std::ptrdiff_t>(x) * kValuesPerPixel;
        uint16_t* out = target + static_cast<std::ptrdiff_t>(x) * kValuesPerPixel;
        if (in[0] == 0) {
            out[0] = out[1] = out[2] = out[3] = 0;
            continue;
        }
        out[0] = level(scaled_alpha(in[0], scale));
        out[1] = level(in[1]);
        out[2] = level(in[2]);
        out[3] = level(in[3]);
    }
}

// Every bit of a pixel's levels where its alpha is lit, none where it is 0: a pixel without
// alpha is cleared with no branch per pixel.
uint16_t lit_bits(uint32_t alpha) {
    return static_cast<uint16_t>(alpha == 0 ? 0 : 0xFFFF);
}

// A row's levels at an alpha scale of 1, which scales nothing: the levels convert_row makes, with
// no trip through floating point and no branch a pixel.
template <class Value>
void cut_row(const Value* source, uint16_t* target, int32_t pixels, uint16_t top_level) {
    for (int32_t x = 0; x < pixels; ++x) {
        const Value* in = source + static_cast<std::ptrdiff_t>(x) * kValuesPerPixel;
        uint16_t* out = target + static_cast<std::ptrdiff_t>(x) * kValuesPerPixel;
        const uint16_t kept = lit_bits(in[0]);
        for (int32_t v = 0; v < kValuesPerPixel; ++v) {
            out[v] = std::min(static_cast<uint16_t>(in[v]), top_level) & kept;
        }
    }
}

// An 8-bit frame's scaled alpha of every byte value, cut to the top level. Made once a pass,
// it turns a row's scaling into lookups: the scaling's conversions to double and back, pixel by
// pixel, made the conversion a tenth of a depth render's time.
struct ByteAlphaLevels {
    static constexpr int32_t kValues = 256;
    std::array<uint16_t, kValues> alpha;

    ByteAlphaLevels(float scale, uint16_t top_level) {
        for (int32_t v = 0; v < kValues; ++v) {
            alpha[v] = std::min(scaled_alpha(static_cast<uint32_t>(v), scale), top_level);
        }
    }
};

// An 8-bit row's levels, by the rules convert_row keeps for a 16-bit row. Colour is cut as it
// is at any scale, a vector at a time; only alpha is then looked up, pixel by pixel.
void convert_row8(const uint8_t* source, uint16_t* target, int32_t pixels, uint16_t top_level,
                  const ByteAlphaLevels& levels) {
    cut_row(source, target, pixels, top_level);
    for (int32_t x = 0; x < pixels; ++x) {
        const std::ptrdiff_t alpha = static_cast<std::ptrdiff_t>(x) * kValuesPerPixel;
        target[alpha] = levels.alpha[source[alpha]];
    }
}

// Whether rows of `stride` values, and the 8-bit source's rows, hold a whole row of the frame.
bool geometry_valid(const SourceFrame& frame, int32_t stride) {
    const bool has_pixels = frame.src16 != nullptr || frame.src8 != nullptr || frame.linear();
    const int64_t row_values = int64_t{kValuesPerPixel} * frame.width;
    const bool short_rows8 =
        frame.src16 == nullptr && static_cast<int64_t>(frame.src8_rowbytes) < row_values;
    return frame.width >= 0 && frame.height >= 0 && has_pixels && !short_rows8 &&
           static_cast<int64_t>(stride) >= row_values;
}

}  // namespace

EngineStatus PreparedSource::pre_process_RGB_cf(const PassInputs& in) {
    const SourceFrame& frame = in.source;
    if (Src_Data_sh) {
        return {engine_failure::kSourceHeld,
                "Src_Data_sh is not NULL before allocation at pre_process_RGB()"};
    }
    src16_stride = frame.src16 != nullptr ? frame.src16_stride
                   : frame.linear()       ? frame.srcf_stride
                                          : kValuesPerPixel * frame.width;
    if (!geometry_valid(frame, src16_stride)) {
        return {engine_failure::kSourceGeometry,
                "(pre_process_RGB_cf): the source frame's size or row stride is invalid"};
    }
    // Float light needs no levels: the pass converts it as it reads it.
    if (frame.linear()) {
        return {};
    }
    const std::size_t values =
        static_cast<std::size_t>(frame.height) * static_cast<std::size_t>(src16_stride);
    Src_Data_sh = platform::OwnedArray<uint16_t>(values);
    if (!Src_Data_sh) {
        return {engine_failure::kSourceMemory,
                "(pre_process_RGB_cf): not enough memory for Src_Data_sh"};
    }
    prepare_read_pixels(in);
    return {};
}

void PreparedSource::prepare_read_pixels(const PassInputs& in) {
    const SourceFrame& frame = in.source;
    const auto top_level = static_cast<uint16_t>(std::clamp(frame.levels - 1, 0, 65535));
    // Only an 8-bit frame's rows go through the tables.
    const std::optional<ByteAlphaLevels> byte_levels =
        frame.src16 == nullptr
            ? std::optional<ByteAlphaLevels>(std::in_place, in.alpha_scale, top_level)
            : std::nullopt;
    const bool blurred = in.blur > 1.0;
    const int32_t reach = blurred ? odd_diameter(in.blur, in.use_micro) / 2 : 0;
    // A kernel stepping along a row also reads the pixel just left of its stamp.
    const int32_t column_reach = blurred ? reach + 1 : 0;
    const int32_t* row_mask = in.region.row_mask;
    const row_reach::ColumnSpan columns = row_reach::columns_in_reach(
        row_reach::worked_columns(in.region.blur_map, in.region.blur_map_rowbytes, row_mask,
                                  frame.width, frame.height),
        column_reach, frame.width);
    if (columns.empty()) {
        return;
    }
    const auto prepare_row = [&](int, int32_t y) {
        const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(columns.first) * kValuesPerPixel;
        uint16_t* target =
            Src_Data_sh.get() + static_cast<std::ptrdiff_t>(y) * src16_stride + first;
        const int32_t pixels = columns.end - columns.first;
        if (!row_reach::row_processed(row_mask, y)) {
            std::fill(target, target + kValuesPerPixel * pixels, uint16_t{0});
        } else if (frame.src16 != nullptr) {
            const uint16_t* source =
                frame.src16 + static_cast<std::ptrdiff_t>(y) * src16_stride + first;
            if (in.alpha_scale == 1.0f) {
                cut_row(source, target, pixels, top_level);
            } else {
                convert_row(source, target, pixels, in.alpha_scale, top_level);
            }
        } else {
            convert_row8(frame.src8 + static_cast<std::ptrdiff_t>(y) * frame.src8_rowbytes + first,
                         target, pixels, top_level, *byte_levels);
        }
        alpha_.note_row(target, pixels);
    };
    const int threads = platform::row_threads();
    row_reach::for_each_range(row_mask, frame.height, reach, [&](int32_t first, int32_t end) {
        platform::for_each_row(first, end, threads, prepare_row);
    });
    alpha_columns_ = columns;
    alpha_row_reach_ = reach;
}

const AlphaLevels* PreparedSource::prepared_alpha(row_reach::ColumnSpan read,
                                                  int32_t row_reach) const {
    const bool same = !alpha_columns_.empty() && read.first == alpha_columns_.first &&
                      read.end == alpha_columns_.end && row_reach == alpha_row_reach_;
    return same ? &alpha_ : nullptr;
}
