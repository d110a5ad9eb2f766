// Writes the shape library: <pattern folder>/<shape>/<size>.tif for every shipped shape.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/iris_shapes.h"
#include "tools/shape_raster.h"
#include "tools/tiff_writer.h"

namespace {

bool write_shape(const std::filesystem::path& folder, const shape_library::IrisShape& shape) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "shape_generator: cannot create %s: %s\n", folder.c_str(),
                     error.message().c_str());
        return false;
    }
    for (const int size : shape_library::kLibrarySizes) {
        const tiff_writer::TiffLayout layout{
            .width = static_cast<uint32_t>(size),
            .height = static_cast<uint32_t>(size),
            .samples_per_pixel = static_cast<uint16_t>(shape.channels.size()),
            .deflate = true,
        };
        const std::filesystem::path file = folder / (std::to_string(size) + ".tif");
        if (!tiff_writer::write_tiff(file.c_str(), layout,
                                     shape_library::shape_samples(shape, size))) {
            std::fprintf(stderr, "shape_generator: cannot write %s\n", file.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: shape_generator <pattern folder>\n");
        return 2;
    }
    const std::filesystem::path pattern_folder = argv[1];
    for (const shape_library::IrisShape& shape : shape_library::library_shapes()) {
        if (!write_shape(pattern_folder / shape.name, shape)) {
            return 1;
        }
    }
    return 0;
}
