// How a Depth input's pixels become the effect's Distance Layer. The effect takes distances as
// levels with white near; depth passes come in other conventions: in another channel, with white
// far, or as depths in scene units, which map to 255 (near plane) .. 0 (far plane) exactly as
// the tool's --near/--far/--invert map them.
#ifndef QB_OFX_DEPTH_CONVENTIONS_H
#define QB_OFX_DEPTH_CONVENTIONS_H

#include <array>
#include <memory>
#include <optional>

#include "host/world.h"
#include "ofx/image_view.h"
#include "session/depth_range.h"

namespace qb_ofx {

enum class DepthChannel { kRed, kGreen, kBlue, kAlpha, kLuminance };

// The menu texts of the channels, in the enumeration's order.
inline constexpr std::array<const char*, 5> kDepthChannelNames = {"Red", "Green", "Blue", "Alpha",
                                                                  "Luminance"};

struct DepthConventions {
    DepthChannel channel = DepthChannel::kRed;
    bool white_is_near = true;  // off: white is far; in scene units, as the tool's --invert
    std::optional<session::DepthRange> scene_units;  // depths between a near and a far plane
};

// The value of `channel` of a pixel given as red, green, blue, alpha in the image's own units.
double channel_value(const std::array<double, 4>& rgba, DepthChannel channel);

// The Distance Layer of `depth`: an 8-bit world from bytes or scene units, else a 16-bit world,
// so that no level of a short or float input is lost. Grey, opaque.
std::unique_ptr<host::World> distance_world(const ImageView& depth,
                                            const DepthConventions& conventions);

}  // namespace qb_ofx

#endif
