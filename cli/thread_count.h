// How many threads the effect may use: the CPUs a scheduler gave the task. OMP_NUM_THREADS, when
// set, wins; else SLURM_CPUS_PER_TASK; else the CPUs this process may run on.
#ifndef QB_CLI_THREAD_COUNT_H
#define QB_CLI_THREAD_COUNT_H

#include <map>
#include <string>

namespace cli {

// The count the rule above gives, or 0 when OMP_NUM_THREADS decides (the runtime reads it).
int scheduled_thread_count(const std::map<std::string, std::string>& environment);

// Applies the count to the OpenMP runtime the module shares with this program.
void apply_thread_count(const std::map<std::string, std::string>& environment);

}  // namespace cli

#endif
