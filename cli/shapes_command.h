// `quillbloom shapes`: the iris shapes the module offers, each with the sizes its folder holds,
// and pictures of them for people who would rather look than read.
#ifndef QB_CLI_SHAPES_COMMAND_H
#define QB_CLI_SHAPES_COMMAND_H

#include <filesystem>
#include <string>
#include <vector>

namespace cli {

struct ShapeListing {
    std::string name;
    std::vector<int> sizes;  // pixels, ascending
};

// The shapes in the module's menu order, with the sizes found in its plug-in folder.
std::vector<ShapeListing> list_shapes(const std::filesystem::path& module);

// Prints the listing; with `picture_folder`, also writes one PNG a shape there
// ("shape-NAME.png", the file of `picture_size` pixels or the next larger one).
int run_shapes(const std::filesystem::path& module, const std::string& picture_folder,
               int picture_size);

}  // namespace cli

#endif
