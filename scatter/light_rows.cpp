#include "scatter/light_rows.h"

#include <algorithm>

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

// Row y's lights, cleared with their pads; `channels` and `weights` at its first column.
struct ViewRow {
    float* channels;
    float* weights;
};

ViewRow cleared_row(const LightView& view, int32_t y) {
    const std::ptrdiff_t row_start = view.pixel(view.first_column, y) - view.pad;
    float* channels = view.channel + 4 * row_start;
    float* weights = view.weight + row_start;
    std::fill(channels, channels + 4 * view.stride(), 0.0f);
    std::fill(weights, weights + view.stride(), 0.0f);
    return ViewRow{channels + 4 * view.pad, weights + view.pad};
}

// A float frame's pixels of the step, as LinearLight spreads them.
void convert_linear_row(const PassView& e, const LightView& view, int32_t y) {
    const SourceFrame& frame = e.in.source;
    const float* values = frame.srcf + static_cast<std::ptrdiff_t>(y) * frame.srcf_stride +
                          static_cast<std::ptrdiff_t>(view.first_column) * 4;
    const LinearLight light(e.in.hardness, e.in.brightness);
    const ViewRow row = cleared_row(view, y);
    for (int32_t x = 0; x < view.columns; ++x) {
        const float* pixel = values + 4 * static_cast<std::ptrdiff_t>(x);
        if (!frame.in_step(pixel)) {
            continue;
        }
        const LinearLight::PixelLight lights = light.pixel_light(pixel);
        std::copy(lights.slot, lights.slot + 4, row.channels + 4 * static_cast<std::ptrdiff_t>(x));
        row.weights[x] = lights.weight;
    }
}

void convert_row(const PassView& e, const LightView& view, int32_t y) {
    if (e.in.source.linear()) {
        convert_linear_row(e, view, y);
        return;
    }
    const uint16_t* levels = e.source.Src_Data_sh.get() +
                             static_cast<std::ptrdiff_t>(y) * e.source.src16_stride +
                             static_cast<std::ptrdiff_t>(view.first_column) * 4;
    const ViewRow row = cleared_row(view, y);
    float* channels = row.channels;
    float* weights = row.weights;
    for (int32_t x = 0; x < view.columns; ++x) {
        const uint16_t* pixel = levels + 4 * static_cast<std::ptrdiff_t>(x);
        for (int k = 0; k < 4; ++k) {
            channels[4 * x + k] = e.photons.level_light[pixel[k]];
        }
        weights[x] = e.photons.level_light[e.photons.level_map[pixel[0]]];
    }
}

constexpr int kWeightSlot = 4;

float convert_linear_slot(const PassView& e, int slot, int32_t y, int32_t first, int32_t columns,
                          double* out) {
    const SourceFrame& frame = e.in.source;
    const float* values = frame.srcf + static_cast<std::ptrdiff_t>(y) * frame.srcf_stride +
                          static_cast<std::ptrdiff_t>(first) * 4;
    const LinearLight light(e.in.hardness, e.in.brightness);
    float largest = 0.0f;
    for (int32_t x = 0; x < columns; ++x) {
        const float* pixel = values + 4 * static_cast<std::ptrdiff_t>(x);
        float value = 0.0f;
        if (frame.in_step(pixel)) {
            const LinearLight::PixelLight lights = light.pixel_light(pixel);
            value = slot < kWeightSlot ? lights.slot[slot] : lights.weight;
        }
        out[x] = value;
        largest = std::max(largest, value);
    }
    return largest;
}

}  // namespace

float convert_light_slot(const PassView& e, int slot, int32_t y, int32_t first, int32_t columns,
                         double* out) {
    if (e.in.source.linear()) {
        return convert_linear_slot(e, slot, y, first, columns, out);
    }
    const uint16_t* levels = e.source.Src_Data_sh.get() +
                             static_cast<std::ptrdiff_t>(y) * e.source.src16_stride +
                             static_cast<std::ptrdiff_t>(first) * 4;
    const float* light = e.photons.level_light;
    const uint16_t* map = slot < kWeightSlot ? nullptr : e.photons.level_map;
    const int channel = slot < kWeightSlot ? slot : 0;
    float largest = 0.0f;
    for (int32_t x = 0; x < columns; ++x) {
        const uint16_t level = levels[4 * static_cast<std::ptrdiff_t>(x) + channel];
        const float value = light[map != nullptr ? map[level] : level];
        out[x] = value;
        largest = std::max(largest, value);
    }
    return largest;
}

void convert_light_rows(const PassView& e, const LightView& view, int32_t first, int32_t end) {
    for (int32_t y = first; y < end; ++y) {
        convert_row(e, view, y);
    }
}

}  // namespace scatter
