/* Scalar types, result codes, command selectors and flags of the host's effect protocol.
 * Every value here is part of the protocol: a host and a module built apart must agree on it. */
#ifndef QB_SDK_PF_TYPES_H
#define QB_SDK_PF_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef uint64_t A_u_longlong;
typedef char A_char;
typedef unsigned char PF_Boolean;

/* 16.16 fixed point: 1.0 is 0x10000. */
typedef A_long PF_Fixed;
#define PF_FIXED_ONE 0x10000

typedef A_long PF_Err;
enum {
    PF_Err_NONE = 0,
    PF_Err_OUT_OF_MEMORY = 4,
    PF_Err_INVALID_INDEX = 513,
    PF_Err_BAD_CALLBACK_PARAM = 516,
    PF_Interrupt_CANCEL = 517
};

typedef A_long PF_Cmd;
enum {
    PF_Cmd_ABOUT = 0,
    PF_Cmd_GLOBAL_SETUP = 1,
    PF_Cmd_RESERVED_2 = 2, /* reserved by the host; a module answers 0 */
    PF_Cmd_GLOBAL_SETDOWN = 3,
    PF_Cmd_PARAMS_SETUP = 4,
    PF_Cmd_SEQUENCE_SETUP = 5,
    PF_Cmd_SEQUENCE_RESETUP = 6,
    PF_Cmd_SEQUENCE_FLATTEN = 7,
    PF_Cmd_SEQUENCE_SETDOWN = 8,
    PF_Cmd_DO_DIALOG = 9,
    PF_Cmd_FRAME_SETUP = 10,
    PF_Cmd_RENDER = 11,
    PF_Cmd_FRAME_SETDOWN = 12,
    PF_Cmd_USER_CHANGED_PARAM = 13,
    PF_Cmd_UPDATE_PARAMS_UI = 14,
    PF_Cmd_EVENT = 15,
    PF_Cmd_NUM_CMDS = 16
};

typedef A_long PF_OutFlags;
enum {
    PF_OutFlag_NONE = 0,
    PF_OutFlag_KEEP_RESOURCE_OPEN = 0x1,
    PF_OutFlag_USE_OUTPUT_EXTENT = 0x40,
    PF_OutFlag_DISPLAY_ERROR_MESSAGE = 0x100,
    PF_OutFlag_REFRESH_UI = 0x20000
};

/* Set at global setup by a module that renders float worlds. */
typedef A_long PF_OutFlags2;
enum { PF_OutFlag2_NONE = 0, PF_OutFlag2_FLOAT_COLOR_AWARE = 0x1 };

typedef A_long PF_PlatDataID;
enum { PF_PlatData_EXE_FILE_PATH = 1 };

/* The module's own version as the host sees it: 8.0. */
#define QB_EFFECT_VERSION 0x00080000

/* Opaque references owned by the host. */
typedef struct PF_ProgressInfo* PF_ProgPtr;
typedef struct PF_HandleRecord* PF_Handle;

typedef struct {
    A_long num;
    A_u_long den; /* read as unsigned */
} PF_RationalScale;

/* Signed 16-bit rectangle; right and bottom are exclusive. */
typedef struct {
    A_short top, left, bottom, right;
} PF_Rect;

typedef struct {
    A_long left, top, right, bottom;
} PF_LRect;

#ifdef __cplusplus
}
#endif

#endif
