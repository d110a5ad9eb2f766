/* Our declarations of the OpenFX C API, written from the published standard: only what the
 * Quillbloom plug-in and a host that loads it use. The strings, codes and struct layouts are the
 * binary interface and must match the standard exactly; everything else here is ours.
 *
 * Shared by every header of this folder: a plug-in is a table of C function pointers, every
 * call answers with an OfxStatus, objects are opaque handles owned by the host, and properties
 * are named by the strings below. Nothing here allocates or throws. */
#ifndef QB_OFX_API_OFX_CORE_H
#define QB_OFX_API_OFX_CORE_H

#include <limits.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int OfxStatus;
typedef double OfxTime;
typedef struct OfxPropertySetStruct* OfxPropertySetHandle;

/* Status codes shared by hosts and plug-ins. */
#define kOfxStatOK 0
#define kOfxStatFailed ((int)1)
#define kOfxStatErrFatal ((int)2)
#define kOfxStatErrUnknown ((int)3)
#define kOfxStatErrMissingHostFeature ((int)4)
#define kOfxStatErrUnsupported ((int)5)
#define kOfxStatErrExists ((int)6)
#define kOfxStatErrFormat ((int)7)
#define kOfxStatErrMemory ((int)8)
#define kOfxStatErrBadHandle ((int)9)
#define kOfxStatErrBadIndex ((int)10)
#define kOfxStatErrValue ((int)11)
#define kOfxStatReplyYes ((int)12)
#define kOfxStatReplyNo ((int)13)
#define kOfxStatReplyDefault ((int)14)

/* Geometry. Rectangles are half open: x1 <= x < x2, y1 <= y < y2, y pointing up. */
typedef struct OfxPointI {
    int x, y;
} OfxPointI;
typedef struct OfxPointD {
    double x, y;
} OfxPointD;
typedef struct OfxRangeI {
    int min, max;
} OfxRangeI;
typedef struct OfxRangeD {
    double min, max;
} OfxRangeD;
typedef struct OfxRectI {
    int x1, y1, x2, y2;
} OfxRectI;
typedef struct OfxRectD {
    double x1, y1, x2, y2;
} OfxRectD;

/* An infinite region is flagged by these in its bounds. */
#define kOfxFlagInfiniteMin INT_MIN
#define kOfxFlagInfiniteMax INT_MAX

/* What the host hands a plug-in first: its own property set (the host descriptor) and the door
 * to every suite. fetchSuite answers null for a suite or version it does not have. */
typedef struct OfxHost {
    OfxPropertySetHandle host;
    const void* (*fetchSuite)(OfxPropertySetHandle host, const char* suiteName, int suiteVersion);
} OfxHost;

/* Every action reaches a plug-in through its one entry point; handle is the object acted on
 * (an OfxImageEffectHandle for image effects), null for load and unload. */
typedef OfxStatus(OfxPluginEntryPoint)(const char* action, const void* handle,
                                       OfxPropertySetHandle inArgs, OfxPropertySetHandle outArgs);

typedef struct OfxPlugin {
    const char* pluginApi;
    int apiVersion;
    const char* pluginIdentifier;
    unsigned int pluginVersionMajor;
    unsigned int pluginVersionMinor;
    /* Called before any action; the plug-in keeps the pointer and calls nothing yet. */
    void (*setHost)(OfxHost* host);
    OfxPluginEntryPoint* mainEntry;
} OfxPlugin;

/* The symbols a host looks up in the binary, by these names. OfxSetHost is optional for a host
 * to call; it may come before OfxGetPlugin. */
#define kOfxGetPluginSymbol "OfxGetPlugin"
#define kOfxGetNumberOfPluginsSymbol "OfxGetNumberOfPlugins"
#define kOfxSetHostSymbol "OfxSetHost"
typedef OfxPlugin* (*OfxGetPluginFunction)(int nth);
typedef int (*OfxGetNumberOfPluginsFunction)(void);
typedef OfxStatus (*OfxSetHostFunction)(const OfxHost* host);

/* Actions every kind of plug-in answers. */
#define kOfxActionLoad "OfxActionLoad"
#define kOfxActionUnload "OfxActionUnload"
#define kOfxActionDescribe "OfxActionDescribe"
#define kOfxActionPurgeCaches "OfxActionPurgeCaches"
#define kOfxActionSyncPrivateData "OfxActionSyncPrivateData"
#define kOfxActionCreateInstance "OfxActionCreateInstance"
#define kOfxActionDestroyInstance "OfxActionDestroyInstance"
#define kOfxActionBeginInstanceChanged "OfxActionBeginInstanceChanged"
#define kOfxActionInstanceChanged "OfxActionInstanceChanged"
#define kOfxActionEndInstanceChanged "OfxActionEndInstanceChanged"
#define kOfxActionBeginInstanceEdit "OfxActionBeginInstanceEdit"
#define kOfxActionEndInstanceEdit "OfxActionEndInstanceEdit"

/* Properties general to many objects. */
#define kOfxPropAPIVersion "OfxPropAPIVersion"
#define kOfxPropTime "OfxPropTime"
#define kOfxPropIsInteractive "OfxPropIsInteractive"
#define kOfxPluginPropFilePath "OfxPluginPropFilePath"
#define kOfxPropInstanceData "OfxPropInstanceData"
#define kOfxPropType "OfxPropType"
#define kOfxPropName "OfxPropName"
#define kOfxPropVersion "OfxPropVersion"
#define kOfxPropVersionLabel "OfxPropVersionLabel"
#define kOfxPropPluginDescription "OfxPropPluginDescription"
#define kOfxPropLabel "OfxPropLabel"
#define kOfxPropShortLabel "OfxPropShortLabel"
#define kOfxPropLongLabel "OfxPropLongLabel"
#define kOfxPropChangeReason "OfxPropChangeReason"
#define kOfxPropEffectInstance "OfxPropEffectInstance"

/* Values of kOfxPropChangeReason. */
#define kOfxChangeUserEdited "OfxChangeUserEdited"
#define kOfxChangePluginEdited "OfxChangePluginEdited"
#define kOfxChangeTime "OfxChangeTime"

/* Pixel depths, the values of the pixel depth properties. */
#define kOfxBitDepthNone "OfxBitDepthNone"
#define kOfxBitDepthByte "OfxBitDepthByte"
#define kOfxBitDepthShort "OfxBitDepthShort"
#define kOfxBitDepthHalf "OfxBitDepthHalf"
#define kOfxBitDepthFloat "OfxBitDepthFloat"

#ifdef __cplusplus
}
#endif

#endif
