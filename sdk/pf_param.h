/* Parameter records: what a module declares with add_param and what the host hands back. */
#ifndef QB_SDK_PF_PARAM_H
#define QB_SDK_PF_PARAM_H

#include "sdk/pf_world.h"

#ifdef __cplusplus
extern "C" {
#endif

#define PF_MAX_EFFECT_PARAM_NAME_LEN 31
#define PF_MAX_SLIDER_STRING_LEN 31

typedef A_long PF_ParamType;
enum {
    PF_Param_LAYER = 0,
    PF_Param_SLIDER = 1,
    PF_Param_FIX_SLIDER = 2,
    PF_Param_CHECKBOX = 4,
    PF_Param_POINT = 6,
    PF_Param_POPUP = 7,
    PF_Param_GROUP_START = 13,
    PF_Param_GROUP_END = 14
};

typedef A_long PF_ParamFlags;
enum { PF_ParamFlag_NONE = 0, PF_ParamFlag_CANNOT_TIME_VARY = 0x2, PF_ParamFlag_SUPERVISE = 0x40 };

typedef A_long PF_ParamUIFlags;
enum { PF_PUI_NONE = 0, PF_PUI_ECW_SEPARATOR = 0x10 };

typedef A_long PF_ChangeFlags;
enum { PF_ChangeFlag_NONE = 0, PF_ChangeFlag_CHANGED_VALUE = 1 };

typedef A_long PF_ParamIndex;
enum { PF_ParamIndex_APPEND = -1 };

typedef struct {
    A_long value;
    A_char value_str[PF_MAX_SLIDER_STRING_LEN + 1];
    A_char value_desc[PF_MAX_SLIDER_STRING_LEN + 1];
    A_long valid_min, valid_max;
    A_long slider_min, slider_max;
    A_long dephault;
} PF_SliderDef;

typedef struct {
    PF_Fixed value;
    A_char value_str[PF_MAX_SLIDER_STRING_LEN + 1];
    A_char value_desc[PF_MAX_SLIDER_STRING_LEN + 1];
    PF_Fixed valid_min, valid_max;
    PF_Fixed slider_min, slider_max;
    PF_Fixed dephault;
    A_short precision; /* decimal places shown */
    A_short display_flags;
} PF_FixedSliderDef;

typedef struct {
    PF_Boolean value;
    PF_Boolean dephault;
    const A_char* nameptr; /* label beside the box */
} PF_CheckBoxDef;

typedef struct {
    PF_Fixed x_value, y_value;
    PF_Boolean restrict_bounds;
    PF_Fixed x_dephault, y_dephault;
} PF_PointDef;

typedef struct {
    A_long value; /* 1-based */
    A_short num_choices;
    A_short dephault;
    const A_char* namesptr; /* entries separated by '|' */
} PF_PopupDef;

typedef union {
    PF_LayerDef ld;
    PF_SliderDef sd;
    PF_FixedSliderDef fd;
    PF_CheckBoxDef bd;
    PF_PointDef td;
    PF_PopupDef pd;
} PF_ParamDefUnion;

typedef struct PF_ParamDef {
    PF_ParamType param_type;
    A_char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
    A_long id; /* persistent identifier */
    PF_ParamUIFlags ui_flags;
    PF_ParamFlags flags;
    PF_ChangeFlags change_flags;
    PF_ParamDefUnion u;
} PF_ParamDef;

typedef PF_ParamDef* PF_ParamList[];

#ifdef __cplusplus
}
#endif

#endif
