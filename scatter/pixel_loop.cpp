// The scatter loop of one pass: every output pixel the pass owns gets light, never colour, added
// into the render's accumulation and weight buffers. Nothing is overwritten, so passes may run
// in any order.
//
// Rows of a blurred pass are independent once each thread keeps its own kernel sums, so they
// are spread over the OpenMP team in bands. Progress belongs to the calling thread: each band's
// rows are reported, in row order, before any of them is computed, so that a stop requested at
// a row leaves that row and every later one untouched.
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "engine/row_reach.h"
#include "platform/allocation.h"
#include "scatter/gather_kernels.h"
#include "scatter/pixel_light.h"

namespace {

// 1/255 as the float32 the blur map's partial weights are scaled with.
constexpr float kBlurMapUnit = 0.003921568859368563f;
constexpr uint8_t kFullBlurWeight = 255;
constexpr int kPercent = 100;
constexpr int kWeight = 4;
// Rows reported and then computed together: enough to keep every thread busy, few enough that
// a stop request is answered at once.
constexpr int32_t kBandRows = 64;

// Reports row y as about to be processed; true when the caller asked to stop.
bool stop_requested(const BokehEngine& e, int32_t y) {
    const int done = static_cast<int>(y * static_cast<double>(kPercent) / e.height);
    if (done < 1 || done > kPercent - 1 || e.progress_fn == nullptr) {
        return false;
    }
    return e.progress_fn(done, kPercent) != 0;
}

// The buffers' rows at y.
struct RowBuffers {
    const uint16_t* source;
    float* accum;
    float* weight;
    const uint8_t* blur_map;  // null when every pixel counts in full
};

RowBuffers row_buffers(const BokehEngine& e, int32_t y) {
    const std::ptrdiff_t row = y;
    return RowBuffers{
        e.Src_Data_sh + row * e.src16_stride,
        e.accum + row * e.accum_rowbytes,
        e.weight_buf + row * e.width,
        e.blur_map ? e.blur_map + row * e.blur_map_rowbytes : nullptr,
    };
}

void blurred_row(const BokehEngine& e, const scatter::KernelSetup& setup,
                 scatter::KernelState& state, int32_t y) {
    const RowBuffers row = row_buffers(e, y);
    int32_t restart = 1;
    for (int32_t x = 0; x < e.width; ++x) {
        const uint8_t blur = row.blur_map ? row.blur_map[x] : kFullBlurWeight;
        if (blur == 0) {
            // The kernel's sums now lag behind; the next pixel starts afresh.
            restart = 1;
            continue;
        }
        KernelResult r;
        scatter::gather(e, setup, state, scatter::Position{x, y}, restart, &r);
        if (blur < kFullBlurWeight) {
            const float share = blur * kBlurMapUnit;
            for (float& value : r.value) {
                value *= share;
            }
        }
        accumulate_pixel(row.accum + x * scatter::kLevelsPerPixel, r);
        row.weight[x] += r.value[kWeight];
        restart = e.has_holes ? 1 : 0;
    }
}

// A pass without blur adds each pixel's own light; any blur map value above 0 counts in full.
// The 16-bit light table fills as levels are met, so these rows stay on the calling thread.
template <bool kDeep>
void unblurred_row(const BokehEngine& e, int32_t y) {
    const RowBuffers row = row_buffers(e, y);
    const double a = e.light_contrast;
    const double b = e.brightness;
    const double c = e.light_scale;
    const float mid_weight = kDeep ? RGB_to_Light(e.mid_level, a, b, c)
                                   : RGB_to_Light8(static_cast<uint8_t>(e.mid_level), a, b, c);
    for (int32_t x = 0; x < e.width; ++x) {
        if (row.blur_map && row.blur_map[x] == 0) {
            continue;
        }
        const uint16_t* pixel = row.source + x * scatter::kLevelsPerPixel;
        if (pixel[0] == 0) {
            continue;
        }
        float* accum_pixel = row.accum + x * scatter::kLevelsPerPixel;
        if constexpr (kDeep) {
            light_pixel16(accum_pixel, pixel, a, b, c);
        } else {
            const uint8_t bytes[scatter::kLevelsPerPixel] = {
                static_cast<uint8_t>(pixel[0]), static_cast<uint8_t>(pixel[1]),
                static_cast<uint8_t>(pixel[2]), static_cast<uint8_t>(pixel[3])};
            light_pixel8(accum_pixel, bytes, a, b, c);
        }
        row.weight[x] += mid_weight;
    }
}

// Reports the processed rows of [first, end) in order; the first row the caller stopped at, or
// `end`.
int32_t report_band(const BokehEngine& e, int32_t first, int32_t end) {
    for (int32_t y = first; y < end; ++y) {
        if (row_reach::row_processed(e.row_mask, y) && stop_requested(e, y)) {
            return y;
        }
    }
    return end;
}

// Runs rows [0, height) in bands: report, then compute with `compute_rows(first, end)`. Returns
// false when the caller stopped the loop.
template <class ComputeRows>
bool run_bands(BokehEngine& e, ComputeRows compute_rows) {
    for (int32_t first = 0; first < e.height; first += kBandRows) {
        const int32_t end = std::min(e.height, first + kBandRows);
        const int32_t stop = report_band(e, first, end);
        compute_rows(first, stop);
        if (stop != end) {
            e.cur_y = stop;
            return false;
        }
    }
    e.cur_y = e.height;
    return true;
}

}  // namespace

int32_t BokehEngine::run_pix_loop() {
    cur_x = width;
    if (!(pattern_size > 1.0)) {
        const bool finished = run_bands(*this, [this](int32_t first, int32_t end) {
            for (int32_t y = first; y < end; ++y) {
                if (!row_reach::row_processed(row_mask, y)) {
                    continue;
                }
                if (src16) {
                    unblurred_row<true>(*this, y);
                } else {
                    unblurred_row<false>(*this, y);
                }
            }
        });
        if (!finished) {
            error_code = engine_failure::kCancelled;
        }
        return 1;
    }

    // Only the rows that processed rows reach are converted; the light lives for this loop.
    platform::release_array(light_rows);
    bool converted = true;
    row_reach::for_each_range(row_mask, height, stamp_half_height, [&](int32_t first, int32_t end) {
        converted = converted && make_light_rows(first, end) != 0;
    });
    if (!converted) {
        return 0;
    }
    const int threads = std::max(1, omp_get_max_threads());
    const std::unique_ptr<scatter::KernelState[]> states(new (std::nothrow)
                                                             scatter::KernelState[threads]);
    if (!states) {
        platform::release_array(light_rows);
        return fail(engine_failure::kLightRowsMemory,
                    "(run_pix_loop): not enough memory for the kernel sums");
    }
    const bool vector = use_simd != 0 && scatter::has_vector_kernels();
    scatter::KernelSetup setup;
    if (!setup.prepare(*this, scatter::stamp_kind(*this), vector)) {
        platform::release_array(light_rows);
        return fail(engine_failure::kLightRowsMemory,
                    "(run_pix_loop): not enough memory for the stamp weights");
    }
    const bool finished = run_bands(*this, [&](int32_t first, int32_t end) {
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (threads > 1)
        for (int32_t y = first; y < end; ++y) {
            if (row_reach::row_processed(row_mask, y)) {
                blurred_row(*this, setup, states[omp_get_thread_num()], y);
            }
        }
    });
    platform::release_array(light_rows);
    if (!finished) {
        error_code = engine_failure::kCancelled;
    }
    return 1;
}
