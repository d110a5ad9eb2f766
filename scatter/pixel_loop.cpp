// The scatter loop of one pass: every output pixel the pass owns gets light, never colour, added
// into the render's accumulation and weight buffers. Nothing is overwritten, so passes may run
// in any order.
//
// Rows of a blurred pass are independent once each thread keeps its own kernel sums, so they
// are spread over the pass's threads (engine/thread_team.h), each thread taking the next row
// as it finishes one; no thread waits for another between rows. Progress belongs to the calling
// thread: it reports rows, in row order, ahead of the rows taken, and a row is computed only once
// it has been reported, so that a stop requested at a row leaves that row and every later one
// untouched.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <thread>

#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "engine/row_reach.h"
#include "engine/thread_team.h"
#include "platform/allocation.h"
#include "scatter/gather_kernels.h"
#include "scatter/pixel_light.h"

namespace {

// 1/255 as the float32 the blur map's partial weights are scaled with.
constexpr float kBlurMapUnit = 0.003921568859368563f;
constexpr uint8_t kFullBlurWeight = 255;
constexpr int kPercent = 100;
constexpr int kWeight = 4;
// How far the reports run ahead of the rows taken: enough that no thread waits for a report.
constexpr int32_t kRowsReportedAhead = 64;

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

// The pixels of row y in the columns `worked`; outside them the blur map is 0. Each run of
// pixels whose blur map is not 0 is gathered along the row, the first one afresh.
void blurred_row(const BokehEngine& e, const scatter::KernelSetup& setup,
                 scatter::KernelState& state, row_reach::ColumnSpan worked, int32_t y) {
    const RowBuffers row = row_buffers(e, y);
    const auto blur_at = [&row](int32_t x) {
        return row.blur_map ? row.blur_map[x] : kFullBlurWeight;
    };
    const auto add = [&](int32_t x, KernelResult r) {
        const uint8_t blur = blur_at(x);
        if (blur < kFullBlurWeight) {
            const float share = blur * kBlurMapUnit;
            for (float& value : r.value) {
                value *= share;
            }
        }
        accumulate_pixel(row.accum + x * scatter::kLevelsPerPixel, r);
        row.weight[x] += r.value[kWeight];
    };
    int32_t x = worked.first;
    while (x < worked.end) {
        if (blur_at(x) == 0) {
            ++x;
            continue;
        }
        const int32_t first = x;
        while (x < worked.end && blur_at(x) != 0) {
            ++x;
        }
        scatter::gather_run(e, setup, state, y, first, x, 1, add);
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

// Hands out the rows of a pass. The calling thread reports rows ahead of the rows taken; any
// thread takes the next row, and computes it once it has been reported.
class RowDispatch {
  public:
    explicit RowDispatch(const BokehEngine& e) : e_(e) {}

    // The next row to compute, or -1 when none is left. `reporter` is true on the calling
    // thread, which reports rows itself instead of waiting for them.
    int32_t take(bool reporter) {
        const int32_t y = next_.fetch_add(1, std::memory_order_relaxed);
        if (y >= e_.height) {
            // Others may still wait for the rows taken last.
            if (reporter) {
                report_ahead();
            }
            return -1;
        }
        while (y >= reported_.load(std::memory_order_acquire)) {
            if (stopped_.load(std::memory_order_acquire)) {
                return -1;
            }
            if (reporter) {
                report_ahead();
            } else {
                std::this_thread::yield();
            }
        }
        return y;
    }

    // On the calling thread: reports rows, in order, until the reports run kRowsReportedAhead
    // rows past the rows taken, or until the caller asks to stop.
    void report_ahead() {
        const int32_t target =
            std::min(e_.height, next_.load(std::memory_order_relaxed) + kRowsReportedAhead);
        for (int32_t y = reported_.load(std::memory_order_relaxed); y < target; ++y) {
            if (stopped_.load(std::memory_order_relaxed)) {
                return;
            }
            if (row_reach::row_processed(e_.row_mask, y) && stop_requested(e_, y)) {
                stopped_.store(true, std::memory_order_release);
                return;
            }
            reported_.store(y + 1, std::memory_order_release);
        }
    }

    bool stopped() const { return stopped_.load(std::memory_order_acquire); }
    // The first row not reported: the row the caller stopped at, or the height.
    int32_t reported() const { return reported_.load(std::memory_order_acquire); }

  private:
    const BokehEngine& e_;
    std::atomic<int32_t> next_{0};
    std::atomic<int32_t> reported_{0};
    std::atomic<bool> stopped_{false};
};

// Runs compute_row(y, thread) for every processed row on `threads` threads. Returns false when
// the caller stopped the loop.
template <class ComputeRow>
bool run_rows(BokehEngine& e, int threads, ComputeRow compute_row) {
    RowDispatch rows(e);
    thread_team::run(threads, [&](int thread) {
        const bool reporter = thread == 0;
        for (int32_t y = rows.take(reporter); y >= 0; y = rows.take(reporter)) {
            if (row_reach::row_processed(e.row_mask, y)) {
                compute_row(y, thread);
            }
            if (reporter) {
                rows.report_ahead();
            }
        }
    });
    e.cur_y = rows.reported();
    return !rows.stopped();
}

}  // namespace

int32_t BokehEngine::run_pix_loop() {
    cur_x = width;
    if (!(pattern_size > 1.0)) {
        // The 16-bit light table fills as levels are met: one thread only.
        const bool finished = run_rows(*this, 1, [this](int32_t y, int) {
            if (src16) {
                unblurred_row<true>(*this, y);
            } else {
                unblurred_row<false>(*this, y);
            }
        });
        if (!finished) {
            error_code = engine_failure::kCancelled;
        }
        return 1;
    }

    // Only the rows and columns that the computed pixels reach are converted; the light lives
    // for this loop.
    const row_reach::ColumnSpan worked =
        row_reach::worked_columns(blur_map, blur_map_rowbytes, row_mask, width, height);
    const row_reach::ColumnSpan read =
        row_reach::columns_in_reach(worked, stamp_half_width + 1, width);
    if (!allocate_light_rows(read.first, std::max(read.first, read.end))) {
        return 0;
    }
    row_reach::for_each_range(row_mask, height, stamp_half_height, [&](int32_t first, int32_t end) {
        scatter::convert_light_rows(*this, first, end);
    });
    const int threads = thread_team::pass_threads();
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
    const bool finished = run_rows(*this, threads, [&](int32_t y, int thread) {
        blurred_row(*this, setup, states[thread], worked, y);
    });
    platform::release_array(light_rows);
    if (!finished) {
        error_code = engine_failure::kCancelled;
    }
    return 1;
}
