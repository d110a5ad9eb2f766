#include "engine/bokeh_engine.h"

#include <cstring>

#include "engine/engine_failures.h"
#include "platform/allocation.h"
#include "platform/cpu_features.h"

namespace {}  // namespace

BokehEngine::BokehEngine() : use_simd(platform::cpu_has_double_vectors() ? 1 : 0) {}

BokehEngine::~BokehEngine() {
    free_pattern_buffers();
    free_size_patterns();
}

int32_t BokehEngine::fail(int32_t code, const char* text) {
    error_code = code;
    std::strncpy(message, text, kMessageSize - 1);
    message[kMessageSize - 1] = '\0';
    return 0;
}

void BokehEngine::set_alpha_scale(float scale, float* weight_buffer, int32_t) {
    alpha_scale = scale;
    weight_buf = weight_buffer;
}

void BokehEngine::set_options(int32_t simd_allowed, int32_t micro) {
    use_simd = simd_allowed != 0 && platform::cpu_has_double_vectors() ? 1 : 0;
    use_micro = micro;
}

void BokehEngine::set_region(const uint8_t* map, int32_t map_rowbytes, const int32_t* rows) {
    blur_map = map;
    blur_map_rowbytes = map_rowbytes;
    row_mask = rows;
}

void BokehEngine::set_run_parameters(double size, double, double contrast, double blend,
                                     double scale, double) {
    pattern_size = size;
    light_contrast = contrast;
    blend_scale = blend;
    light_scale = scale;
}

void BokehEngine::set_source_frame(int32_t, int32_t, int32_t frame_width, int32_t frame_height,
                                   const uint8_t* pixels8, int32_t rowbytes8,
                                   const uint16_t* pixels16, int32_t stride16,
                                   int32_t level_count) {
    width = frame_width;
    height = frame_height;
    src8 = pixels8;
    src8_rowbytes = rowbytes8;
    src16 = pixels16;
    src16_stride = stride16;
    levels = level_count;
}

void BokehEngine::set_iris_image(int32_t alpha_first, int32_t bytes_per_pixel, int32_t image_width,
                                 int32_t image_height, const uint8_t* pixels, int32_t rowbytes) {
    iris_alpha_first = alpha_first;
    pattern_channels = bytes_per_pixel;
    iris_width = image_width;
    iris_height = image_height;
    iris_pixels = pixels;
    iris_rowbytes = rowbytes;
}

void BokehEngine::set_accumulator(int32_t, int32_t, float* buffer, int32_t rowbytes, int32_t) {
    accum = buffer;
    accum_rowbytes = rowbytes;
}

int32_t BokehEngine::check_leaks() const {
    if (Src_Data_sh != nullptr || light_rows != nullptr) {
        return engine_leak::kSource;
    }
    if (newPattern != nullptr) {
        return engine_leak::kStamp;
    }
    for (const float* sized : m_mapzp) {
        if (sized != nullptr) {
            return engine_leak::kSizePattern;
        }
    }
    if (Pattern != nullptr) {
        return engine_leak::kPattern;
    }
    if (row_first != nullptr) {
        return engine_leak::kRowFirst;
    }
    if (row_last != nullptr) {
        return engine_leak::kRowLast;
    }
    return 0;
}

void BokehEngine::end_run_reset() {
    pattern_size = kDefaultPatternSize;
}

void BokehEngine::free_pattern_buffers() {
    platform::release_array(Pattern);
    platform::release_array(row_first);
    platform::release_array(row_last);
    platform::release_array(newPattern);
    for (uint8_t*& plane : stamp_planes) {
        plane = nullptr;
    }
    platform::release_array(Src_Data_sh);
    platform::release_array(light_rows);
}

void BokehEngine::free_size_patterns() {
    for (float*& sized : m_mapzp) {
        platform::release_array(sized);
    }
}
