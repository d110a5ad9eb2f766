// The tool's image and depth reading on arbitrary bytes under each extension it reads: a picture,
// a Distance Layer and a depth pass from the same file. A file the tool cannot use must end in
// its one-line error, never in a crash, a hang or a world of the wrong size.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "cli/depth_pass.h"
#include "cli/image_reader.h"
#include "fuzz/scratch_file.h"
#include "session/session_error.h"

namespace {

constexpr std::array<const char*, 8> kExtensions = {".png", ".tif", ".jpg", ".exr",
                                                    ".gif", ".ppm", ".hdr", ".pfm"};

constexpr int64_t kLargestPixelCount = int64_t{1} << 22;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool is_data_window_sized(const host::World& world, const cli::ImageHeader& header) {
    return world.width() == header.data.width && world.height() == header.data.height;
}

void read_everything(const std::string& path) {
    const cli::ImageHeader header = cli::read_header(path);
    // Larger claims are read for their header only: filling hundreds of megabytes for every input
    // would leave the fuzzer a few inputs a second. The header's own limit is tested above it.
    const cli::PixelWindow frame = cli::union_of(header.data, header.display);
    if (static_cast<int64_t>(frame.width) * frame.height > kLargestPixelCount) {
        return;
    }
    for (const cli::LightMode mode :
         {cli::LightMode::automatic, cli::LightMode::linear, cli::LightMode::display}) {
        require(is_data_window_sized(*cli::read_colour(header, mode).world, header));
    }
    require(is_data_window_sized(*cli::read_distance_layer(header), header));
    if (cli::find_depth_channel(cli::read_parts(path), "")) {
        const cli::DepthPass depth =
            cli::read_depth_pass(path, "", session::DepthRange{1.0, 100.0, false});
        require(depth.layer->width() == depth.data.width &&
                depth.layer->height() == depth.data.height);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks the extension; the rest is the file.
    const std::string path =
        fuzz::write_scratch_file(kExtensions[data[0] % kExtensions.size()], data + 1, size - 1);
    try {
        read_everything(path);
    } catch (const session::SessionError& error) {
        require(error.kind() == session::FailureKind::bad_input);
    } catch (const std::bad_alloc&) {
        // A header may claim any size up to the effect's limit; the tool reports the memory it
        // could not have (the fuzzer's allocator refuses what exceeds its limit).
    }
    return 0;
}
