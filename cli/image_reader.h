// Reading image files (PNG, TIFF, JPEG, EXR, Radiance HDR, PFM and whatever else the image
// library knows) into the host's worlds, along the pixel path that the file and --light choose
// (pixel_path.h):
// - stored: 8-bit and 16-bit worlds holding the values as the file stores them;
// - display: a 16-bit world of float values clamped to 0..1;
// - light: a float world of straight scene-linear light (session/scene_light.h): NaN, infinities
// and
//   negative values cleaned, colour divided by alpha where the file stores it multiplied.
// Worlds hold the file's data window; frame_layers.h places them in the frame. Deep files are
// flattened. Failures throw SessionError (bad input) naming the file.
#ifndef QB_CLI_IMAGE_READER_H
#define QB_CLI_IMAGE_READER_H

#include <memory>
#include <string>
#include <vector>

#include "cli/frame_geometry.h"
#include "cli/pixel_path.h"
#include "host/world.h"

namespace cli {

// What a file holds, from its header alone (its first part, for files of several).
struct ImageHeader {
    std::string path;
    PixelWindow data;     // where the stored pixels lie
    PixelWindow display;  // what the picture shows
    std::vector<std::string> channel_names;
    int alpha_channel = -1;  // -1: none
    SampleKind sample = SampleKind::k8;
    bool associated_alpha = false;  // colour stored multiplied by alpha: EXR always
};

ImageHeader read_header(const std::string& path);

struct ColourPicture {
    std::unique_ptr<host::World> world;
    PixelPath path = PixelPath::stored;
    long cleaned_pixels = 0;  // light path: pixels that were not light (session/scene_light.h)
};

// The file's colour and alpha as an ARGB world. Grey files fill all three colours; files without
// alpha get opaque alpha.
ColourPicture read_colour(const ImageHeader& header, LightMode mode);

// A Distance Layer: the file's red channel, or the only channel of a grey file, in the red of a
// world (the other channels repeat it; alpha is opaque). Float files give 16-bit worlds through
// the nearest 16-bit file value, so a float file and a 16-bit file of the same values give the
// same distances.
std::unique_ptr<host::World> read_distance_layer(const ImageHeader& header);

// The parts of a file (the subimages of the image library; one for most formats), with the
// names of their channels.
struct ImagePart {
    std::string name;
    std::vector<std::string> channel_names;
};

std::vector<ImagePart> read_parts(const std::string& path);

struct ChannelRef {
    int part = 0;
    int channel = 0;
};

struct ChannelValues {
    std::vector<float> values;  // row by row over `data`
    PixelWindow data;           // the part's data window
};

// One channel of one part at the file's own values (for depth passes).
ChannelValues read_channel(const std::string& path, const ChannelRef& channel);

}  // namespace cli

#endif
