#include "engine/bokeh_engine.h"

#include <cstring>

#include "platform/allocation.h"
#include "platform/cpu_features.h"

BokehEngine::BokehEngine() : use_simd(platform::cpu_has_double_vectors() ? 1 : 0) {}

BokehEngine::~BokehEngine() {
    free_photons();
    free_pattern_buffers();
    free_size_patterns();
}

int32_t BokehEngine::fail(int32_t code, const char* text) {
    error_code = code;
    std::strncpy(message, text, kMessageSize - 1);
    message[kMessageSize - 1] = '\0';
    return 0;
}

void BokehEngine::free_photons() {
    platform::release_array(Diff_Photon);
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
}

void BokehEngine::free_size_patterns() {
    for (float*& sized : m_mapzp) {
        platform::release_array(sized);
    }
}
