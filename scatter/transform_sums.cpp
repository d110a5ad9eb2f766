#include "scatter/transform_sums.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "scatter/light_rows.h"

namespace scatter {
namespace {

constexpr const char* kNoFrameMemory =
    "(run_pix_loop): not enough memory for the transformed frame";
constexpr const char* kNoSpectrumMemory =
    "(run_pix_loop): not enough memory for the stamp's spectrum";
constexpr const char* kTransformFailed = "(run_pix_loop): the transform library failed";

// Light rows converted at once before they are copied into the frame.
constexpr int32_t kConvertRows = 16;

// Measured on this machine class with bench/scatter_bench (BM_SumMethods): seconds a pixel
// takes for each recorded step of the stamp walk, for each stamp cell of the full gather that
// starts every run, and per point and halving of one transform of the padded frame.
constexpr double kSecondsPerStep = 3.5e-10;
constexpr double kSecondsPerGatheredCell = 4.5e-9;
constexpr double kSecondsPerTransformPoint = 6.0e-10;
// The forward and inverse transforms of every result, the spectrum products and the copies in
// and out, in transforms.
constexpr double kTransformsPerResult = 2.6;

// The side a transform takes: the frame, and room for the stamp's reach so that light wrapping
// around the frame's far side lands on rows and columns of no light.
int32_t padded_side(int32_t side, int32_t stamp_side, int32_t half) {
    const int32_t reach = std::max(half, stamp_side - 1 - half);
    return cv::getOptimalDFTSize(side + reach);
}

cv::Mat frame_mat(int32_t rows, int32_t columns, double* values) {
    return cv::Mat(rows, columns, CV_64F, values);
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
      padded_height_(padded_side(e.height, e.stamp.height, e.stamp.half_height)) {
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

bool TransformSums::pays(int64_t worked_pixels, int64_t runs, int threads) const {
    const double cells = static_cast<double>(e_.stamp.width) * e_.stamp.height;
    const double walk = (kSecondsPerStep * static_cast<double>(walk_steps(e_, setup_)) *
                             static_cast<double>(worked_pixels) +
                         kSecondsPerGatheredCell * cells * static_cast<double>(runs)) /
                        threads;
    const double points = static_cast<double>(padded_width_) * padded_height_;
    const double transform = kSecondsPerTransformPoint * points * std::log2(points);
    // The threads share the planes' and the results' jobs, each whole on one thread.
    const double jobs = spectra_ + kTransformsPerResult * transformed_results();
    const double longest_share = std::max(jobs / threads, kTransformsPerResult);
    return transform * longest_share < walk;
}

int TransformSums::spectrum_of(int j) const {
    return spectrum_of_channel_[channel_of(j)];
}

EngineStatus TransformSums::transform_plane(int index) {
    const std::size_t points = static_cast<std::size_t>(padded_width_) * padded_height_;
    double* spectrum = plane_spectra_.get() + points * static_cast<std::size_t>(index);
    const uint8_t* plane = plane_of_spectrum_[index];
    std::fill(spectrum, spectrum + points, 0.0);
    // Cell (i, c) weighs the light at (x + c - half_width, y + i - half_height) for output
    // pixel (x, y): as a convolution kernel it lies at (half_height - i, half_width - c),
    // wrapped around the frame.
    for (int32_t i = 0; i < e_.stamp.height; ++i) {
        const int32_t row = (e_.stamp.half_height - i + padded_height_) % padded_height_;
        for (int32_t c = 0; c < e_.stamp.width; ++c) {
            const int32_t column = (e_.stamp.half_width - c + padded_width_) % padded_width_;
            spectrum[static_cast<std::ptrdiff_t>(row) * padded_width_ + column] =
                plane[static_cast<std::ptrdiff_t>(i) * e_.stamp.width + c];
        }
    }
    try {
        cv::Mat mat = frame_mat(padded_height_, padded_width_, spectrum);
        cv::dft(mat, mat);
    } catch (...) {
        // The library allocates its own work space, and throws when it cannot.
        return {engine_failure::kLightRowsMemory, kTransformFailed};
    }
    return {};
}

void TransformSums::settle_plane(bool transformed) {
    if (!transformed) {
        planes_failed_ = true;
    }
    planes_settled_.fetch_add(1);
    planes_settled_.notify_all();
}

EngineStatus TransformSums::run_job(int thread, int job) {
    if (job < spectra_) {
        const EngineStatus status = transform_plane(job);
        settle_plane(status.ok());
        return status;
    }
    const int j = job - spectra_;
    return transformed(j) ? compute(thread, j) : EngineStatus{};
}

void TransformSums::skip_job(int job) {
    if (job < spectra_) {
        settle_plane(false);
    }
}

EngineStatus TransformSums::prepare(int threads) {
    const EngineStatus status = take_frames(threads);
    if (!status.ok()) {
        // Nothing is held for a pass that will not use it.
        plane_spectra_.reset();
        frames_.reset();
    }
    return status;
}

EngineStatus TransformSums::take_frames(int threads) {
    const std::size_t points = static_cast<std::size_t>(padded_width_) * padded_height_;
    plane_spectra_ = platform::OwnedArray<double>(points * static_cast<std::size_t>(spectra_));
    frames_.reset(new (std::nothrow) ThreadFrame[threads]);
    if (!plane_spectra_ || !frames_) {
        return {engine_failure::kLightRowsMemory, kNoSpectrumMemory};
    }
    const int32_t columns = read_.end - read_.first;
    for (int t = 0; t < threads; ++t) {
        frames_[t].values = platform::OwnedArray<double>(points);
        frames_[t].light = platform::OwnedArray<float>(LightView::floats(kConvertRows, columns, 0));
        if (!frames_[t].values || !frames_[t].light) {
            return {engine_failure::kLightRowsMemory, kNoFrameMemory};
        }
    }
    return {};
}

int32_t TransformSums::fill_light(ThreadFrame& frame, int j, float* largest) const {
    double* values = frame.values.get();
    const int32_t columns = read_.end - read_.first;
    LightView view = LightView::over(frame.light.get(), kConvertRows, read_.first, columns, 0);
    float most = 0.0f;
    // Rows from `unlit` up to the next range of light hold none.
    int32_t unlit = 0;
    const auto clear_rows = [&](int32_t end) {
        std::fill(values + static_cast<std::ptrdiff_t>(unlit) * padded_width_,
                  values + static_cast<std::ptrdiff_t>(end) * padded_width_, 0.0);
    };
    const auto copy_rows = [&](int32_t first, int32_t end) {
        clear_rows(first);
        for (int32_t from = first; from < end; from += kConvertRows) {
            const int32_t to = std::min(end, from + kConvertRows);
            view.first_row = from;
            convert_light_rows(e_, view, from, to);
            for (int32_t y = from; y < to; ++y) {
                double* row = values + static_cast<std::ptrdiff_t>(y) * padded_width_;
                std::fill(row, row + read_.first, 0.0);
                std::fill(row + read_.end, row + padded_width_, 0.0);
                const std::ptrdiff_t pixel = view.pixel(read_.first, y);
                for (int32_t x = 0; x < columns; ++x) {
                    const float light = j < kLevelsPerPixel
                                            ? view.channel[kLevelsPerPixel * (pixel + x) + j]
                                            : view.weight[pixel + x];
                    row[read_.first + x] = light;
                    most = std::max(most, light);
                }
            }
        }
        unlit = end;
    };
    row_reach::for_each_range(e_.in.region.row_mask, e_.height, e_.stamp.half_height, copy_rows);
    const int32_t lit_rows = unlit;
    clear_rows(padded_height_);
    *largest = most;
    return lit_rows;
}

EngineStatus TransformSums::compute(int thread, int j) {
    ThreadFrame& frame = frames_[thread];
    const std::size_t points = static_cast<std::size_t>(padded_width_) * padded_height_;
    float largest = 0.0f;
    const int32_t lit_rows = fill_light(frame, j, &largest);
    const int k = channel_of(j);
    frame.zero_below = kZeroShare * static_cast<double>(largest) * setup_.weights.total(k);
    try {
        cv::Mat mat = frame_mat(padded_height_, padded_width_, frame.values.get());
        const cv::Mat spectrum = frame_mat(padded_height_, padded_width_,
                                           plane_spectra_.get() + points * spectrum_of(j));
        cv::dft(mat, mat, 0, lit_rows);
        for (int settled = planes_settled_.load(); settled < spectra_;
             settled = planes_settled_.load()) {
            planes_settled_.wait(settled);
        }
        if (planes_failed_) {
            return {engine_failure::kLightRowsMemory, kTransformFailed};
        }
        cv::mulSpectrums(mat, spectrum, mat, 0);
        cv::dft(mat, mat, cv::DFT_INVERSE | cv::DFT_SCALE | cv::DFT_REAL_OUTPUT, e_.height);
    } catch (...) {
        return {engine_failure::kLightRowsMemory, kTransformFailed};
    }
    return {};
}

}  // namespace scatter
