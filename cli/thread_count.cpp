#include "cli/thread_count.h"

#include <omp.h>
#include <sched.h>

#include <charconv>

namespace cli {
namespace {

int positive_number(const std::string& text) {
    int value = 0;
    const auto [at, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && at == text.data() + text.size() && value > 0 ? value : 0;
}

int affinity_cpus() {
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (sched_getaffinity(0, sizeof cpus, &cpus) != 0) {
        return 1;
    }
    return std::max(CPU_COUNT(&cpus), 1);
}

}  // namespace

int scheduled_thread_count(const std::map<std::string, std::string>& environment) {
    if (environment.count("OMP_NUM_THREADS")) {
        return 0;
    }
    const auto slurm = environment.find("SLURM_CPUS_PER_TASK");
    if (slurm != environment.end()) {
        if (const int cpus = positive_number(slurm->second)) {
            return cpus;
        }
    }
    return affinity_cpus();
}

void apply_thread_count(const std::map<std::string, std::string>& environment) {
    if (const int threads = scheduled_thread_count(environment)) {
        omp_set_num_threads(threads);
    }
}

}  // namespace cli
