// An image the host lent the plug-in, described by plain values read from its property set, so
// that the pixel code needs neither the host nor its suites.
//
// Principles shared by the bundle's sources: a failure that the user should hear about is thrown
// as session::SessionError (or OfxFailure, for one of the host's own statuses) and turned into a
// message and a status in one place, the entry point; pixels live in host::Worlds or in the
// host's images, never in buffers freed by hand; nothing on the render path is shared between
// instances except read-only tables learnt at load.
#ifndef QB_OFX_IMAGE_VIEW_H
#define QB_OFX_IMAGE_VIEW_H

#include <cstddef>
#include <optional>

#include "ofx/api/ofx_core.h"

namespace qb_ofx {

enum class PixelDepth { kByte, kShort, kFloat };
enum class Components { kRGBA, kRGB };

struct ImageView {
    void* data = nullptr;  // the pixel at (bounds.x1, bounds.y1)
    OfxRectI bounds{};
    int row_bytes = 0;  // negative when rows run downwards in memory
    PixelDepth depth = PixelDepth::kByte;
    Components components = Components::kRGBA;
    bool premultiplied = false;

    int width() const { return bounds.x2 - bounds.x1; }
    int height() const { return bounds.y2 - bounds.y1; }
};

// The depth and components named by the standard's strings; nothing for those the effect does
// not take (half floats, alpha alone, none).
std::optional<PixelDepth> pixel_depth_named(const char* name);
std::optional<Components> components_named(const char* name);

std::size_t channel_count(Components components);
std::size_t sample_size(PixelDepth depth);

// The first byte of pixel (x, y), both in the image's own coordinates; the caller keeps them
// within bounds.
unsigned char* pixel_address(const ImageView& image, int x, int y);

}  // namespace qb_ofx

#endif
