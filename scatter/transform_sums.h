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
#ifndef QB_SCATTER_TRANSFORM_SUMS_H
#define QB_SCATTER_TRANSFORM_SUMS_H

#include <atomic>
#include <cstddef>
#include <cstdint>
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

    // The sums of the pass's pixels in the columns `read` (the worked columns and the stamp's
    // reach around them).
    TransformSums(const PassView& e, const KernelSetup& setup, row_reach::ColumnSpan read);
    TransformSums(const TransformSums&) = delete;
    TransformSums& operator=(const TransformSums&) = delete;

    // Whether transforms cost less time on `threads` threads than walking the stamp for the
    // pass's `worked_pixels` output pixels in `runs` runs along rows, as measured on this
    // machine class (bench/scatter_bench).
    bool pays(int64_t worked_pixels, int64_t runs, int threads) const;

    // Takes each thread's frame; holds nothing when it fails.
    EngineStatus prepare(int threads);

    // The work comes in jobs, each on one thread: first the transform of each distinct stamp
    // plane, then each result (the four channels, then the weight). A result's job transforms
    // its light while the planes' jobs run, and waits for them only to multiply by a plane's
    // spectrum, so that the threads stay busy.
    // A pass whose weight sums follow from its alpha sums has no weight job, and one whose
    // alpha is the same everywhere does not transform it (alpha_sum_everywhere).
    int jobs() const { return spectra_ + results(); }
    // Whether result j's sums come from transforms.
    bool transformed(int j) const { return j != 0 || setup_.alpha_everywhere <= 0.0; }
    // The result a job computes, or -1 for a plane's job.
    int result_of_job(int job) const { return job < spectra_ ? -1 : job - spectra_; }
    // Runs the job; a result's sums are then left in the thread's frame.
    EngineStatus run_job(int thread, int job);
    // A job that will not run: nothing waits for it.
    void skip_job(int job);

    // Output pixel (x, y)'s sum in the thread's frame, as compute left it.
    double sum(int thread, int32_t x, int32_t y) const {
        const double value =
            frames_[thread].values[static_cast<std::ptrdiff_t>(y) * padded_width_ + x];
        return value > frames_[thread].zero_below ? value : 0.0;
    }

  private:
    struct ThreadFrame {
        platform::OwnedArray<double> values;
        platform::OwnedArray<float> light;  // a few converted light rows
        double zero_below = 0.0;
    };

    int results() const { return setup_.weight_per_alpha > 0.0 ? kResults - 1 : kResults; }
    int transformed_results() const { return results() - (transformed(0) ? 0 : 1); }
    EngineStatus take_frames(int threads);
    // The index of the spectrum of the plane that weighs result j.
    int spectrum_of(int j) const;
    EngineStatus transform_plane(int spectrum);
    EngineStatus compute(int thread, int j);
    // Marks a plane's job finished or given up, and wakes the results that wait for it.
    void settle_plane(bool transformed);
    // Copies result j's light into the thread's frame; answers the frame's rows that may hold
    // light, and its largest light.
    int32_t fill_light(ThreadFrame& frame, int j, float* largest) const;

    const PassView& e_;
    const KernelSetup& setup_;
    const row_reach::ColumnSpan read_;
    int32_t padded_width_;
    int32_t padded_height_;
    int spectra_ = 0;
    int spectrum_of_channel_[kLevelsPerPixel] = {};
    const uint8_t* plane_of_spectrum_[kLevelsPerPixel] = {};
    std::atomic<int> planes_settled_{0};
    std::atomic<bool> planes_failed_{false};
    platform::OwnedArray<double> plane_spectra_;
    std::unique_ptr<ThreadFrame[]> frames_;
};

}  // namespace scatter

#endif
