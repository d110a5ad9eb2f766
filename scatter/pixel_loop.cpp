// The scatter loop of one pass: every output pixel the pass owns gets light, never colour, added
// into the render's accumulation and weight buffers. Nothing is overwritten, so passes may run
// in any order.
#include <cstdint>

#include "engine/bokeh_engine.h"
#include "engine/light_curve.h"
#include "scatter/gather_walk.h"
#include "scatter/pixel_light.h"

namespace {

using Kernel = void (BokehEngine::*)(KernelResult*, int32_t);

// 1/255 as the float32 the blur map's partial weights are scaled with.
constexpr float kBlurMapUnit = 0.003921568859368563f;
constexpr uint8_t kFullBlurWeight = 255;
constexpr int kPercent = 100;
constexpr int kWeight = 4;

Kernel choose_kernel(const BokehEngine& e) {
    constexpr int32_t kColourChannels = 3;
    if (e.pattern_channels >= kColourChannels) {
        return &BokehEngine::gather_colour;
    }
    return e.use_simd ? &BokehEngine::gather_vector : &BokehEngine::gather_plain;
}

// Reports the row about to be processed; true when the caller asked to stop.
bool stop_requested(const BokehEngine& e) {
    const int done = static_cast<int>(e.cur_y * static_cast<double>(kPercent) / e.height);
    if (done < 1 || done > kPercent - 1 || e.progress_fn == nullptr) {
        return false;
    }
    return e.progress_fn(done, kPercent) != 0;
}

// The buffers' rows at cur_y.
struct RowBuffers {
    const uint16_t* source;
    float* accum;
    float* weight;
    const uint8_t* blur_map;  // null when every pixel counts in full
};

RowBuffers row_buffers(const BokehEngine& e) {
    const std::ptrdiff_t y = e.cur_y;
    return RowBuffers{
        e.Src_Data_sh + y * e.src16_stride,
        e.accum + y * e.accum_rowbytes,
        e.weight_buf + y * e.width,
        e.blur_map ? e.blur_map + y * e.blur_map_rowbytes : nullptr,
    };
}

void blurred_row(BokehEngine& e, Kernel gather, const RowBuffers& row) {
    int32_t restart = 1;
    for (e.cur_x = 0; e.cur_x < e.width; ++e.cur_x) {
        const uint8_t blur = row.blur_map ? row.blur_map[e.cur_x] : kFullBlurWeight;
        if (blur == 0) {
            // The kernel's sums now lag behind; the next pixel starts afresh.
            restart = 1;
            continue;
        }
        KernelResult r;
        (e.*gather)(&r, restart);
        if (blur < kFullBlurWeight) {
            const float share = blur * kBlurMapUnit;
            for (float& value : r.value) {
                value *= share;
            }
        }
        accumulate_pixel(row.accum + e.cur_x * scatter::kLevelsPerPixel, r);
        row.weight[e.cur_x] += r.value[kWeight];
        restart = e.has_holes ? 1 : 0;
    }
}

// A pass without blur adds each pixel's own light; any blur map value above 0 counts in full.
template <bool kDeep>
void unblurred_row(BokehEngine& e, const RowBuffers& row) {
    const double a = e.light_contrast;
    const double b = e.brightness;
    const double c = e.light_scale;
    const float mid_weight = kDeep ? RGB_to_Light(e.mid_level, a, b, c)
                                   : RGB_to_Light8(static_cast<uint8_t>(e.mid_level), a, b, c);
    for (e.cur_x = 0; e.cur_x < e.width; ++e.cur_x) {
        if (row.blur_map && row.blur_map[e.cur_x] == 0) {
            continue;
        }
        const uint16_t* pixel = row.source + e.cur_x * scatter::kLevelsPerPixel;
        if (pixel[0] == 0) {
            continue;
        }
        float* accum_pixel = row.accum + e.cur_x * scatter::kLevelsPerPixel;
        if constexpr (kDeep) {
            light_pixel16(accum_pixel, pixel, a, b, c);
        } else {
            const uint8_t bytes[scatter::kLevelsPerPixel] = {
                static_cast<uint8_t>(pixel[0]), static_cast<uint8_t>(pixel[1]),
                static_cast<uint8_t>(pixel[2]), static_cast<uint8_t>(pixel[3])};
            light_pixel8(accum_pixel, bytes, a, b, c);
        }
        row.weight[e.cur_x] += mid_weight;
    }
}

}  // namespace

int32_t BokehEngine::run_pix_loop() {
    const bool blurred = pattern_size > 1.0;
    const Kernel gather = choose_kernel(*this);
    for (cur_y = 0; cur_y < height; ++cur_y) {
        if (row_mask && row_mask[cur_y] == 0) {
            continue;
        }
        if (stop_requested(*this)) {
            error_code = 1;
            return 1;
        }
        const RowBuffers row = row_buffers(*this);
        if (blurred) {
            blurred_row(*this, gather, row);
        } else if (src16) {
            unblurred_row<true>(*this, row);
        } else {
            unblurred_row<false>(*this, row);
        }
    }
    return 1;
}
