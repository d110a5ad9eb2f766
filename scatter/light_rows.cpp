#include "scatter/light_rows.h"

#include <algorithm>
#include <cstdint>

#include "engine/linear_light.h"

namespace scatter {

LightView LightView::over(float* block, int32_t rows, int32_t first_column, int32_t columns,
                          int32_t pad) {
    LightView view;
    view.rows = rows;
    view.first_column = first_column;
    view.columns = columns;
    view.pad = pad;
    view.channel = block;
    view.weight = block + 4 * view.stride() * rows;
    return view;
}

namespace {

constexpr int kWeightSlot = 4;

// The rule every conversion below follows: a channel's light is the photon light of its level,
// the weight's that of level_map of the alpha level, so that it is 0 where alpha is 0.
float level_slot_light(const PhotonLight& photons, const uint16_t* pixel, int slot) {
    return slot < kWeightSlot ? photons.level_light[pixel[slot]]
                              : photons.level_light[photons.level_map[pixel[0]]];
}

// A float frame's pixel as LinearLight spreads it: 0 everywhere outside the step.
LinearLight::PixelLight linear_pixel_light(const SourceFrame& frame, const LinearLight& light,
                                           const float* pixel) {
    return frame.in_step(pixel) ? light.pixel_light(pixel) : LinearLight::PixelLight{};
}

// Row y of the frame at column `first`: its levels, or a float frame's values.
const uint16_t* level_row(const PassView& e, int32_t y, int32_t first) {
    return e.source.Src_Data_sh.get() + static_cast<std::ptrdiff_t>(y) * e.source.src16_stride +
           static_cast<std::ptrdiff_t>(first) * 4;
}

const float* value_row(const SourceFrame& frame, int32_t y, int32_t first) {
    return frame.srcf + static_cast<std::ptrdiff_t>(y) * frame.srcf_stride +
           static_cast<std::ptrdiff_t>(first) * 4;
}

struct ViewRow {
    float* channels;
    float* weights;
};

// Row y's lights with their pads cleared; `channels` and `weights` at its first column. The
// conversion writes every column between the pads: clearing them too doubled the stores into a
// window larger than a core's cache.
ViewRow padded_row(const LightView& view, int32_t y) {
    const std::ptrdiff_t row_start = view.pixel(view.first_column, y) - view.pad;
    float* channels = view.channel + 4 * row_start;
    float* weights = view.weight + row_start;
    const std::ptrdiff_t right_pad = static_cast<std::ptrdiff_t>(view.pad) + view.columns;
    std::fill(channels, channels + 4 * view.pad, 0.0f);
    std::fill(channels + 4 * right_pad, channels + 4 * view.stride(), 0.0f);
    std::fill(weights, weights + view.pad, 0.0f);
    std::fill(weights + right_pad, weights + view.stride(), 0.0f);
    return ViewRow{channels + 4 * view.pad, weights + view.pad};
}

// Answers whether some pixel of the row has a channel light of 0.
bool convert_row(const PassView& e, const LightView& view, int32_t y) {
    const ViewRow row = padded_row(view, y);
    if (e.in.source.linear()) {
        const float* values = value_row(e.in.source, y, view.first_column);
        const LinearLight light(e.in.hardness, e.in.brightness);
        bool unlit = false;
        for (int32_t x = 0; x < view.columns; ++x) {
            const LinearLight::PixelLight lights =
                linear_pixel_light(e.in.source, light, values + 4 * static_cast<std::ptrdiff_t>(x));
            std::copy(lights.slot, lights.slot + 4,
                      row.channels + 4 * static_cast<std::ptrdiff_t>(x));
            row.weights[x] = lights.weight;
            // The pixel's own lights, not the row read back as it is being written.
            for (const float slot : lights.slot) {
                unlit |= slot == 0.0f;
            }
        }
        return unlit;
    }
    const uint16_t* levels = level_row(e, y, view.first_column);
    const int32_t first_lit = e.photons.first_lit_level;
    bool unlit = false;
    for (int32_t x = 0; x < view.columns; ++x) {
        const uint16_t* pixel = levels + 4 * static_cast<std::ptrdiff_t>(x);
        for (int k = 0; k < 4; ++k) {
            row.channels[4 * x + k] = level_slot_light(e.photons, pixel, k);
        }
        row.weights[x] = level_slot_light(e.photons, pixel, kWeightSlot);
        // The levels tell, with no second look at the lights just stored: reading them back
        // as they were being written took as long as converting them.
        const uint16_t lowest =
            std::min(std::min(pixel[0], pixel[1]), std::min(pixel[2], pixel[3]));
        unlit |= lowest < first_lit;
    }
    return unlit;
}

}  // namespace

float convert_light_slot(const PassView& e, int slot, int32_t y, int32_t first, int32_t columns,
                         double* out) {
    float largest = 0.0f;
    const auto keep = [&](int32_t x, float value) {
        out[x] = value;
        largest = std::max(largest, value);
    };
    if (e.in.source.linear()) {
        const float* values = value_row(e.in.source, y, first);
        const LinearLight light(e.in.hardness, e.in.brightness);
        for (int32_t x = 0; x < columns; ++x) {
            const LinearLight::PixelLight lights =
                linear_pixel_light(e.in.source, light, values + 4 * static_cast<std::ptrdiff_t>(x));
            keep(x, slot < kWeightSlot ? lights.slot[slot] : lights.weight);
        }
        return largest;
    }
    const uint16_t* levels = level_row(e, y, first);
    for (int32_t x = 0; x < columns; ++x) {
        keep(x, level_slot_light(e.photons, levels + 4 * static_cast<std::ptrdiff_t>(x), slot));
    }
    return largest;
}

void convert_light_rows(const PassView& e, const LightView& view, int32_t first, int32_t end) {
    for (int32_t y = first; y < end; ++y) {
        const bool unlit = convert_row(e, view, y);
        if (view.unlit_rows != nullptr) {
            view.unlit_rows[y - view.first_row] = unlit ? 1 : 0;
        }
    }
}

}  // namespace scatter
