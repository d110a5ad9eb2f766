/* The in-record and out-record of every command and the host's callback tables. The host owns
 * all of it; a module reads the in-record, writes the out-record and calls back through the
 * tables with the effect reference it was given. */
#ifndef QB_SDK_PF_RECORDS_H
#define QB_SDK_PF_RECORDS_H

#include "sdk/pf_param.h"
#include "sdk/pf_suites.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PF_MAX_RETURN_MSG_LEN 255

typedef struct {
    PF_Err (*checkout_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                             A_long time_step, A_u_long time_scale, PF_ParamDef* param);
    PF_Err (*checkin_param)(PF_ProgPtr effect_ref, PF_ParamDef* param);
    PF_Err (*add_param)(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDef* def);
    /* Non-zero means the user asked to stop. */
    PF_Err (*progress)(PF_ProgPtr effect_ref, A_long current, A_long total);
} PF_InteractCallbacks;

/* The C library as the host lends it to modules. */
typedef struct {
    A_char* (*strcpy)(A_char* dest, const A_char* src);
    A_long (*sprintf)(A_char* buffer, const A_char* format, ...);
    double (*ceil)(double value);
    double (*fabs)(double value);
} PF_ANSICallbacks;

typedef struct {
    /* Whole-world copy when both rectangles are null. */
    PF_Err (*copy)(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst,
                   const PF_Rect* src_r, const PF_Rect* dst_r);
    /* Answer a pixel pointer only for a world of that depth, null otherwise. */
    PF_Err (*get_pixel_data8)(PF_EffectWorld* world, PF_Pixel8** pixels);
    PF_Err (*get_pixel_data16)(PF_EffectWorld* world, PF_Pixel16** pixels);
    PF_Err (*get_pixel_data_float)(PF_EffectWorld* world, PF_PixelFloat** pixels);

    PF_Handle (*host_new_handle)(A_u_longlong size);
    void* (*host_lock_handle)(PF_Handle handle);
    void (*host_unlock_handle)(PF_Handle handle);
    void (*host_dispose_handle)(PF_Handle handle);
    A_u_longlong (*host_get_handle_size)(PF_Handle handle);
    PF_Err (*host_resize_handle)(A_u_longlong new_size, PF_Handle* handle);

    /* PF_PlatData_EXE_FILE_PATH writes the module file's full path into a 512-byte buffer. */
    PF_Err (*get_platform_data)(PF_ProgPtr effect_ref, PF_PlatDataID which, void* data);

    PF_ANSICallbacks ansi;
} PF_UtilCallbacks;

typedef struct PF_InData {
    PF_InteractCallbacks inter;
    PF_UtilCallbacks* utils;
    PF_ProgPtr effect_ref;
    A_long current_time;
    A_long time_step;
    A_u_long time_scale;
    A_long width; /* layer size in pixels at the current resolution */
    A_long height;
    PF_Rect extent_hint;
    PF_RationalScale downsample_x;
    PF_RationalScale downsample_y;
    PF_Handle sequence_data;
    /* What the module left in the out-record's global_data, passed back on every command. */
    PF_Handle global_data;
    SPBasicSuite* pica_basicP;
} PF_InData;

typedef struct PF_OutData {
    A_u_long my_version;
    A_long num_params;
    PF_Handle sequence_data;
    PF_Handle global_data;
    PF_OutFlags out_flags;
    PF_OutFlags2 out_flags2;
    A_char return_msg[PF_MAX_RETURN_MSG_LEN + 1];
} PF_OutData;

/* `extra` of PF_Cmd_USER_CHANGED_PARAM. */
typedef struct {
    PF_ParamIndex param_index;
} PF_UserChangedParamExtra;

/* The exported entry point every module answers the host through. */
typedef PF_Err (*PF_EffectMain)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                PF_ParamDef* params[], PF_LayerDef* output, void* extra);

#define PF_ENTRY_POINT_NAME "main"

#ifdef __cplusplus
}
#endif

#endif
