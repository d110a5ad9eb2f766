// The gather kernels: one walk over the stamp (gather_walk.h), one set of cells
// (stamp_cells.h), one update record (update_plan.h); the plain and the vector kernel differ
// only in the arithmetic that sums a block of updates, the colour kernel only in the planes.
#include "scatter/gather_kernels.h"

#include "platform/cpu_features.h"
#include "scatter/gather_walk.h"
#include "scatter/light_rows.h"
#include "scatter/update_plan.h"

namespace scatter {

namespace {

// channel_norm is kept per stored plane; find the one `plane` is.
float norm_of(const PassView& e, const uint8_t* plane) {
    const std::ptrdiff_t plane_size = static_cast<std::ptrdiff_t>(e.stamp.width) * e.stamp.height;
    return e.stamp.channel_norm[(plane - e.stamp.newPattern.get()) / plane_size];
}

BlockSummer block_summer(bool vector, bool weights) {
    if (!vector) {
        return weights ? sum_block_plain : sum_block_plain_without_weights;
    }
    if (has_wide_vectors()) {
        return weights ? sum_block_wide : sum_block_wide_without_weights;
    }
    return weights ? sum_block_vector : sum_block_vector_without_weights;
}

}  // namespace

bool KernelSetup::prepare(const PassView& e, StampKind kind, bool vector,
                          const SourceAlpha& alpha) {
    weight_per_alpha = alpha.weight_per_alpha;
    alpha_everywhere = alpha.light_everywhere;
    sum_block = block_summer(vector, weight_per_alpha <= 0.0);
    counting = updates_along_rows(e);
    stamp_width = e.stamp.width;
    stamp_height = e.stamp.height;
    if (kind == StampKind::kGrey) {
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            plane[k] = e.stamp.newPattern.get();
            norm[k] = e.stamp.channel_norm[k];
        }
        norm[kWeightResult] = e.stamp.channel_norm[3];
    } else {
        // Plane A weights the alpha, the first colour channel and the weight sum.
        const uint8_t* const by_channel[kLevelsPerPixel] = {
            e.stamp.stamp_planes[1], e.stamp.stamp_planes[1], e.stamp.stamp_planes[2],
            e.stamp.stamp_planes[3]};
        for (int j = 0; j < kResults; ++j) {
            plane[channel_of(j)] = by_channel[channel_of(j)];
            norm[j] = norm_of(e, by_channel[channel_of(j)]);
        }
    }
    if (!weights.build(e, plane)) {
        return false;
    }
    planes_weigh = true;
    for (int k = 0; k < kLevelsPerPixel; ++k) {
        planes_weigh = planes_weigh && weights.total(k) > 0;
    }
    return true;
}

bool has_vector_kernels() {
    static const bool present = platform::cpu_has_double_vectors();
    return present;
}

bool has_wide_vectors() {
    static const bool present = platform::cpu_has_wide_double_vectors();
    return present;
}

StampKind stamp_kind(const PassView& e) {
    constexpr int32_t kColourChannels = 3;
    return e.stamp.channels >= kColourChannels ? StampKind::kColour : StampKind::kGrey;
}

void gather(const PassView& e, const KernelSetup& setup, KernelState& state, Position at,
            int32_t restart, KernelResult* result) {
    gather_run(e, setup, state, at.y, at.x, at.x + 1, restart,
               [result](int32_t, const KernelResult& r) { *result = r; });
}

}  // namespace scatter

namespace scatter {

bool PixelKernels::gather_one(Position at, KernelResult* result, int32_t restart, bool colour,
                              bool vector) {
    *result = KernelResult{};
    if (!light_rows_) {
        // A stamp laid on any pixel, and the pixel just left of it, read light rows.
        const int32_t pad = e_.stamp.half_width + 1;
        light_rows_ = platform::OwnedArray<float>(LightView::floats(e_.height, e_.width, pad));
        unlit_rows_ = platform::OwnedArray<uint8_t>(static_cast<std::size_t>(e_.height));
        if (!light_rows_ || !unlit_rows_) {
            return false;
        }
        frame_light_ = LightView::over(light_rows_.get(), e_.height, 0, e_.width, pad);
        frame_light_.unlit_rows = unlit_rows_.get();
        convert_light_rows(e_, frame_light_, 0, e_.height);
    }
    const bool use_vector = vector && has_vector_kernels();
    KernelState& state = colour ? colour_ : use_vector ? vector_ : plain_;
    const auto kind = colour ? StampKind::kColour : StampKind::kGrey;
    KernelSetup setup;
    if (!setup.prepare(e_, kind, use_vector)) {
        return false;
    }
    state.light = frame_light_;
    gather(e_, setup, state, at, restart, result);
    return true;
}

bool PixelKernels::gather_plain(Position at, KernelResult* result, int32_t restart) {
    return gather_one(at, result, restart, false, false);
}

bool PixelKernels::gather_vector(Position at, KernelResult* result, int32_t restart) {
    return gather_one(at, result, restart, false, true);
}

bool PixelKernels::gather_colour(Position at, KernelResult* result, int32_t restart) {
    return gather_one(at, result, restart, true, e_.in.use_simd);
}

}  // namespace scatter
