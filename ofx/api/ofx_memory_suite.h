/* The memory suite: scratch memory from the host's own pool. */
#ifndef QB_OFX_API_OFX_MEMORY_SUITE_H
#define QB_OFX_API_OFX_MEMORY_SUITE_H

#include "ofx/api/ofx_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxMemorySuite "OfxMemorySuite"
#define kOfxMemorySuiteVersion 1

typedef struct OfxMemorySuiteV1 {
    /* handle is the effect instance the memory is charged to, or null. */
    OfxStatus (*memoryAlloc)(void* handle, size_t nBytes, void** allocatedData);
    OfxStatus (*memoryFree)(void* allocatedData);
} OfxMemorySuiteV1;

#ifdef __cplusplus
}
#endif

#endif
