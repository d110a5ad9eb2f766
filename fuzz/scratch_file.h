// A file of the fuzzer's bytes for code that reads files by name: one path per process and
// extension, in memory-backed /dev/shm where it exists, rewritten for every input.
#ifndef QB_FUZZ_SCRATCH_FILE_H
#define QB_FUZZ_SCRATCH_FILE_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace fuzz {

inline std::filesystem::path scratch_folder() {
    const std::filesystem::path shm = "/dev/shm";
    return std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
}

inline std::string write_scratch_file(const std::string& extension, const uint8_t* data,
                                      size_t size) {
    const std::string path =
        (scratch_folder() / ("qb_fuzz_" + std::to_string(getpid()) + extension)).string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::abort();
    }
    std::fclose(file);
    return path;
}

}  // namespace fuzz

#endif
