#include "platform/file_system.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace platform {
namespace {

bool is_folder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<std::vector<FolderEntry>> list_folder(const char* folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder), closedir);
    if (!dir) {
        return std::nullopt;
    }
    std::vector<FolderEntry> entries;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        entries.push_back({name, is_folder(std::string(folder) + kPathSeparator + name)});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

bool file_readable(const char* path) {
    if (is_folder(path)) {
        return false;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        return false;
    }
    std::fclose(file);
    return true;
}

std::optional<FileStamp> file_stamp(const char* path) {
    constexpr int64_t kNanosecondsPerSecond = 1000000000;
    struct stat info {};
    if (stat(path, &info) != 0) {
        return std::nullopt;
    }
    return FileStamp{
        static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
        static_cast<int64_t>(info.st_size),
        static_cast<int64_t>(info.st_mtim.tv_sec) * kNanosecondsPerSecond + info.st_mtim.tv_nsec};
}

}  // namespace platform
