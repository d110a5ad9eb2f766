// The scatter loop of one pass: every output pixel the pass owns gets light, never colour, added
// into the render's accumulation and weight buffers. Nothing is overwritten, so passes may run
// in any order.
//
// Rows of a blurred pass are independent once each thread keeps its own kernel sums, so they
// are spread over the pass's threads (platform/parallel_rows.h), each thread taking the next row
// as it finishes one; no thread waits for another between rows. Progress belongs to the calling
// thread: it reports rows, in row order, ahead of the rows taken, and a row is computed only once
// it has been reported, so that a stop requested at a row leaves that row and every later one
// untouched.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "engine/bokeh_engine.h"
#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "engine/row_reach.h"
#include "platform/allocation.h"
#include "platform/parallel_rows.h"
#include "scatter/gather_kernels.h"
#include "scatter/pixel_light.h"

namespace {

// 1/255 as the float32 the blur map's partial weights are scaled with.
constexpr float kBlurMapUnit = 0.003921568859368563f;
constexpr uint8_t kFullBlurWeight = 255;
constexpr int kPercent = 100;
constexpr int kWeight = 4;
// Rows a thread takes at once, at least, and at least this many times the stamp's half height.
constexpr int32_t kChunkRows = 32;
constexpr int32_t kChunkReaches = 4;

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
void unblurred_row(const BokehEngine& e, LightTables& tables, int32_t y) {
    const RowBuffers row = row_buffers(e, y);
    const double a = e.light_contrast;
    const double b = e.brightness;
    const double c = e.light_scale;
    const float mid_weight = kDeep
                                 ? tables.RGB_to_Light(e.mid_level, a, b, c)
                                 : tables.RGB_to_Light8(static_cast<uint8_t>(e.mid_level), a, b, c);
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
            light_pixel16(tables, accum_pixel, pixel, a, b, c);
        } else {
            const uint8_t bytes[scatter::kLevelsPerPixel] = {
                static_cast<uint8_t>(pixel[0]), static_cast<uint8_t>(pixel[1]),
                static_cast<uint8_t>(pixel[2]), static_cast<uint8_t>(pixel[3])};
            light_pixel8(tables, accum_pixel, bytes, a, b, c);
        }
        row.weight[x] += mid_weight;
    }
}

// Runs the pass's rows on `threads` threads in chunks of `chunk_rows` rows, reported in order
// (platform::for_each_reported_row): start_chunk(first, end, thread) once a thread has taken the
// chunk [first, end), then compute_row(y, thread) for each of its processed rows. Returns false
// when the caller stopped the loop.
template <class StartChunk, class ComputeRow>
bool run_rows(BokehEngine& e, int threads, int32_t chunk_rows, StartChunk start_chunk,
              ComputeRow compute_row) {
    const int32_t reported = platform::for_each_reported_row(
        e.height, chunk_rows, threads,
        [&e](int32_t y) { return row_reach::row_processed(e.row_mask, y) && stop_requested(e, y); },
        start_chunk,
        [&](int32_t y, int thread) {
            if (row_reach::row_processed(e.row_mask, y)) {
                compute_row(y, thread);
            }
        });
    e.cur_y = reported;
    return reported == e.height;
}

// Each thread's light rows: enough for a chunk of output rows and the rows their stamps reach.
class LightWindows {
  public:
    LightWindows(const BokehEngine& e, row_reach::ColumnSpan columns, int32_t chunk_rows)
        : e_(e),
          rows_(std::min(e.height, chunk_rows + 2 * e.stamp_half_height)),
          columns_(columns),
          // A stamp laid on any of the columns, and the pixel just left of it, read the rows.
          pad_(e.stamp_half_width + 1),
          floats_(scatter::LightView::floats(rows_, columns.end - columns.first, pad_)) {}
    LightWindows(const LightWindows&) = delete;
    LightWindows& operator=(const LightWindows&) = delete;
    ~LightWindows() { platform::release_array(block_); }

    // False when their memory is refused.
    bool allocate(int threads) {
        block_ = platform::allocate_array<float>(floats_ * static_cast<std::size_t>(threads));
        if (block_ != nullptr) {
            platform::prefer_large_pages(block_, floats_ * threads * sizeof(float));
        }
        return block_ != nullptr;
    }

    // Converts the rows that output rows [first, end) reach into the thread's window.
    scatter::LightView convert(int thread, int32_t first, int32_t end) const {
        scatter::LightView view =
            scatter::LightView::over(block_ + floats_ * static_cast<std::size_t>(thread), rows_,
                                     columns_.first, columns_.end - columns_.first, pad_);
        const int32_t reach = e_.stamp_half_height;
        view.first_row = std::max(0, first - reach);
        const int32_t last = std::min(e_.height, end + reach);
        row_reach::for_each_range(e_.row_mask, e_.height, reach, [&](int32_t from, int32_t to) {
            const int32_t clipped_from = std::max(from, view.first_row);
            const int32_t clipped_to = std::min(to, last);
            if (clipped_from < clipped_to) {
                scatter::convert_light_rows(e_, view, clipped_from, clipped_to);
            }
        });
        return view;
    }

  private:
    const BokehEngine& e_;
    const int32_t rows_;
    const row_reach::ColumnSpan columns_;
    const int32_t pad_;
    const std::size_t floats_;
    float* block_ = nullptr;
};

}  // namespace

int32_t BokehEngine::run_pix_loop() {
    cur_x = width;
    if (!(pattern_size > 1.0)) {
        // The 16-bit light table fills as levels are met: one thread only.
        const bool finished = run_rows(
            *this, 1, kChunkRows, [](int32_t, int32_t, int) {},
            [this](int32_t y, int) {
                if (src16) {
                    unblurred_row<true>(*this, light_tables, y);
                } else {
                    unblurred_row<false>(*this, light_tables, y);
                }
            });
        if (!finished) {
            error_code = engine_failure::kCancelled;
        }
        return 1;
    }

    // Only the columns the computed pixels reach are read.
    const row_reach::ColumnSpan worked =
        row_reach::worked_columns(blur_map, blur_map_rowbytes, row_mask, width, height);
    const row_reach::ColumnSpan read =
        row_reach::columns_in_reach(worked, stamp_half_width + 1, width);
    const int threads = platform::row_threads();
    // A chunk's window converts the stamp's reach above and below it again; long chunks keep
    // that share small.
    const int32_t chunk_rows = std::max(kChunkRows, kChunkReaches * stamp_half_height);
    LightWindows windows(*this, read.empty() ? row_reach::ColumnSpan{0, 0} : read, chunk_rows);
    if (!windows.allocate(threads)) {
        return fail(engine_failure::kLightRowsMemory,
                    "(run_pix_loop): not enough memory for light_rows");
    }
    const std::unique_ptr<scatter::KernelState[]> states(new (std::nothrow)
                                                             scatter::KernelState[threads]);
    if (!states) {
        return fail(engine_failure::kLightRowsMemory,
                    "(run_pix_loop): not enough memory for the kernel sums");
    }
    const bool vector = use_simd != 0 && scatter::has_vector_kernels();
    scatter::KernelSetup setup;
    if (!setup.prepare(*this, scatter::stamp_kind(*this), vector)) {
        return fail(engine_failure::kLightRowsMemory,
                    "(run_pix_loop): not enough memory for the stamp weights");
    }
    const bool finished = run_rows(
        *this, threads, chunk_rows,
        [&](int32_t first, int32_t end, int thread) {
            states[thread].light = windows.convert(thread, first, end);
        },
        [&](int32_t y, int thread) { blurred_row(*this, setup, states[thread], worked, y); });
    if (!finished) {
        error_code = engine_failure::kCancelled;
    }
    return 1;
}
