// The image library as the tool's reader and writer use it, under the tool's own names. The
// library calls a picture's description (size, channels, channel names, sample type, attributes)
// by a name of its own; the tool calls it a picture layout, and only this header uses the
// library's name.
#ifndef QB_CLI_IMAGE_LIBRARY_H
#define QB_CLI_IMAGE_LIBRARY_H

#include <OpenImageIO/imageio.h>

namespace oiio = OIIO;

namespace cli {

using PictureLayout = oiio::ImageSpec;

inline const PictureLayout& layout_of(const oiio::ImageInput& input) {
    return input.spec();
}

}  // namespace cli

#endif
