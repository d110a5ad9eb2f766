// Writing the host's worlds to image files, in the format the file name asks for, so that the
// output repeats what its input was (OutputTraits): its data and display windows, where the
// format keeps them; its kind of samples; its transfer curve. By pixel path (pixel_path.h):
// - stored: 8-bit and 16-bit files where the format has them (PNG, TIFF), 8 bits where it has
//   nothing deeper (JPEG), half floats in EXR, values as they came;
// - display: as stored, but in EXR at the input's float type;
// - light: floats where the format holds them (EXR, TIFF, HDR), at the input's float type (half
//   or full; half for an 8-bit or 16-bit input), unless the traits ask for another. An 8-bit or
//   16-bit input decoded from sRGB goes back through the curve to its own depth in any format
//   that holds integers. Elsewhere (PNG, JPEG) light is clamped to 0..1 at 16 bits.
// EXR stores colour multiplied by alpha: straight colour (light and display paths) is multiplied
// on the way out (session/scene_light.h). Files appear complete or not at all.
#ifndef QB_CLI_IMAGE_WRITER_H
#define QB_CLI_IMAGE_WRITER_H

#include <optional>
#include <string>

#include "cli/frame_geometry.h"
#include "cli/pixel_path.h"
#include "host/world.h"

namespace cli {

// What an output repeats of its input.
struct OutputTraits {
    FrameGeometry geometry;  // at render resolution; the world covers geometry.frame
    PixelPath path = PixelPath::stored;
    SampleKind input_sample = SampleKind::k8;
    bool with_alpha = false;
    std::optional<SampleKind> float_type;  // kHalf or kFloat: float outputs at this type
};

// A picture made by the tool itself, with no input to repeat.
OutputTraits plain_output(const host::World& world);

// The image library's name for the format `path` asks for ("png", "openexr", ...). Throws
// SessionError (bad input) with the library's reason when it cannot write such a file.
std::string output_format_for(const std::string& path);

// Writes `world` to `path`. Throws SessionError (bad input) when the file cannot be written; an
// existing file is then untouched.
void write_world(const host::World& world, const std::string& path, const OutputTraits& traits);

}  // namespace cli

#endif
