/* The host's basic suite: the door to every named suite (the About box's dialog suites among
 * them). */
#ifndef QB_SDK_PF_SUITES_H
#define QB_SDK_PF_SUITES_H

#include "sdk/pf_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long SPErr;
enum { kSPNoError = 0, kSPSuiteNotFoundError = 0x53214e46 /* '!SNF' */ };

typedef struct SPBasicSuite {
    /* Fills *suite with the suite's function table, or leaves it null when the host has none. */
    SPErr (*AcquireSuite)(const char* name, A_long version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, A_long version);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif

#endif
