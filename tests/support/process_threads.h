// The threads of this process, as the system lists them: tests count them to see threads kept
// and ended.
#ifndef QB_TESTS_SUPPORT_PROCESS_THREADS_H
#define QB_TESTS_SUPPORT_PROCESS_THREADS_H

#include <dirent.h>

namespace qb_test {

inline int process_threads() {
    int threads = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            threads += entry->d_name[0] != '.';
        }
        closedir(tasks);
    }
    return threads;
}

}  // namespace qb_test

#endif
