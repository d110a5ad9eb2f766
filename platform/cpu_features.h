#ifndef QB_PLATFORM_CPU_FEATURES_H
#define QB_PLATFORM_CPU_FEATURES_H

namespace platform {

// True when the processor offers the two-lane double-precision vector instructions (SSE2) that
// the vector gather kernel is written in.
bool cpu_has_double_vectors();

}  // namespace platform

#endif
