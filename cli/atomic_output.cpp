#include "cli/atomic_output.h"

#include <fmt/format.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "session/session_error.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

fs::path folder_of(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

fs::path temporary_beside(const fs::path& final_path) {
    static std::atomic<int> serial{0};
    const std::string name = fmt::format(".{}.part-{}-{}{}", final_path.stem().string(), getpid(),
                                         serial++, final_path.extension().string());
    return folder_of(final_path) / name;
}

}  // namespace

void require_output_folder(const fs::path& path) {
    std::error_code error;
    const fs::path folder = folder_of(path);
    if (!fs::is_directory(folder, error)) {
        session::fail_input(fmt::format("cannot write {}: the folder {} does not exist",
                                        path.string(), folder.string()));
    }
}

AtomicOutput::AtomicOutput(fs::path final_path)
    : final_(std::move(final_path)), temporary_(temporary_beside(final_)) {
    require_output_folder(final_);
}

AtomicOutput::~AtomicOutput() {
    if (!committed_) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
    }
}

void AtomicOutput::write(const std::vector<unsigned char>& bytes) const {
    std::FILE* file = std::fopen(temporary_.c_str(), "wb");
    if (file == nullptr) {
        session::fail_input(
            fmt::format("cannot write {}: {}", final_.string(), std::strerror(errno)));
    }
    const bool written =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    const int write_error = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        session::fail_input(fmt::format("cannot write {}: {}", final_.string(),
                                        std::strerror(written ? errno : write_error)));
    }
}

void AtomicOutput::commit() {
    std::error_code error;
    fs::rename(temporary_, final_, error);
    if (error) {
        session::fail_input(fmt::format("cannot write {}: {}", final_.string(), error.message()));
    }
    committed_ = true;
}

}  // namespace cli
