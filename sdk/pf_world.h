/* Pixel worlds: the host's frames and layers, 8-bit, 16-bit or 32-bit float ARGB. */
#ifndef QB_SDK_PF_WORLD_H
#define QB_SDK_PF_WORLD_H

#include "sdk/pf_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    uint8_t alpha, red, green, blue;
} PF_Pixel8;

/* Channel values 0..32768. */
typedef struct {
    uint16_t alpha, red, green, blue;
} PF_Pixel16;

#define PF_MAX_CHAN16 32768

/* Scene-linear light: 1 is white, and values run beyond it. */
typedef struct {
    float alpha, red, green, blue;
} PF_PixelFloat;

/* The largest light a float channel carries into a render. A disc of the largest blur adds up
 * millions of cells of up to 255 each in float32, and stays finite below this; larger values
 * (and +Inf) count as this, negative ones, -Inf and NaN as 0. */
#define PF_FLOAT_LIGHT_MAX 1.0e20f

typedef A_long PF_WorldFlags;
enum {
    PF_WorldFlag_DEEP = 0x1, /* 16 bits a channel */
    PF_WorldFlag_FLOAT = 0x2 /* 32-bit float channels; a host offers these only to a module that
                                declared PF_OutFlag2_FLOAT_COLOR_AWARE */
};

/* A world, or the value of a layer parameter. `layer_marker` is non-zero when the parameter has
 * a layer assigned; the pixel fields describe that layer once it is checked out. */
typedef struct PF_LayerDef {
    A_long layer_marker;
    void* data;
    A_long rowbytes;
    A_long width;
    A_long height;
    PF_WorldFlags world_flags;
    PF_Rect extent_hint;
    A_long dephault; /* default layer of a layer parameter; PF_LayerDefault_NONE is no layer */
} PF_LayerDef;

typedef PF_LayerDef PF_EffectWorld;

enum { PF_LayerDefault_NONE = 0 };

#ifdef __cplusplus
}
#endif

#endif
