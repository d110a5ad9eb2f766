// The process's memory as the kernel counts it, for benchmarks that report what a render takes.
#ifndef QB_BENCH_SUPPORT_BENCH_MEMORY_H
#define QB_BENCH_SUPPORT_BENCH_MEMORY_H

#include <optional>
#include <string>

namespace bench {

// A memory figure of /proc/self/status ("VmHWM", "VmRSS") in megabytes; nullopt without it.
std::optional<double> status_megabytes(const std::string& field);

// Lowers the kernel's high-water mark (VmHWM) to what is resident now, so that a peak measured
// afterwards is that of what follows.
void reset_peak_memory();

}  // namespace bench

#endif
