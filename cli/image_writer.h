// Writing the host's worlds to image files, in the format the file name asks for. 16-bit worlds
// go to 16-bit files where the format has them (PNG, TIFF), to half floats in EXR, and to 8 bits
// where the format has nothing deeper (JPEG). Files appear complete or not at all.
#ifndef QB_CLI_IMAGE_WRITER_H
#define QB_CLI_IMAGE_WRITER_H

#include <string>

#include "host/world.h"

namespace cli {

// The image library's name for the format `path` asks for ("png", "openexr", ...). Throws
// SessionError (bad input) when no format goes with its extension.
std::string output_format_for(const std::string& path);

// Writes `world` to `path`, with alpha when `with_alpha` and the format can hold it. Throws
// SessionError (bad input) when the file cannot be written; an existing file is then untouched.
void write_world(const host::World& world, const std::string& path, bool with_alpha);

}  // namespace cli

#endif
