#include "cli/shapes_command.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <system_error>

#include "cli/exit_status.h"
#include "cli/image_reader.h"
#include "cli/image_writer.h"
#include "session/effect_session.h"
#include "session/session_error.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

// Shape files are named by their size in pixels: "31.tif".
std::vector<int> sizes_in(const fs::path& folder) {
    std::vector<int> sizes;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string stem = entry.path().stem().string();
        int size = 0;
        const auto [at, failed] = std::from_chars(stem.data(), stem.data() + stem.size(), size);
        if (failed == std::errc() && at == stem.data() + stem.size() &&
            entry.path().extension() == ".tif") {
            sizes.push_back(size);
        }
    }
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

fs::path pattern_folder(const fs::path& module) {
    return module.parent_path() / "pattern";
}

void write_picture(const fs::path& module, const ShapeListing& shape, const fs::path& folder,
                   int picture_size) {
    if (shape.sizes.empty()) {
        return;
    }
    const auto larger = std::lower_bound(shape.sizes.begin(), shape.sizes.end(), picture_size);
    const int size = larger == shape.sizes.end() ? shape.sizes.back() : *larger;
    const fs::path file = pattern_folder(module) / shape.name / fmt::format("{}.tif", size);
    const fs::path picture = folder / fmt::format("shape-{}.png", shape.name);
    const ColourPicture shape_picture =
        read_colour(read_header(file.string()), LightMode::automatic);
    write_world(*shape_picture.world, picture.string(), plain_output(*shape_picture.world));
    fmt::print("wrote {}\n", picture.string());
}

}  // namespace

std::vector<ShapeListing> list_shapes(const fs::path& module) {
    std::vector<ShapeListing> shapes;
    for (std::string& name : session::declared_shape_names(module)) {
        shapes.push_back({name, sizes_in(pattern_folder(module) / name)});
    }
    return shapes;
}

int run_shapes(const fs::path& module, const std::string& picture_folder, int picture_size) {
    const std::vector<ShapeListing> shapes = list_shapes(module);
    if (shapes.empty()) {
        session::fail_input(fmt::format("no iris shapes in {}", pattern_folder(module).string()));
    }
    fmt::print("Iris shapes in {} (sizes in pixels):\n", pattern_folder(module).string());
    for (const ShapeListing& shape : shapes) {
        fmt::print("  {:<10} {}\n", shape.name, fmt::join(shape.sizes, " "));
    }
    if (!picture_folder.empty()) {
        std::error_code error;
        fs::create_directories(picture_folder, error);
        for (const ShapeListing& shape : shapes) {
            write_picture(module, shape, picture_folder, picture_size);
        }
    }
    return kExitSuccess;
}

}  // namespace cli
