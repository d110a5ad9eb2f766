// Global set-up: where the plug-in lives, which option marker files lie beside it, where each
// control sits, and which iris shapes there are.
#include <cstdio>
#include <cstring>

#include "platform/file_system.h"
#include "plugin/bokeh_plugin.h"
#include "sdk/effect_controls.h"
#include "shapes/shape_catalogue.h"

namespace {

// True when `name` in `folder` can be opened for reading; a path that does not fit the buffer
// would name some other file, so it counts as absent.
bool option_file_present(const char* folder, const char* name) {
    char path[kPathBufferSize];
    const int length =
        std::snprintf(path, sizeof path, "%s%c%s", folder, platform::kPathSeparator, name);
    if (length < 0 || length >= kPathBufferSize) {
        return false;
    }
    return platform::file_readable(path);
}

// The host's path of the module file, cut at its last separator (kept whole without one);
// empty when the host cannot tell.
void find_plugin_folder(PF_InData* in_data, char (&folder)[kPathBufferSize]) {
    std::memset(folder, 0, sizeof folder);
    if (!in_data->utils || !in_data->utils->get_platform_data ||
        in_data->utils->get_platform_data(in_data->effect_ref, PF_PlatData_EXE_FILE_PATH, folder) !=
            PF_Err_NONE) {
        folder[0] = '\0';
    }
    folder[kPathBufferSize - 1] = '\0';
    if (char* last_separator = std::strrchr(folder, platform::kPathSeparator)) {
        *last_separator = '\0';
    }
}

}  // namespace

void BokehPlugin::global_setup(PF_InData* in_data, PF_OutData*) {
    find_plugin_folder(in_data, plugin_folder);
    const int length = std::snprintf(pattern_folder, sizeof pattern_folder, "%s%cpattern",
                                     plugin_folder, platform::kPathSeparator);
    // A cut-off path would name some other folder, and an unknown plug-in folder would make
    // "/pattern" and the option files at the root of the file system look like ours; either way
    // there are no shapes and no options.
    const bool folder_known = plugin_folder[0] != '\0' && length > 0 && length < kPathBufferSize;
    if (!folder_known) {
        pattern_folder[0] = '\0';
    }
    iris_layer_enabled = 0;

    const auto present = [&](const char* name) {
        return folder_known && option_file_present(plugin_folder, name);
    };
    use_simd = present(effect_controls::kNoSimdOption) ? 0 : 1;
    alpha_bokeh_mode = present(effect_controls::kAlphaBokehOption) ? 1 : 0;
    distance_params_enabled = 1;
    more_params = present(effect_controls::kMoreParamsOption) ? 1 : 0;
    use_micro = present(effect_controls::kUseMicroOption) ? 1 : 0;

    compute_param_indices();
    list_shape_folders();
}

void BokehPlugin::list_shape_folders(char* choice_string, int* preferred_position) {
    shape_count = ::list_shape_folders(pattern_folder, preferred_shape_name, shape_names,
                                       choice_string, preferred_position);
}
