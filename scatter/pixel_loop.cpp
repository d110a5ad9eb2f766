// The scatter loop of one pass: every output pixel the pass owns gets light, never colour, added
// into the render's accumulation and weight buffers. Nothing is overwritten, so passes may run
// in any order.
//
// Rows of a blurred pass are independent once each thread keeps its own kernel sums, so they
// are spread over the pass's threads (platform/parallel_rows.h), each thread taking the next
// chunk of rows as it finishes one; no thread waits for another between chunks. A pass of few
// rows, a depth step's narrow band, has its light converted by the whole team first, once, and
// its rows taken a few at a time, so that threads of unequal speed end it together. Progress
// belongs to the calling thread: it reports rows, in row order, ahead of the rows taken, and a
// row is computed only once it has been reported, so that a stop requested at a row leaves that
// row and every later one untouched.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "engine/alpha_levels.h"
#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "engine/linear_light.h"
#include "engine/row_reach.h"
#include "platform/allocation.h"
#include "platform/parallel_rows.h"
#include "scatter/gather_kernels.h"
#include "scatter/pixel_light.h"
#include "scatter/render_pass.h"
#include "scatter/transform_sums.h"

namespace scatter {
namespace {

// 1/255 as the float32 the blur map's partial weights are scaled with.
constexpr float kBlurMapUnit = 0.003921568859368563f;
constexpr uint8_t kFullBlurWeight = 255;
constexpr int kPercent = 100;
constexpr int kWeight = 4;
// The light curve's input scale: a pass reads its levels at the source's own scale.
constexpr double kLightScale = 1.0;
// Rows a thread takes at once, at least, and at least this many times the stamp's half height:
// a chunk's window converts the reach above and below it again, a quarter more rows at eight
// reaches, half more at four (which measured 1-2% slower at D = 21).
constexpr int32_t kChunkRows = 32;
constexpr int32_t kChunkReaches = 8;
// Rows a thread takes at once from a pass the team shares one window of light for, at least.
constexpr int32_t kLeastSharedChunkRows = 4;
// Rows of a shared window a thread converts at once.
constexpr int32_t kRowsAPiece = 16;

// What the loop reads and where it adds.
struct Loop {
    const PassView& e;
    const Accumulator& out;
    const ProgressFn& progress;
};

bool row_processed(const Loop& loop, int32_t y) {
    return row_reach::row_processed(loop.e.in.region.row_mask, y);
}

// Reports row y as about to be processed; true when the caller asked to stop.
bool stop_requested(const Loop& loop, int32_t y) {
    const int done = static_cast<int>(y * static_cast<double>(kPercent) / loop.e.height);
    if (done < 1 || done > kPercent - 1 || loop.progress == nullptr) {
        return false;
    }
    return loop.progress(done, kPercent) != 0;
}

// The buffers' rows at y.
struct RowBuffers {
    const uint16_t* source;
    float* accum;
    float* weight;
    const uint8_t* blur_map;  // null when every pixel counts in full
};

RowBuffers row_buffers(const Loop& loop, int32_t y) {
    const std::ptrdiff_t row = y;
    const PassRegion& region = loop.e.in.region;
    return RowBuffers{
        // A float frame's pass has no levels.
        loop.e.source.Src_Data_sh
            ? loop.e.source.Src_Data_sh.get() + row * loop.e.source.src16_stride
            : nullptr,
        loop.out.accum + row * loop.out.accum_rowbytes,
        loop.out.weight_buf + row * loop.e.width,
        region.blur_map ? region.blur_map + row * region.blur_map_rowbytes : nullptr,
    };
}

// The pixels of row y in the columns `worked`; outside them the blur map is 0. Each run of
// pixels whose blur map is not 0 is gathered along the row, the first one afresh.
void blurred_row(const Loop& loop, const KernelSetup& setup, KernelState& state,
                 row_reach::ColumnSpan worked, int32_t y) {
    const RowBuffers row = row_buffers(loop, y);
    const auto blur_at = [&row](int32_t x) {
        return row.blur_map ? row.blur_map[x] : kFullBlurWeight;
    };
    // Scaled as they are added, not in the result first: its floats stored one at a time and
    // read back as a vector stalled every pixel of a partial blur. A full share of 1 changes
    // nothing.
    const auto add = [&](int32_t x, const KernelResult& r) {
        const uint8_t blur = blur_at(x);
        const float share = blur < kFullBlurWeight ? blur * kBlurMapUnit : 1.0f;
        float* accum = row.accum + x * kLevelsPerPixel;
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            accum[k] += r.value[k] * share;
        }
        row.weight[x] += r.value[kWeight] * share;
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
        gather_run(loop.e, setup, state, y, first, x, 1, add);
    }
}

// A pass without blur adds each pixel's own light; any blur map value above 0 counts in full.
// The 16-bit light table fills as levels are met, so these rows stay on the calling thread.
template <bool kDeep>
void unblurred_row(const Loop& loop, LightTables& tables, int32_t y) {
    const RowBuffers row = row_buffers(loop, y);
    const double a = loop.e.in.hardness;
    const double b = loop.e.in.brightness;
    const double c = kLightScale;
    const uint16_t mid_level = loop.e.photons.mid_level;
    const float mid_weight = kDeep ? tables.RGB_to_Light(mid_level, a, b, c)
                                   : tables.RGB_to_Light8(static_cast<uint8_t>(mid_level), a, b, c);
    for (int32_t x = 0; x < loop.e.width; ++x) {
        if (row.blur_map && row.blur_map[x] == 0) {
            continue;
        }
        const uint16_t* pixel = row.source + x * kLevelsPerPixel;
        if (pixel[0] == 0) {
            continue;
        }
        float* accum_pixel = row.accum + x * kLevelsPerPixel;
        if constexpr (kDeep) {
            light_pixel16(tables, accum_pixel, pixel, a, b, c);
        } else {
            const uint8_t bytes[kLevelsPerPixel] = {
                static_cast<uint8_t>(pixel[0]), static_cast<uint8_t>(pixel[1]),
                static_cast<uint8_t>(pixel[2]), static_cast<uint8_t>(pixel[3])};
            light_pixel8(tables, accum_pixel, bytes, a, b, c);
        }
        row.weight[x] += mid_weight;
    }
}

// Runs the pass's `rows` (processed_rows) on `threads` threads in chunks of `sizes`, reported
// in order (platform::for_each_reported_row): start_team(team) on each member first, then
// start_chunk(first, end, thread) once a thread has taken the chunk [first, end), then
// compute_row(y, thread) for each of its processed rows. Answers kCancelled when the caller
// stopped the loop. Chunks cut from the processed rows alone, not the frame, share a narrow
// distance step's band among the threads.
template <class StartTeam, class StartChunk, class ComputeRow>
EngineStatus run_rows(const Loop& loop, row_reach::RowSpan rows, int threads,
                      platform::ChunkRows sizes, StartTeam start_team, StartChunk start_chunk,
                      ComputeRow compute_row) {
    const int32_t count = std::max(rows.end - rows.first, 0);
    const int32_t reported = platform::for_each_reported_row(
        count, sizes, threads,
        [&](int32_t i) {
            const int32_t y = rows.first + i;
            return row_processed(loop, y) && stop_requested(loop, y);
        },
        start_team,
        [&](int32_t first, int32_t end, int thread) {
            start_chunk(rows.first + first, rows.first + end, thread);
        },
        [&](int32_t i, int thread) {
            const int32_t y = rows.first + i;
            if (row_processed(loop, y)) {
                compute_row(y, thread);
            }
        });
    if (reported < count) {
        return {engine_failure::kCancelled, ""};
    }
    return {};
}

row_reach::RowSpan processed_rows(const Loop& loop) {
    return row_reach::processed_rows(loop.e.in.region.row_mask, loop.e.height);
}

// A float frame's pixel of the step adds its own light.
void unblurred_linear_row(const Loop& loop, int32_t y) {
    const PassInputs& in = loop.e.in;
    const LinearLight light(in.hardness, in.brightness);
    const float* values = in.source.srcf + static_cast<std::ptrdiff_t>(y) * in.source.srcf_stride;
    const RowBuffers row = row_buffers(loop, y);
    for (int32_t x = 0; x < loop.e.width; ++x) {
        const float* pixel = values + x * kLevelsPerPixel;
        if ((row.blur_map && row.blur_map[x] == 0) || !in.source.in_step(pixel)) {
            continue;
        }
        const LinearLight::PixelLight lights = light.pixel_light(pixel);
        float* accum_pixel = row.accum + x * kLevelsPerPixel;
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            accum_pixel[k] += lights.slot[k];
        }
        row.weight[x] += lights.weight;
    }
}

EngineStatus run_unblurred(const Loop& loop, LightTables& tables) {
    // The 16-bit light table fills as levels are met: one thread only.
    return run_rows(
        loop, processed_rows(loop), 1, {kChunkRows, kChunkRows}, [](platform::RowTeam&) {},
        [](int32_t, int32_t, int) {},
        [&](int32_t y, int) {
            if (loop.e.in.source.linear()) {
                unblurred_linear_row(loop, y);
            } else if (loop.e.in.source.src16 != nullptr) {
                unblurred_row<true>(loop, tables, y);
            } else {
                unblurred_row<false>(loop, tables, y);
            }
        });
}

// Chunks of at most `wanted` rows, as many as a multiple of the threads, so that the threads end
// together: nine chunks on two threads left one thread a ninth of the pass alone.
int32_t balanced_chunk_rows(int32_t rows, int32_t wanted, int threads) {
    // A pass with no row to process still has one (empty) chunk.
    const int32_t chunks = std::max((rows + wanted - 1) / wanted, int32_t{1});
    const int32_t balanced = (chunks + threads - 1) / threads * threads;
    return std::max(int32_t{1}, (rows + balanced - 1) / balanced);
}

// Light rows, in windows that each hold enough for a chunk of output rows and the rows their
// stamps reach: one a thread, or one the whole team shares.
class LightWindows {
  public:
    LightWindows(const PassView& e, row_reach::ColumnSpan columns, int32_t chunk_rows, int windows)
        : e_(e),
          rows_(std::min(e.height, chunk_rows + 2 * e.stamp.half_height)),
          columns_(columns),
          // A stamp laid on any of the columns, and the pixel just left of it, read the rows.
          pad_(e.stamp.half_width + 1),
          floats_(LightView::floats(rows_, columns.end - columns.first, pad_)),
          block_(floats_ * static_cast<std::size_t>(windows)),
          unlit_rows_(static_cast<std::size_t>(rows_) * windows) {}
    LightWindows(const LightWindows&) = delete;
    LightWindows& operator=(const LightWindows&) = delete;

    // False when their memory was refused.
    bool allocated() const { return block_ && unlit_rows_; }

    // Converts the rows that output rows [first, end) reach into window `w`.
    LightView convert(int w, int32_t first, int32_t end) const {
        const LightView view = reaching(w, first);
        convert_rows(view, view.first_row, last_row(end));
        return view;
    }

    // The same into window 0, the rows shared out among the team; every member gets the view.
    LightView convert(platform::RowTeam& team, int32_t first, int32_t end) const {
        const LightView view = reaching(0, first);
        const int32_t last = last_row(end);
        const int32_t pieces = (last - view.first_row + kRowsAPiece - 1) / kRowsAPiece;
        team.for_each(0, pieces, [&](int, int32_t piece) {
            const int32_t piece_first = view.first_row + piece * kRowsAPiece;
            convert_rows(view, piece_first, std::min(last, piece_first + kRowsAPiece));
        });
        return view;
    }

  private:
    // Window `w` laid over the rows that output rows from `first` on reach.
    LightView reaching(int w, int32_t first) const {
        LightView view =
            LightView::over(block_.get() + floats_ * static_cast<std::size_t>(w), rows_,
                            columns_.first, columns_.end - columns_.first, pad_);
        view.first_row = std::max(0, first - e_.stamp.half_height);
        view.unlit_rows = unlit_rows_.get() + static_cast<std::size_t>(rows_) * w;
        return view;
    }

    // The end of the rows that output rows before `end` reach.
    int32_t last_row(int32_t end) const { return std::min(e_.height, end + e_.stamp.half_height); }

    // Converts the view's rows [first, end) that some processed row reaches.
    void convert_rows(const LightView& view, int32_t first, int32_t end) const {
        // Rows left unconverted are never read; marked unlit, they could only make a kernel
        // count what it need not.
        std::fill(view.unlit_rows + (first - view.first_row),
                  view.unlit_rows + (end - view.first_row), 1);
        const auto convert_clipped = [&](int32_t from, int32_t to) {
            const int32_t clipped_from = std::max(from, first);
            const int32_t clipped_to = std::min(to, end);
            if (clipped_from < clipped_to) {
                convert_light_rows(e_, view, clipped_from, clipped_to);
            }
        };
        row_reach::for_each_range(e_.in.region.row_mask, e_.height, e_.stamp.half_height,
                                  convert_clipped);
    }

    const PassView& e_;
    const int32_t rows_;
    const row_reach::ColumnSpan columns_;
    const int32_t pad_;
    const std::size_t floats_;
    const platform::OwnedArray<float> block_;
    const platform::OwnedArray<uint8_t> unlit_rows_;
};

// Result j of the transformed sums of output rows [first, end), weighted by the blur map, added
// into the processed rows. The alpha sums, which follow from the stamp when one alpha level lies
// everywhere, come with the first transformed result, so that the output rows are swept once
// less. Most pixels' stamps lie wholly in the frame: they need no window of their own, and they
// share one alpha sum.
void add_transformed(const Loop& loop, const KernelSetup& setup, const TransformSums& sums, int j,
                     row_reach::ColumnSpan worked, int32_t first, int32_t end) {
    const PassView& e = loop.e;
    const bool alpha_too = !sums.transformed(0) && j == 1;
    const StampWindow whole{0, e.stamp.width, 0, e.stamp.height};
    const double alpha_sum_whole = alpha_too ? alpha_sum_everywhere(setup, whole) : 0.0;
    const auto add_pixel = [&](const RowBuffers& row, Position at, const StampWindow& window,
                               double alpha_sum) {
        const int32_t x = at.x;
        const uint8_t blur = row.blur_map ? row.blur_map[x] : kFullBlurWeight;
        if (blur == 0) {
            return;
        }
        const float share = blur < kFullBlurWeight ? blur * kBlurMapUnit : 1.0f;
        const auto add = [&](int result, double sum) {
            const float value = result_of_sum(setup, result, sum, window) * share;
            (result < kLevelsPerPixel ? row.accum[x * kLevelsPerPixel + result] : row.weight[x]) +=
                value;
            if (result == 0 && setup.weight_per_alpha > 0.0) {
                row.weight[x] +=
                    result_of_sum(setup, kWeightResult, sum * setup.weight_per_alpha, window) *
                    share;
            }
        };
        add(j, sums.sum(x, at.y));
        if (alpha_too) {
            add(0, alpha_sum);
        }
    };
    for (int32_t y = first; y < end; ++y) {
        if (!row_processed(loop, y)) {
            continue;
        }
        const RowBuffers row = row_buffers(loop, y);
        const bool whole_row = y >= e.stamp.half_height && y + e.stamp.half_height < e.height;
        const int32_t whole_first =
            whole_row ? std::clamp(e.stamp.half_width, worked.first, worked.end) : worked.end;
        const int32_t whole_end = std::clamp(e.width - e.stamp.half_width, whole_first, worked.end);
        const auto add_edge = [&](int32_t x) {
            const StampWindow window = stamp_window(e, Position{x, y});
            add_pixel(row, Position{x, y}, window,
                      alpha_too ? alpha_sum_everywhere(setup, window) : 0.0);
        };
        for (int32_t x = worked.first; x < whole_first; ++x) {
            add_edge(x);
        }
        for (int32_t x = whole_first; x < whole_end; ++x) {
            add_pixel(row, Position{x, y}, whole, alpha_sum_whole);
        }
        for (int32_t x = whole_end; x < worked.end; ++x) {
            add_edge(x);
        }
    }
}

// The pass through transforms prepared already, one result after another, each spread over
// the threads. Progress is reported as results begin; a stop leaves the results not yet begun
// unadded.
EngineStatus run_transformed(const Loop& loop, const KernelSetup& setup, TransformSums& sums,
                             row_reach::ColumnSpan worked, int threads) {
    if (loop.progress != nullptr && loop.progress(1, kPercent) != 0) {
        return {engine_failure::kCancelled, ""};
    }
    EngineStatus status = sums.transform_planes(threads);
    for (int j = 0; j < sums.results() && status.ok(); ++j) {
        if (!sums.transformed(j)) {
            continue;
        }
        const int done = std::max(1, j * kPercent / sums.results());
        if (done > 1 && loop.progress != nullptr && loop.progress(done, kPercent) != 0) {
            return {engine_failure::kCancelled, ""};
        }
        status = sums.compute(j, threads, [&](int32_t first, int32_t end) {
            add_transformed(loop, setup, sums, j, worked, first, end);
        });
    }
    return status;
}

// Output pixels of the pass and the runs of them along rows, as the walk would take them.
struct WorkedPixels {
    int64_t pixels = 0;
    int64_t runs = 0;
};

WorkedPixels worked_pixels(const Loop& loop, row_reach::ColumnSpan worked) {
    WorkedPixels count;
    for (int32_t y = 0; y < loop.e.height; ++y) {
        if (row_processed(loop, y)) {
            count.pixels += worked.end - worked.first;
            ++count.runs;
        }
    }
    return count;
}

bool transforms(const Loop& loop, const TransformSums& sums, row_reach::ColumnSpan worked) {
    switch (loop.e.in.sum_method) {
        case SumMethod::kStampWalk:
            return false;
        case SumMethod::kTransform:
            return true;
        case SumMethod::kCheaper:
            break;
    }
    const WorkedPixels count = worked_pixels(loop, worked);
    return loop.e.in.use_simd && sums.pays(count.pixels, count.runs);
}

// Learns the alpha levels of the pixels the pass reads where the pre-processing did not.
void scan_alpha(const PassView& e, row_reach::ColumnSpan read, AlphaLevels& levels) {
    const auto scan_row = [&](int, int32_t y) {
        levels.note_row(e.source.Src_Data_sh.get() +
                            static_cast<std::ptrdiff_t>(y) * e.source.src16_stride +
                            static_cast<std::ptrdiff_t>(read.first) * kLevelsPerPixel,
                        read.end - read.first);
    };
    row_reach::for_each_range(
        e.in.region.row_mask, e.height, e.stamp.half_height, [&](int32_t first, int32_t end) {
            platform::for_each_row(first, end, platform::row_threads(), scan_row);
        });
}

// The one ratio of weight light to alpha light of every pixel the pass reads, when the source's
// alpha is a single level wherever it is not 0, as a photograph's usually is; and that level's
// light when no pixel read is 0 either. A float frame's light is not read through levels.
SourceAlpha source_alpha(const PassView& e, row_reach::ColumnSpan read) {
    const PhotonLight& photons = e.photons;
    if (e.in.source.linear() || !e.source.Src_Data_sh || read.empty() ||
        photons.level_light[0] != 0.0f || photons.level_light[photons.level_map[0]] != 0.0f) {
        return {};
    }
    AlphaLevels scanned;
    const AlphaLevels* levels = e.source.prepared_alpha(read, e.stamp.half_height);
    if (levels == nullptr) {
        scan_alpha(e, read, scanned);
        levels = &scanned;
    }
    const int32_t level = levels->level();
    if (level < 0 || photons.level_light[level] == 0.0f) {
        return {};
    }
    const double light = photons.level_light[level];
    return {photons.level_light[photons.level_map[level]] / light, levels->unlit() ? 0.0 : light};
}

EngineStatus run_blurred(const Loop& loop) {
    const PassView& e = loop.e;
    const PassRegion& region = e.in.region;
    // Only the columns the computed pixels reach are read.
    const row_reach::ColumnSpan worked = row_reach::worked_columns(
        region.blur_map, region.blur_map_rowbytes, region.row_mask, e.width, e.height);
    const row_reach::ColumnSpan read =
        row_reach::columns_in_reach(worked, e.stamp.half_width + 1, e.width);
    const int threads = platform::row_threads();
    const bool vector = e.in.use_simd && has_vector_kernels();
    KernelSetup setup;
    if (!setup.prepare(e, stamp_kind(e), vector, source_alpha(e, read))) {
        return {engine_failure::kLightRowsMemory,
                "(run_pix_loop): not enough memory for the stamp weights"};
    }
    TransformSums sums(e, setup, read);
    // Transforms take a frame of float64 and the spectra of the planes; where that memory is
    // refused, the walk, which takes far less, still renders the pass.
    if (!worked.empty() && transforms(loop, sums, worked) && sums.prepare(threads).ok()) {
        return run_transformed(loop, setup, sums, worked, threads);
    }
    // A chunk's window converts the stamp's reach above and below it again; long chunks keep
    // that share small. Where each thread would take one chunk, as of a depth step's narrow
    // band, the team converts the rows once into one window it shares instead, in no more
    // memory, and takes them a few at a time: two threads converted a band of 40 rows at
    // D = 61 each with its own reach, and ended a tenth later.
    const row_reach::RowSpan rows = processed_rows(loop);
    const int32_t count = rows.end - rows.first;
    const int32_t wanted = std::max(kChunkRows, kChunkReaches * e.stamp.half_height);
    const bool shared = count > 0 && count <= threads * wanted;
    const int32_t chunk_rows = shared ? count : balanced_chunk_rows(count, wanted, threads);
    const LightWindows windows(e, read.empty() ? row_reach::ColumnSpan{0, 0} : read, chunk_rows,
                               shared ? 1 : threads);
    if (!windows.allocated()) {
        return {engine_failure::kLightRowsMemory,
                "(run_pix_loop): not enough memory for light_rows"};
    }
    const std::unique_ptr<KernelState[]> states(new (std::nothrow) KernelState[threads]);
    if (!states) {
        return {engine_failure::kLightRowsMemory,
                "(run_pix_loop): not enough memory for the kernel sums"};
    }
    const platform::ChunkRows sizes =
        shared ? platform::ChunkRows{std::min(kLeastSharedChunkRows, chunk_rows), chunk_rows}
               : platform::ChunkRows{chunk_rows, chunk_rows};
    return run_rows(
        loop, rows, threads, sizes,
        [&](platform::RowTeam& team) {
            if (shared) {
                states[team.thread()].light = windows.convert(team, rows.first, rows.end);
            }
        },
        [&](int32_t first, int32_t end, int thread) {
            if (!shared) {
                states[thread].light = windows.convert(thread, first, end);
            }
        },
        [&](int32_t y, int thread) { blurred_row(loop, setup, states[thread], worked, y); });
}

}  // namespace

EngineStatus run_pix_loop(const PassView& pass, const Accumulator& out, LightTables& light_tables,
                          const ProgressFn& progress) {
    const Loop loop{pass, out, progress};
    return pass.in.blur > 1.0 ? run_blurred(loop) : run_unblurred(loop, light_tables);
}

}  // namespace scatter
