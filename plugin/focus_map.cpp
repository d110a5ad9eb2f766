// The focus map: the last render's distance map, kept in the effect instance's sequence data so
// that a later click on "Focus Here" can read the distance under the clicked pixel.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "plugin/bokeh_plugin.h"
#include "plugin/held_handle.h"

namespace {

bool handle_callbacks_present(const PF_InData* in_data) {
    const PF_UtilCallbacks* utils = in_data->utils;
    return utils && utils->host_lock_handle && utils->host_unlock_handle &&
           utils->host_get_handle_size && utils->host_resize_handle;
}

// The handle stays locked from sequence set-up to set-down.
uint8_t* locked_bytes(const PF_InData* in_data) {
    return static_cast<uint8_t*>(held_handle_bytes(in_data, in_data->sequence_data));
}

// Makes the handle hold at least `size` bytes. It is unlocked while the host resizes it, and
// locked again whatever the host answered.
PF_Err grow_handle(PF_InData* in_data, A_u_longlong size) {
    PF_UtilCallbacks* utils = in_data->utils;
    if (utils->host_get_handle_size(in_data->sequence_data) >= size) {
        return PF_Err_NONE;
    }
    utils->host_unlock_handle(in_data->sequence_data);
    const PF_Err err = utils->host_resize_handle(size, &in_data->sequence_data);
    utils->host_lock_handle(in_data->sequence_data);
    return err;
}

}  // namespace

PF_Err BokehPlugin::store_focus_map(PF_InData* in_data, const uint8_t* map, int32_t pixel_step,
                                    int32_t width, int32_t height, int32_t stride) {
    if (!in_data->sequence_data || !handle_callbacks_present(in_data) || width <= 0 ||
        height <= 0) {
        return PF_Err_NONE;
    }
    const A_u_longlong size = static_cast<A_u_longlong>(width) * static_cast<A_u_longlong>(height);
    if (const PF_Err err = grow_handle(in_data, size)) {
        return err;
    }
    uint8_t* bytes = locked_bytes(in_data);
    if (!bytes) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* from = map + static_cast<std::ptrdiff_t>(y) * stride;
        uint8_t* to = bytes + static_cast<std::ptrdiff_t>(y) * width;
        // A render's own distance map is packed already: rows copy whole.
        if (pixel_step == 1) {
            std::memcpy(to, from, static_cast<std::size_t>(width));
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            to[x] = from[static_cast<std::ptrdiff_t>(x) * pixel_step];
        }
    }
    focus_map_width = width;
    focus_map_stride = width;
    focus_map_height = height;
    return PF_Err_NONE;
}

uint8_t BokehPlugin::focus_map_sample(const PF_InData* in_data, int32_t x, int32_t y) const {
    // The map covers only what the last render recorded; where nothing was recorded, or beyond
    // it, there is no distance to give.
    if (!in_data->sequence_data || !handle_callbacks_present(in_data) || focus_map_width <= 0 ||
        focus_map_height <= 0) {
        return 0;
    }
    const auto column = static_cast<int64_t>(x * focus_map_scale);
    const auto row = static_cast<int64_t>(y * focus_map_scale);
    const A_u_longlong map_size = in_data->utils->host_get_handle_size(in_data->sequence_data);
    const int64_t offset = row * focus_map_stride + column;
    if (column < 0 || row < 0 || column >= focus_map_width || row >= focus_map_height ||
        offset < 0 || static_cast<A_u_longlong>(offset) >= map_size) {
        return 0;
    }
    const uint8_t* map = locked_bytes(in_data);
    return map ? map[offset] : 0;
}

double downsample_factor(const PF_RationalScale& scale) {
    // A zero denominator counts as 1. Hosts only ever shrink a layer, so a factor that is not a
    // reduction (none, negative or above 1) renders at full resolution.
    const double factor =
        static_cast<double>(scale.num) / static_cast<double>(scale.den == 0 ? 1u : scale.den);
    return factor > 0.0 && factor <= 1.0 ? factor : 1.0;
}
