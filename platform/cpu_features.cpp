#include "platform/cpu_features.h"

namespace platform {

bool cpu_has_double_vectors() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

bool cpu_has_wide_double_vectors() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return cpu_has_double_vectors() && __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}

}  // namespace platform
