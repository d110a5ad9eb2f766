// The gather kernels: one walk over the stamp (gather_walk.h), one set of cells
// (stamp_cells.h), one update record (update_plan.h); the plain and the vector kernel differ
// only in the arithmetic that sums a block of updates, the colour kernel only in the planes.
#include "scatter/gather_kernels.h"

#include "engine/engine_failures.h"
#include "platform/allocation.h"
#include "platform/cpu_features.h"
#include "scatter/gather_walk.h"
#include "scatter/light_rows.h"
#include "scatter/update_plan.h"

namespace scatter {

namespace {

// channel_norm is kept per stored plane; find the one `plane` is.
float norm_of(const BokehEngine& e, const uint8_t* plane) {
    const std::ptrdiff_t plane_size = static_cast<std::ptrdiff_t>(e.stamp_width) * e.stamp_height;
    return e.channel_norm[(plane - e.newPattern) / plane_size];
}

}  // namespace

bool KernelSetup::prepare(const BokehEngine& e, StampKind kind, bool vector) {
    sum_block = !vector ? sum_block_plain : has_wide_vectors() ? sum_block_wide : sum_block_vector;
    counting = updates_along_rows(e);
    stamp_width = e.stamp_width;
    stamp_height = e.stamp_height;
    if (kind == StampKind::kGrey) {
        for (int k = 0; k < kLevelsPerPixel; ++k) {
            plane[k] = e.newPattern;
            norm[k] = e.channel_norm[k];
        }
        norm[kWeightResult] = e.channel_norm[3];
    } else {
        // Plane A weights the alpha, the first colour channel and the weight sum.
        const uint8_t* const by_channel[kLevelsPerPixel] = {e.stamp_planes[1], e.stamp_planes[1],
                                                            e.stamp_planes[2], e.stamp_planes[3]};
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

StampKind stamp_kind(const BokehEngine& e) {
    constexpr int32_t kColourChannels = 3;
    return e.pattern_channels >= kColourChannels ? StampKind::kColour : StampKind::kGrey;
}

void gather(const BokehEngine& e, const KernelSetup& setup, KernelState& state, Position at,
            int32_t restart, KernelResult* result) {
    gather_run(e, setup, state, at.y, at.x, at.x + 1, restart,
               [result](int32_t, const KernelResult& r) { *result = r; });
}

}  // namespace scatter

int32_t BokehEngine::make_light_rows() {
    // A stamp laid on any pixel, and the pixel just left of it, read light rows.
    light_pad = stamp_half_width + 1;
    light_rows =
        platform::allocate_array<float>(scatter::LightView::floats(height, width, light_pad));
    if (light_rows == nullptr) {
        return fail(engine_failure::kLightRowsMemory,
                    "(run_pix_loop): not enough memory for light_rows");
    }
    scatter::convert_light_rows(*this, scatter::frame_light(*this), 0, height);
    return 1;
}

namespace scatter {

void PixelKernels::gather_one(KernelResult* result, int32_t restart, bool colour, bool vector) {
    *result = KernelResult{};
    if (e_.light_rows == nullptr && !e_.make_light_rows()) {
        return;
    }
    const bool use_vector = vector && has_vector_kernels();
    KernelState& state = colour ? colour_ : use_vector ? vector_ : plain_;
    const auto kind = colour ? StampKind::kColour : StampKind::kGrey;
    KernelSetup setup;
    if (!setup.prepare(e_, kind, use_vector)) {
        e_.fail(engine_failure::kLightRowsMemory,
                "(run_pix_loop): not enough memory for the stamp weights");
        return;
    }
    state.light = frame_light(e_);
    gather(e_, setup, state, Position{e_.cur_x, e_.cur_y}, restart, result);
}

void PixelKernels::gather_plain(KernelResult* result, int32_t restart) {
    gather_one(result, restart, false, false);
}

void PixelKernels::gather_vector(KernelResult* result, int32_t restart) {
    gather_one(result, restart, false, true);
}

void PixelKernels::gather_colour(KernelResult* result, int32_t restart) {
    gather_one(result, restart, true, e_.use_simd != 0);
}

}  // namespace scatter
