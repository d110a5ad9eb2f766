// Folder listing and file tests. Names come back sorted byte-wise, because directory order on
// Linux is undefined and stored "Iris Shape" values are positions in such a listing.
#ifndef QB_PLATFORM_FILE_SYSTEM_H
#define QB_PLATFORM_FILE_SYSTEM_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr char kPathSeparator = '/';
// Paths and names are built in buffers of this size, terminator included, as the host's own
// records hold them.
inline constexpr int kPathBufferSize = 512;

struct FolderEntry {
    std::string name;
    bool is_folder = false;
};

// Every entry of `folder` except "." and "..", or nothing when the folder cannot be read.
std::optional<std::vector<FolderEntry>> list_folder(const char* folder);

// True when `path` names a regular file that can be opened for reading. A folder does not
// count, as it would not on the system the effect was first made for.
bool file_readable(const char* path);

// What tells one version of a file or folder from another: where it lives, its size and when it
// was last modified (a folder is modified when an entry is added, removed or renamed).
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modified_ns = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of `path`, or nothing when it cannot be examined.
std::optional<FileStamp> file_stamp(const char* path);

}  // namespace platform

#endif
