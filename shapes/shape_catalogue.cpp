#include "shapes/shape_catalogue.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace {

constexpr std::string_view kTiffExtension = ".tif";
constexpr char kChoiceSeparator = '|';

bool has_tiff_extension(const std::string& name) {
    if (name.size() < kTiffExtension.size()) {
        return false;
    }
    const std::size_t start = name.size() - kTiffExtension.size();
    for (std::size_t i = 0; i < kTiffExtension.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[start + i]);
        if (static_cast<char>(std::tolower(c)) != kTiffExtension[i]) {
            return false;
        }
    }
    return true;
}

// The size a file name gives: its stem read as the C library reads a decimal integer (leading
// blanks, a sign, digits up to the first other character; 0 without digits).
long size_from_name(const std::string& name) {
    const std::string stem = name.substr(0, name.size() - kTiffExtension.size());
    return std::strtol(stem.c_str(), nullptr, 10);
}

// Appends `name` to the choice string unless that would pass the limit.
bool append_choice(char* choices, const std::string& name) {
    const std::size_t used = std::strlen(choices);
    const std::size_t separator = used > 0 ? 1 : 0;
    if (used + separator + name.size() > static_cast<std::size_t>(kShapeChoiceLimit)) {
        return false;
    }
    if (separator) {
        choices[used] = kChoiceSeparator;
    }
    std::memcpy(choices + used + separator, name.c_str(), name.size() + 1);
    return true;
}

}  // namespace

int16_t list_shape_folders(const char* pattern_folder, const char* preferred,
                           char (*names)[platform::kPathBufferSize], char* choice_string,
                           int* preferred_position) {
    char choices[kShapeChoiceLimit + 1] = {};
    int position = -1;
    int16_t count = 0;

    if (const auto entries = platform::list_folder(pattern_folder)) {
        for (const platform::FolderEntry& entry : *entries) {
            if (count >= kMaxShapeFolders) {
                break;
            }
            // A name holding the separator would read as two choices.
            if (!entry.is_folder || entry.name.find(kChoiceSeparator) != std::string::npos) {
                continue;
            }
            if (!append_choice(choices, entry.name)) {
                break;
            }
            std::memcpy(names[count], entry.name.c_str(), entry.name.size() + 1);
            if (entry.name == preferred) {
                position = count;
            }
            ++count;
        }
    }
    if (choice_string) {
        std::memcpy(choice_string, choices, sizeof choices);
    }
    if (preferred_position) {
        *preferred_position = position;
    }
    return count;
}

int find_shape_size_file(const char* folder, int requested_size, char* chosen_path) {
    const auto entries = platform::list_folder(folder);
    if (!entries) {
        return 0;
    }
    unsigned long best = 999999;
    for (const platform::FolderEntry& entry : *entries) {
        if (entry.is_folder || !has_tiff_extension(entry.name)) {
            continue;
        }
        const long size = size_from_name(entry.name);
        if (size < requested_size) {
            continue;
        }
        // Exact even when the name reads as the largest number there is.
        const unsigned long surplus =
            static_cast<unsigned long>(size) - static_cast<unsigned long>(long{requested_size});
        if (surplus >= best) {
            continue;
        }
        char path[platform::kPathBufferSize];
        const int length = std::snprintf(path, sizeof path, "%s%c%s", folder,
                                         platform::kPathSeparator, entry.name.c_str());
        if (length < 0 || length >= platform::kPathBufferSize) {
            continue;
        }
        best = surplus;
        std::memcpy(chosen_path, path, static_cast<std::size_t>(length) + 1);
    }
    return 0;
}
