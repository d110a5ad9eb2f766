// Which way a picture's pixels go through the effect, chosen from what the file stores and how
// the user asks its values to be taken (--light):
// - stored: 8-bit and 16-bit files as they are, into worlds of their own depth and back;
// - display: a float file as a display-referred picture, clamped into a 16-bit world;
// - light: scene-linear float worlds, from float files as they are, or from 8-bit and 16-bit
//   files decoded from their sRGB transfer curve (and encoded again on the way out).
#ifndef QB_CLI_PIXEL_PATH_H
#define QB_CLI_PIXEL_PATH_H

namespace cli {

// How a file stores its channel values.
enum class SampleKind { k8, k16, kHalf, kFloat };

constexpr bool is_float(SampleKind sample) {
    return sample == SampleKind::kHalf || sample == SampleKind::kFloat;
}

// --light: how the values of a file are taken.
enum class LightMode {
    automatic,  // float files as light, 8-bit and 16-bit files as stored
    linear,     // every file as light, 8-bit and 16-bit ones decoded from sRGB
    display,    // every file as a display-referred picture, float ones clamped to 16 bits
};

enum class PixelPath { stored, display, light };

constexpr PixelPath pixel_path_for(SampleKind sample, LightMode mode) {
    if (mode == LightMode::display) {
        return is_float(sample) ? PixelPath::display : PixelPath::stored;
    }
    if (mode == LightMode::linear || is_float(sample)) {
        return PixelPath::light;
    }
    return PixelPath::stored;
}

// Whether the picture's light was decoded from a transfer curve that its output encodes again.
constexpr bool decodes_srgb(SampleKind sample, PixelPath path) {
    return path == PixelPath::light && !is_float(sample);
}

}  // namespace cli

#endif
