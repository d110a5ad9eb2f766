// A blurred pass's sums through the frequency domain: the light of one result over the whole
// frame is transformed, multiplied by the transform of its stamp plane and transformed back,
// which gives every output pixel's sum at once. Walking the stamp costs time in proportion to
// the stamp's edge for every pixel, so large discs take seconds on large frames; a transform
// costs the same whatever the stamp, and is exact for any iris image, colour irises included.
//
// The sums agree with the walk's to about 1e-14 of the frame's brightest sum, in float64. Where
// nothing under the stamp has light, the walk's sum is exactly 0 (gather_walk.h); here such a
// sum is what the transform leaves of other pixels' light, so sums below kZeroShare of the
// largest the frame can give are taken as 0.
//
// A transform of the whole frame is done in stages that each spread over every thread, however
// few results a pass has: the frame's rows are transformed; then each column of the row spectra
// is transformed, multiplied by the stamp's spectrum and transformed back, a few neighbouring
// columns read together; then the rows are transformed back. A real row's spectrum comes packed
// (the transform library's layout): the real value at frequency 0, a real and an imaginary
// column for each frequency after it, and the real value at half the row's length when that is
// even. Doing the column work in one stage reads the frame once where a forward and an inverse
// transform of the whole frame each read it twice.
#ifndef QB_SCATTER_TRANSFORM_SUMS_H
#define QB_SCATTER_TRANSFORM_SUMS_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/engine_failures.h"
#include "engine/row_reach.h"
#include "platform/allocation.h"
#include "scatter/pass_view.h"
#include "scatter/stamp_cells.h"

namespace scatter {

class TransformSums {
  public:
    // Sums below this share of the largest possible one are rounding residue.
    static constexpr double kZeroShare = 1e-12;
    // Output rows [first, end) of a result, whose sums are in the frame until the next result.
    using AddRows = std::function<void(int32_t first, int32_t end)>;

    // The sums of the pass's pixels in the columns `read` (the worked columns and the stamp's
    // reach around them).
    TransformSums(const PassView& e, const KernelSetup& setup, row_reach::ColumnSpan read);
    TransformSums(const TransformSums&) = delete;
    TransformSums& operator=(const TransformSums&) = delete;

    // Whether transforms cost less time than walking the stamp for the pass's `worked_pixels`
    // output pixels in `runs` runs along rows, as measured on this machine class
    // (bench/scatter_bench). Both spread over the threads alike.
    bool pays(int64_t worked_pixels, int64_t runs) const;

    // Takes the frame, the planes' spectra and each thread's buffers; holds nothing when it
    // fails.
    EngineStatus prepare(int threads);

    // The spectrum of each distinct stamp plane, on up to `threads` threads.
    EngineStatus transform_planes(int threads);

    // Results 0 .. results() - 1 are the four channels, then the weight; a pass whose weight
    // sums follow from its alpha sums has no weight result.
    int results() const { return setup_.weight_per_alpha > 0.0 ? kResults - 1 : kResults; }
    // Whether result j's sums come from transforms: one alpha level everywhere gives the alpha
    // sums from the stamp (alpha_sum_everywhere).
    bool transformed(int j) const { return j != 0 || setup_.alpha_everywhere <= 0.0; }

    // Result j's sums, which must be transformed, on up to `threads` threads: `add` is called
    // for every band of output rows once its sums are in the frame.
    EngineStatus compute(int j, int threads, const AddRows& add);

    // Output pixel (x, y)'s sum in the frame, as compute left it.
    double sum(int32_t x, int32_t y) const {
        const double value = frame_[static_cast<std::ptrdiff_t>(y) * padded_width_ + x];
        return value > zero_below_ ? value : 0.0;
    }

  private:
    // What each thread works in: a group of spectrum columns, and the largest light it met.
    struct ThreadBuffers {
        platform::OwnedArray<double> columns;
        float largest = 0.0f;
    };
    enum class ColumnWork { kKeepSpectrum, kConvolve };

    int transformed_results() const { return results() - (transformed(0) ? 0 : 1); }
    EngineStatus take_buffers(int threads);
    // Runs stage(thread, item) for items 0 .. items - 1 on up to `threads` threads; answers
    // whether the transform library failed in none of them.
    template <class Stage>
    bool run_stage(int32_t items, int threads, Stage stage);
    // Rows are worked in bands of a few: the bands of `rows` rows, and the rows of one.
    static int32_t bands_of(int32_t rows);
    static row_reach::RowSpan band_rows(int32_t band, int32_t rows);
    // Spectrum columns are worked in groups of neighbours: how many groups there are.
    int32_t column_groups() const;
    // Frame rows [first, end) of plane `spectrum` wrapped around the frame's corner, each row
    // with any cell in it transformed.
    void fill_plane_rows(int spectrum, int32_t first, int32_t end);
    // Frame rows [first, end) of the light of result j, each row that may hold light
    // transformed; the thread's largest light grows to the largest it converted.
    void fill_light_rows(int thread, int j, int32_t first, int32_t end);
    // Spectrum columns of the group `group`: transformed along the frame's columns, then kept
    // as the spectrum of plane `spectrum` or multiplied by it and transformed back.
    void transform_columns(int thread, int32_t group, int spectrum, ColumnWork work);
    // The index of the spectrum of the plane that weighs result j.
    int spectrum_of(int j) const;
    double* spectrum_row(int spectrum, int32_t u) const;

    const PassView& e_;
    const KernelSetup& setup_;
    const row_reach::ColumnSpan read_;
    int32_t padded_width_;
    int32_t padded_height_;
    int32_t spectrum_columns_;
    int spectra_ = 0;
    int spectrum_of_channel_[kLevelsPerPixel] = {};
    const uint8_t* plane_of_spectrum_[kLevelsPerPixel] = {};
    double zero_below_ = 0.0;
    platform::OwnedArray<double> frame_;
    platform::OwnedArray<double> plane_spectra_;
    platform::OwnedArray<uint8_t> lit_rows_;  // per frame row: whether it may hold light
    std::unique_ptr<ThreadBuffers[]> threads_;
};

}  // namespace scatter

#endif
