/* The progress suite: a bar the host shows while a render runs. progressUpdate answers
 * kOfxStatReplyNo when the user asked to stop. */
#ifndef QB_OFX_API_OFX_PROGRESS_SUITE_H
#define QB_OFX_API_OFX_PROGRESS_SUITE_H

#include "ofx/api/ofx_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxProgressSuite "OfxProgressSuite"
#define kOfxProgressSuiteVersion 1

typedef struct OfxProgressSuiteV1 {
    OfxStatus (*progressStart)(void* effectInstance, const char* label);
    /* progress runs from 0 to 1. */
    OfxStatus (*progressUpdate)(void* effectInstance, double progress);
    OfxStatus (*progressEnd)(void* effectInstance);
} OfxProgressSuiteV1;

#ifdef __cplusplus
}
#endif

#endif
