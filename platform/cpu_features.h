#ifndef QB_PLATFORM_CPU_FEATURES_H
#define QB_PLATFORM_CPU_FEATURES_H

namespace platform {

// True when the processor offers the four-lane double-precision vector instructions and fused
// multiply-add (AVX2, FMA) that the vector gather kernel is written in.
bool cpu_has_double_vectors();

// True when, besides those, the processor offers eight-lane double-precision vectors
// (AVX-512 F).
bool cpu_has_wide_double_vectors();

}  // namespace platform

#endif
