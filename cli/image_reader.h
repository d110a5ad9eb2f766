// Reading image files (PNG, TIFF, JPEG, EXR and whatever else the image library knows) into the
// host's worlds. 8-bit files become 8-bit worlds; deeper integer and float files become 16-bit
// worlds. Failures throw SessionError (bad input) naming the file.
#ifndef QB_CLI_IMAGE_READER_H
#define QB_CLI_IMAGE_READER_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/world.h"

namespace cli {

// How the file stores its channel values.
enum class SampleKind { k8, k16, kFloat };

// What a file holds, from its header alone.
struct ImageHeader {
    std::string path;
    int width = 0;
    int height = 0;
    std::vector<std::string> channel_names;
    int alpha_channel = -1;  // -1: none
    SampleKind sample = SampleKind::k8;
};

ImageHeader read_header(const std::string& path);

// The file's colour and alpha as an ARGB world. Grey files fill all three colours; files without
// alpha get opaque alpha.
std::unique_ptr<host::World> read_colour(const std::string& path);

// A Distance Layer: the file's red channel, or the only channel of a grey file, in the red of a
// world of the file's depth (the other channels repeat it; alpha is opaque).
std::unique_ptr<host::World> read_distance_layer(const std::string& path);

// One channel as floats, row by row, at the file's own values (for depth passes).
std::vector<float> read_channel(const ImageHeader& header, int channel);

// The channel `wanted` names: an exact name ("Z"), else one whose last dot-separated part is
// that name ("ViewLayer.Z"); case does not matter. With `wanted` empty, the first channel named
// Z or depth in either way.
std::optional<int> find_depth_channel(const ImageHeader& header, const std::string& wanted);

}  // namespace cli

#endif
