// The plug-in object: what the effect keeps between the host's commands (folders, options, the
// parameter index table, the shape catalogue, the focus map's bookkeeping), and the translation
// of the host's records for the libraries below. A render's own state lives in the render.
//
// Principles shared by the handlers here:
// - Every handler answers the host with a PF_Err and, where a message applies, leaves its text
//   in out_data->return_msg. Nothing throws across the entry point.
// - Paths and names live in fixed 512-byte buffers, as the host's records do; every copy into
//   them is bounded.
// - Each host that sets the module up holds its own BokehPlugin in its global-data handle, and
//   the module ends it at global set-down; one host calls it from one thread at a time, so
//   nothing here locks. Tests may make their own.
#ifndef QB_PLUGIN_BOKEH_PLUGIN_H
#define QB_PLUGIN_BOKEH_PLUGIN_H

#include <cstdint>

#include "platform/file_system.h"
#include "render/render_frame.h"
#include "render/render_request.h"
#include "sdk/effect_sdk.h"
#include "shapes/shape_catalogue.h"

inline constexpr int kPathBufferSize = platform::kPathBufferSize;

// Values the plug-in object starts from, at construction and again on the module's first
// command.
inline constexpr int kStartUseSimd = 1;
inline constexpr int kStartDistancePrecision = 50;

class BokehPlugin {
  public:
    BokehPlugin() = default;
    BokehPlugin(const BokehPlugin&) = delete;
    BokehPlugin& operator=(const BokehPlugin&) = delete;

    // The values every field takes on the module's first command.
    void first_call_init();

    // Command handlers.
    void global_setup(PF_InData* in_data, PF_OutData* out_data);
    PF_Err params_setup(PF_InData* in_data, PF_OutData* out_data);
    PF_Err sequence_setup(PF_InData* in_data, PF_OutData* out_data);
    PF_Err sequence_setdown(PF_InData* in_data, PF_OutData* out_data);
    PF_Err user_changed_param(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                              const PF_UserChangedParamExtra* extra);
    PF_Err about(PF_InData* in_data, PF_OutData* out_data);
    PF_Err render_frame(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                        PF_LayerDef* output);

    // Parameter index table from the option flags.
    void compute_param_indices();

    // The focus-map byte under layer point (x, y) as the last render recorded it.
    uint8_t focus_map_sample(const PF_InData* in_data, int32_t x, int32_t y) const;
    // Copies a width x height byte map (`pixel_step` bytes between pixels, `stride` between
    // rows) into the sequence data, growing the handle when it is too small. Without sequence
    // data nothing is kept; a refused resize keeps the previous map.
    PF_Err store_focus_map(PF_InData* in_data, const uint8_t* map, int32_t pixel_step,
                           int32_t width, int32_t height, int32_t stride);

    // Render. Whether every control a render reads is in the parameter array; then the
    // snapshot of their values at the render's downsample factor `dsx`.
    bool controls_present(PF_ParamDef* params[]) const;
    render::RenderRequest take_render_snapshot(PF_ParamDef* params[], double dsx) const;

    // Shape catalogue. Fills shape_names and shape_count from pattern_folder; when asked, also
    // the "|"-joined choice string (512 bytes) and the position of preferred_shape_name.
    void list_shape_folders(char* choice_string = nullptr, int* preferred_position = nullptr);

    // Folders and options (global set-up)
    char plugin_folder[kPathBufferSize] = {};
    char pattern_folder[kPathBufferSize] = {};
    char shape_names[kMaxShapeFolders][kPathBufferSize] = {};
    int16_t shape_count = 0;
    // The "Iris Shape" choices as last declared; the host may keep the pointer it was given.
    char shape_choices[kPathBufferSize] = {};
    char preferred_shape_name[kPathBufferSize] = {};
    int iris_layer_enabled = 0;
    int distance_params_enabled = 0;
    int more_params = 0;
    int alpha_bokeh_mode = 0;
    int use_micro = 0;
    int use_simd = kStartUseSimd;

    // Parameter index table: position of each control in the host's parameter array.
    int idx_iris_shape = 0;
    int idx_iris_layer = 0;
    int idx_distance_layer = 0;
    int idx_focus_here = 0;
    int idx_focus_distance = 0;
    int idx_bokeh_amount = 0;
    int idx_hardness = 0;
    int idx_brightness = 0;
    int idx_preview_group = 0;
    int idx_preview_only = 0;
    int idx_preview_point = 0;
    int idx_preview_size = 0;
    int idx_preview_quality = 0;
    int idx_preview_end = 0;
    int idx_settings_group = 0;
    int idx_quality = 0;
    int idx_distance_precision = 0;
    int idx_alpha_bokeh = 0;
    int idx_settings_end = 0;
    int num_params = 0;

    // Focus map bookkeeping (the map itself lives in the host's sequence data)
    double focus_map_scale = 0.0;
    int focus_map_stride = 0;
    int focus_map_width = 0;
    // Rows of the recorded map: the handle may be larger, left over from a bigger layer.
    int focus_map_height = 0;

    // The layer controls' default markers.
    int distance_layer_marker = 0;
    int iris_layer_marker = 0;

    // The memory of one render's large buffers and its helper threads, lent to the next: a host
    // renders frame after frame, and each fresh buffer cost a page fault every few pages, a
    // tenth of an HD depth render. The memory, bounded by what one render keeps, goes back to
    // the system when the host closes the sequence; the threads, asleep between renders, end
    // with the module's set-down.
    render::KeptBetweenRenders kept_between_renders;
};

// The host's horizontal downsample factor as the render and the focus pick both take it.
double downsample_factor(const PF_RationalScale& scale);

#endif
