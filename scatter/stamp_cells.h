// The cells of the stamp as the gather kernels read them, and what a kernel keeps from one
// pixel to the next.
//
// Every result is weighted by one stamp plane: a grey stamp weights all five results by its
// plane 0; a colour stamp weights the alpha, the first colour channel and the weight sum by
// plane A (stamp_planes[1]), the second colour channel by plane B, the third by plane C, so
// that a colour iris tints the light it spreads. The kernels differ in nothing else.
#ifndef QB_SCATTER_STAMP_CELLS_H
#define QB_SCATTER_STAMP_CELLS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "scatter/block_sums.h"
#include "scatter/gather_walk.h"
#include "scatter/kernel_result.h"
#include "scatter/light_rows.h"
#include "scatter/pass_view.h"
#include "scatter/stamp_weights.h"
#include "scatter/update_plan.h"

namespace scatter {

inline constexpr int kResults = 5;
inline constexpr int kWeightResult = 4;

// The channel whose plane weights result j: the weight sum goes with channel 0.
inline int channel_of(int j) {
    return j < kLevelsPerPixel ? j : 0;
}

enum class StampKind { kGrey, kColour };

// What a pass learns of its source's alpha before it sums, as ratios and lights (0 when they
// do not hold).
struct SourceAlpha {
    double weight_per_alpha = 0.0;
    double light_everywhere = 0.0;
};

// How one pass's kernel reads the stamp and sums its light.
struct KernelSetup {
    const uint8_t* plane[kLevelsPerPixel];  // per channel
    float norm[kResults];                   // per result: 1 / the weight of its whole plane
    BlockSummer sum_block;
    // Whether the sums are carried along rows, so that their feeders are counted where some
    // light may be 0 (counts_feeders).
    bool counting;
    int32_t stamp_width;
    int32_t stamp_height;
    StampWeights weights;
    bool planes_weigh;  // whether every channel's plane has a cell above 0
    // Above 0 when every pixel's weight light is its alpha light times this: the weight sums
    // are then the alpha sums times it, and are not summed.
    double weight_per_alpha;
    // Above 0 when every pixel the pass reads has this alpha light: an alpha sum is then it
    // times the in-frame weight of the alpha's plane. Only transforms use it; the walk sums
    // alpha in the same vector lanes as the colours, at no cost of its own.
    double alpha_everywhere;

    // False when the stamp weight tables cannot be allocated.
    bool prepare(const PassView& e, StampKind kind, bool vector, const SourceAlpha& alpha = {});
};

// Whether a kernel reading `light` for output row y counts the pixels that feed each sum: only
// where sums are carried along rows and some light the stamp reaches may be 0. Where every
// pixel is lit, a sum has a feeder exactly where its plane weighs anything in the frame, which
// the result checks anyway.
inline bool counts_feeders(const PassView& e, const KernelSetup& setup, const LightView& light,
                           int32_t y) {
    return setup.counting && light.some_unlit(std::max(0, y - e.stamp.half_height),
                                              std::min(e.height, y + e.stamp.half_height + 1));
}

// The alpha sum of a pixel whose stamp meets the frame in `w`, when the pass reads one alpha
// light everywhere: exact but for float64 rounding, as the walk's sum is.
inline double alpha_sum_everywhere(const KernelSetup& setup, const StampWindow& w) {
    return setup.alpha_everywhere * setup.weights.in_frame(0, w);
}

// Whether every plane's whole weight lies in the frame for a pixel whose stamp meets it in `w`,
// as it does for most pixels.
inline bool stamp_weighs_whole(const KernelSetup& setup, const StampWindow& w) {
    return setup.planes_weigh && w.top == 0 && w.bottom == setup.stamp_height && w.cut == 0 &&
           w.keep == setup.stamp_width;
}

// Result j of a pixel whose stamp meets the frame in `w`, from its sum: the sum divided by the
// in-frame weight of the result's plane.
inline float result_of_sum(const KernelSetup& setup, int j, double sum, const StampWindow& w) {
    if (stamp_weighs_whole(setup, w)) {
        return static_cast<float>(sum * setup.norm[j]);
    }
    const int k = channel_of(j);
    const int32_t inside = setup.weights.in_frame(k, w);
    return normalised(sum, setup.norm[j], setup.weights.total(k) - inside, inside);
}

// What a kernel keeps from one pixel to the next: the running sums, the counts of pixels
// feeding each sum, and the row's update record.
struct KernelState {
    LightView light;  // the source rows the sums are gathered from
    LightSums sums{};
    LitCount lit;
    UpdatePlan plan;
};

class StampCells {
  public:
    // With `counting`, the cells count the pixels that feed each sum (counts_feeders).
    StampCells(const KernelSetup& setup, const KernelState& kept, bool counting)
        : setup_(setup),
          channel_light_(kept.light.channel),
          weight_light_(kept.light.weight),
          counting_(counting),
          sums_(kept.sums),
          lit_(kept.lit) {}

    void reset() {
        sums_.reset();
        lit_ = LitCount{};
    }
    void add_full(std::ptrdiff_t pixel, int32_t cell) {
        CellChange change;
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            change.now[k] = setup_.plane[k][cell];
        }
        add(pixel, change);
    }
    void add_leaving(std::ptrdiff_t pixel, int32_t old_cell) {
        CellChange change;
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            change.before[k] = setup_.plane[k][old_cell];
        }
        add(pixel, change);
    }
    void add_change(std::ptrdiff_t pixel, int32_t new_cell, int32_t old_cell) {
        CellChange change;
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            change.now[k] = setup_.plane[k][new_cell];
            change.before[k] = setup_.plane[k][old_cell];
        }
        add(pixel, change);
    }
    void add_changes(const LightSums& changes, const LitCount& lit_change) {
        sums_.merge(changes);
        lit_.merge(lit_change);
    }

    // Fills `result` for the pixel whose stamp meets the frame in `w`. Each result is its sum
    // divided by the in-frame weight of its plane.
    void result(const StampWindow& w, KernelResult* result) {
        if (counting_ && !lit_.feeds_every_sum()) {
            for (int j = 0; j < kResults; ++j) {
                if (!lit_.feeds(j)) {
                    sums_.clear(j);
                }
            }
        }
        if (setup_.weight_per_alpha > 0.0) {
            sums_.weight = sums_.light[0] * setup_.weight_per_alpha;
        }
        if (stamp_weighs_whole(setup_, w)) {
            for (int j = 0; j < kResults; ++j) {
                result->value[j] = static_cast<float>(sums_.value(j) * setup_.norm[j]);
            }
            return;
        }
        int32_t inside[kLevelsPerPixel];
        int32_t off[kLevelsPerPixel];
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            if (k > 0 && setup_.weights.same_table(k - 1, k)) {
                inside[k] = inside[k - 1];
                off[k] = off[k - 1];
                continue;
            }
            inside[k] = setup_.weights.in_frame(k, w);
            off[k] = setup_.weights.total(k) - inside[k];
        }
        for (int j = 0; j < kResults; ++j) {
            const int k = channel_of(j);
            result->value[j] = normalised(sums_.value(j), setup_.norm[j], off[k], inside[k]);
        }
    }

    // `result` for a pixel whose whole stamp lies in the frame. Most pixels are such and have
    // every sum fed: they take the few multiplications here, inline, and the general result is
    // called for the rest. Out of line, its results went through memory one float at a time and
    // were read back as a vector, which stalled every pixel until the stores had landed.
    void result_inside(KernelResult* out) {
        if (!setup_.planes_weigh || (counting_ && !lit_.feeds_every_sum())) {
            result(StampWindow{0, setup_.stamp_width, 0, setup_.stamp_height}, out);
            return;
        }
        if (setup_.weight_per_alpha > 0.0) {
            sums_.weight = sums_.light[0] * setup_.weight_per_alpha;
        }
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            out->value[k] = static_cast<float>(sums_.light[k] * setup_.norm[k]);
        }
        out->value[kWeightResult] = static_cast<float>(sums_.weight * setup_.norm[kWeightResult]);
    }

    // Hands the sums back for the next pixel.
    void keep(KernelState& kept) const {
        kept.sums = sums_;
        kept.lit = lit_;
    }

  private:
    // The weights a source pixel moves between, per channel; 0 where it is not under the stamp.
    struct CellChange {
        int32_t now[kLevelsPerPixel] = {};
        int32_t before[kLevelsPerPixel] = {};
    };

    void add(std::ptrdiff_t pixel, const CellChange& change) {
        const float* light = channel_light_ + kLevelsPerPixel * pixel;
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            sums_.light[k] += static_cast<double>(light[k]) * (change.now[k] - change.before[k]);
            if (counting_) {
                lit_.add(k, light[k], presence_change(change.now[k], change.before[k]));
            }
        }
        sums_.weight +=
            static_cast<double>(weight_light_[pixel]) * (change.now[0] - change.before[0]);
    }

    const KernelSetup& setup_;
    const float* channel_light_;
    const float* weight_light_;
    const bool counting_;
    LightSums sums_;
    LitCount lit_;
};

}  // namespace scatter

#endif
