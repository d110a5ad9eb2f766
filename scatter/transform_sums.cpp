#include "scatter/transform_sums.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/parallel_rows.h"
#include "scatter/light_rows.h"

namespace scatter {
namespace {

constexpr const char* kNoFrameMemory =
    "(run_pix_loop): not enough memory for the transformed frame";
constexpr const char* kNoSpectrumMemory =
    "(run_pix_loop): not enough memory for the stamp's spectrum";
constexpr const char* kTransformFailed = "(run_pix_loop): the transform library failed";

// Frame rows a thread converts and transforms at once.
constexpr int32_t kConvertRows = 32;
// Spectrum columns a thread reads together: the real and imaginary values of eight of them fill
// two cache lines of each frame row.
constexpr int32_t kColumnGroup = 64;

// Measured on this machine class with bench/scatter_bench (BM_SumMethods): seconds a pixel
// takes for each recorded step of the stamp walk, for each stamp cell of the full gather that
// starts every run, and per point and halving of one transform of the padded frame.
constexpr double kSecondsPerStep = 3.5e-10;
constexpr double kSecondsPerGatheredCell = 4.5e-9;
constexpr double kSecondsPerTransformPoint = 6.0e-10;
// The forward and inverse transforms of every result, the spectrum products and the copies in
// and out, in transforms; a plane's rows are mostly empty and are not transformed.
constexpr double kTransformsPerResult = 2.0;
constexpr double kTransformsPerPlane = 0.6;

// The side a transform takes: the frame, and room for the stamp's reach so that light wrapping
// around the frame's far side lands on rows and columns of no light.
int32_t padded_side(int32_t side, int32_t stamp_side, int32_t half) {
    const int32_t reach = std::max(half, stamp_side - 1 - half);
    return cv::getOptimalDFTSize(side + reach);
}

// Frame rows [first, end) as the transform library sees them.
cv::Mat rows_mat(double* frame, int32_t width, int32_t first, int32_t end) {
    return cv::Mat(end - first, width, CV_64F, frame + static_cast<std::ptrdiff_t>(first) * width);
}

// Where spectrum column u lies in a row of packed row spectra; `im` is -1 for the real ones.
struct PackedColumn {
    int32_t re;
    int32_t im;
};

PackedColumn packed_column(int32_t u, int32_t width) {
    if (u == 0) {
        return {0, -1};
    }
    if (2 * u == width) {
        return {width - 1, -1};
    }
    return {2 * u - 1, 2 * u};
}

// Calls work(first, end) for each run of rows in [first, end) that `keep` holds.
template <class Keep, class Work>
void for_each_run(int32_t first, int32_t end, Keep keep, Work work) {
    for (int32_t y = first; y < end;) {
        if (!keep(y)) {
            ++y;
            continue;
        }
        int32_t run_end = y + 1;
        while (run_end < end && keep(run_end)) {
            ++run_end;
        }
        work(y, run_end);
        y = run_end;
    }
}

// The weight changes the walk records for a pixel: cells of a row whose weight differs from
// their right neighbour's in any plane, the cell past the row's end included.
int64_t walk_steps(const PassView& e, const KernelSetup& setup) {
    int64_t steps = 0;
    for (int32_t i = 0; i < e.stamp.height; ++i) {
        const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(i) * e.stamp.width;
        for (int32_t c = 0; c < e.stamp.width; ++c) {
            bool changes = false;
            for (int k = 0; k < kLevelsPerPixel; ++k) {
                const int32_t right = c + 1 < e.stamp.width ? setup.plane[k][row + c + 1] : 0;
                changes = changes || setup.plane[k][row + c] != right;
            }
            steps += changes ? 1 : 0;
        }
    }
    return steps;
}

}  // namespace

TransformSums::TransformSums(const PassView& e, const KernelSetup& setup,
                             row_reach::ColumnSpan read)
    : e_(e),
      setup_(setup),
      read_(read),
      padded_width_(padded_side(e.width, e.stamp.width, e.stamp.half_width)),
      padded_height_(padded_side(e.height, e.stamp.height, e.stamp.half_height)),
      spectrum_columns_(padded_width_ / 2 + 1) {
    for (int k = 0; k < kLevelsPerPixel; ++k) {
        spectrum_of_channel_[k] = spectra_;
        for (int earlier = 0; earlier < k; ++earlier) {
            if (setup.plane[earlier] == setup.plane[k]) {
                spectrum_of_channel_[k] = spectrum_of_channel_[earlier];
            }
        }
        if (spectrum_of_channel_[k] == spectra_) {
            plane_of_spectrum_[spectra_++] = setup.plane[k];
        }
    }
}

bool TransformSums::pays(int64_t worked_pixels, int64_t runs) const {
    const double cells = static_cast<double>(e_.stamp.width) * e_.stamp.height;
    const double walk = kSecondsPerStep * static_cast<double>(walk_steps(e_, setup_)) *
                            static_cast<double>(worked_pixels) +
                        kSecondsPerGatheredCell * cells * static_cast<double>(runs);
    const double points = static_cast<double>(padded_width_) * padded_height_;
    const double transform =
        kSecondsPerTransformPoint * points * std::log2(points) *
        (kTransformsPerPlane * spectra_ + kTransformsPerResult * transformed_results());
    return transform < walk;
}

int TransformSums::spectrum_of(int j) const {
    return spectrum_of_channel_[channel_of(j)];
}

double* TransformSums::spectrum_row(int spectrum, int32_t u) const {
    const std::size_t row = static_cast<std::size_t>(spectrum) * spectrum_columns_ + u;
    return plane_spectra_.get() + row * 2 * static_cast<std::size_t>(padded_height_);
}

EngineStatus TransformSums::prepare(int threads) {
    const EngineStatus status = take_buffers(threads);
    if (!status.ok()) {
        // Nothing is held for a pass that will not use it.
        frame_.reset();
        plane_spectra_.reset();
        lit_rows_.reset();
        threads_.reset();
    }
    return status;
}

EngineStatus TransformSums::take_buffers(int threads) {
    const std::size_t points = static_cast<std::size_t>(padded_width_) * padded_height_;
    const std::size_t spectrum = static_cast<std::size_t>(spectrum_columns_) * 2 * padded_height_;
    frame_ = platform::OwnedArray<double>(points);
    plane_spectra_ = platform::OwnedArray<double>(spectrum * static_cast<std::size_t>(spectra_));
    lit_rows_ = platform::OwnedArray<uint8_t>::zeroed(static_cast<std::size_t>(padded_height_));
    threads_.reset(new (std::nothrow) ThreadBuffers[threads]);
    if (!frame_ || !plane_spectra_ || !lit_rows_ || !threads_) {
        return {engine_failure::kLightRowsMemory, kNoSpectrumMemory};
    }
    for (int t = 0; t < threads; ++t) {
        threads_[t].columns = platform::OwnedArray<double>(static_cast<std::size_t>(kColumnGroup) *
                                                           2 * padded_height_);
        if (!threads_[t].columns) {
            return {engine_failure::kLightRowsMemory, kNoFrameMemory};
        }
    }
    row_reach::for_each_range(e_.in.region.row_mask, e_.height, e_.stamp.half_height,
                              [&](int32_t first, int32_t end) {
                                  std::fill(lit_rows_.get() + first, lit_rows_.get() + end, 1);
                              });
    return {};
}

template <class Stage>
bool TransformSums::run_stage(int32_t items, int threads, Stage stage) {
    std::atomic<bool> failed{false};
    platform::for_each_row(0, items, threads, [&](int thread, int32_t item) {
        if (failed.load(std::memory_order_relaxed)) {
            return;
        }
        try {
            stage(thread, item);
        } catch (...) {
            // The library allocates its own work space, and throws when it cannot.
            failed = true;
        }
    });
    return !failed;
}

void TransformSums::fill_plane_rows(int spectrum, int32_t first, int32_t end) {
    double* frame = frame_.get();
    std::fill(frame + static_cast<std::ptrdiff_t>(first) * padded_width_,
              frame + static_cast<std::ptrdiff_t>(end) * padded_width_, 0.0);
    const uint8_t* plane = plane_of_spectrum_[spectrum];
    // Cell (i, c) weighs the light at (x + c - half_width, y + i - half_height) for output
    // pixel (x, y): as a convolution kernel it lies at (half_height - i, half_width - c),
    // wrapped around the frame. Its rows are the first half_height + 1 of the frame and the
    // last height - half_height - 1.
    const int32_t last_rows_from = padded_height_ - (e_.stamp.height - e_.stamp.half_height - 1);
    const auto plane_row = [&](int32_t row) {
        return row <= e_.stamp.half_height || row >= last_rows_from;
    };
    for (int32_t i = 0; i < e_.stamp.height; ++i) {
        const int32_t row = (e_.stamp.half_height - i + padded_height_) % padded_height_;
        if (row < first || row >= end) {
            continue;
        }
        double* values = frame + static_cast<std::ptrdiff_t>(row) * padded_width_;
        for (int32_t c = 0; c < e_.stamp.width; ++c) {
            const int32_t column = (e_.stamp.half_width - c + padded_width_) % padded_width_;
            values[column] = plane[static_cast<std::ptrdiff_t>(i) * e_.stamp.width + c];
        }
    }
    for_each_run(first, end, plane_row, [&](int32_t from, int32_t to) {
        cv::Mat mat = rows_mat(frame, padded_width_, from, to);
        cv::dft(mat, mat, cv::DFT_ROWS);
    });
}

void TransformSums::fill_light_rows(int thread, int j, int32_t first, int32_t end) {
    double* frame = frame_.get();
    const int32_t columns = read_.end - read_.first;
    float& largest = threads_[thread].largest;
    for (int32_t y = first; y < end; ++y) {
        double* row = frame + static_cast<std::ptrdiff_t>(y) * padded_width_;
        if (lit_rows_[y] == 0) {
            std::fill(row, row + padded_width_, 0.0);
            continue;
        }
        std::fill(row, row + read_.first, 0.0);
        std::fill(row + read_.end, row + padded_width_, 0.0);
        largest = std::max(largest,
                           convert_light_slot(e_, j, y, read_.first, columns, row + read_.first));
    }
    const auto lit = [&](int32_t y) { return lit_rows_[y] != 0; };
    for_each_run(first, end, lit, [&](int32_t from, int32_t to) {
        cv::Mat mat = rows_mat(frame, padded_width_, from, to);
        cv::dft(mat, mat, cv::DFT_ROWS);
    });
}

void TransformSums::transform_columns(int thread, int32_t group, int spectrum, ColumnWork work) {
    const int32_t first = group * kColumnGroup;
    const int32_t count = std::min(kColumnGroup, spectrum_columns_ - first);
    const std::ptrdiff_t length = padded_height_;
    double* columns = threads_[thread].columns.get();
    double* frame = frame_.get();
    PackedColumn packed[kColumnGroup];
    for (int32_t g = 0; g < count; ++g) {
        packed[g] = packed_column(first + g, padded_width_);
    }
    for (std::ptrdiff_t v = 0; v < length; ++v) {
        const double* row = frame + v * padded_width_;
        for (int32_t g = 0; g < count; ++g) {
            double* value = columns + 2 * (g * length + v);
            value[0] = row[packed[g].re];
            value[1] = packed[g].im >= 0 ? row[packed[g].im] : 0.0;
        }
    }
    cv::Mat mat(count, padded_height_, CV_64FC2, columns);
    cv::dft(mat, mat, cv::DFT_ROWS);
    if (work == ColumnWork::kKeepSpectrum) {
        // The inverse transforms leave every sum times the number of points; the spectrum
        // takes that factor out once.
        const double scale = 1.0 / (static_cast<double>(padded_width_) * padded_height_);
        for (int32_t g = 0; g < count; ++g) {
            const double* from = columns + 2 * g * length;
            std::transform(from, from + 2 * length, spectrum_row(spectrum, first + g),
                           [scale](double value) { return value * scale; });
        }
        return;
    }
    for (int32_t g = 0; g < count; ++g) {
        double* value = columns + 2 * g * length;
        const double* weight = spectrum_row(spectrum, first + g);
        for (std::ptrdiff_t v = 0; v < 2 * length; v += 2) {
            const double re = value[v] * weight[v] - value[v + 1] * weight[v + 1];
            const double im = value[v] * weight[v + 1] + value[v + 1] * weight[v];
            value[v] = re;
            value[v + 1] = im;
        }
    }
    cv::dft(mat, mat, cv::DFT_ROWS | cv::DFT_INVERSE);
    // Only the output rows are transformed back along rows.
    for (std::ptrdiff_t v = 0; v < e_.height; ++v) {
        double* row = frame + v * padded_width_;
        for (int32_t g = 0; g < count; ++g) {
            const double* value = columns + 2 * (g * length + v);
            row[packed[g].re] = value[0];
            if (packed[g].im >= 0) {
                row[packed[g].im] = value[1];
            }
        }
    }
}

int32_t TransformSums::bands_of(int32_t rows) {
    return (rows + kConvertRows - 1) / kConvertRows;
}

row_reach::RowSpan TransformSums::band_rows(int32_t band, int32_t rows) {
    return {band * kConvertRows, std::min(rows, (band + 1) * kConvertRows)};
}

int32_t TransformSums::column_groups() const {
    return (spectrum_columns_ + kColumnGroup - 1) / kColumnGroup;
}

EngineStatus TransformSums::transform_planes(int threads) {
    for (int s = 0; s < spectra_; ++s) {
        const bool transformed =
            run_stage(bands_of(padded_height_), threads,
                      [&](int, int32_t band) {
                          const row_reach::RowSpan rows = band_rows(band, padded_height_);
                          fill_plane_rows(s, rows.first, rows.end);
                      }) &&
            run_stage(column_groups(), threads, [&](int thread, int32_t group) {
                transform_columns(thread, group, s, ColumnWork::kKeepSpectrum);
            });
        if (!transformed) {
            return {engine_failure::kLightRowsMemory, kTransformFailed};
        }
    }
    return {};
}

EngineStatus TransformSums::compute(int j, int threads, const AddRows& add) {
    for (int t = 0; t < threads; ++t) {
        threads_[t].largest = 0.0f;
    }
    bool transformed = run_stage(bands_of(padded_height_), threads, [&](int thread, int32_t band) {
        const row_reach::RowSpan rows = band_rows(band, padded_height_);
        fill_light_rows(thread, j, rows.first, rows.end);
    });
    float largest = 0.0f;
    for (int t = 0; t < threads; ++t) {
        largest = std::max(largest, threads_[t].largest);
    }
    zero_below_ = kZeroShare * static_cast<double>(largest) * setup_.weights.total(channel_of(j));
    transformed =
        transformed && run_stage(column_groups(), threads, [&](int thread, int32_t group) {
            transform_columns(thread, group, spectrum_of(j), ColumnWork::kConvolve);
        });
    transformed = transformed && run_stage(bands_of(e_.height), threads, [&](int, int32_t band) {
                      const row_reach::RowSpan rows = band_rows(band, e_.height);
                      cv::Mat mat = rows_mat(frame_.get(), padded_width_, rows.first, rows.end);
                      cv::dft(mat, mat, cv::DFT_ROWS | cv::DFT_INVERSE | cv::DFT_REAL_OUTPUT);
                      add(rows.first, rows.end);
                  });
    if (!transformed) {
        return {engine_failure::kLightRowsMemory, kTransformFailed};
    }
    return {};
}

}  // namespace scatter
