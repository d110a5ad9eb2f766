// What the plug-in tells the host about itself: the effect (describe), and its clips and
// parameters in each context it supports (describe in context).
#ifndef QB_OFX_EFFECT_DESCRIPTION_H
#define QB_OFX_EFFECT_DESCRIPTION_H

#include "ofx/host_suites.h"
#include "session/effect_declarations.h"

namespace qb_ofx {

inline constexpr const char kPluginIdentifier[] = "org.quillbloom.DepthOfField";
inline constexpr const char kPluginLabel[] = "Quillbloom Depth of Field";
inline constexpr const char kPluginGrouping[] = "Filter/Blur";
inline constexpr unsigned int kPluginVersionMajor = QB_VERSION_MAJOR;
inline constexpr unsigned int kPluginVersionMinor = QB_VERSION_MINOR;
// The optional input of the general context that tells each pixel's distance.
inline constexpr const char kDepthClipName[] = "Depth";

void describe(const HostSuites& suites, OfxImageEffectHandle effect);

// Throws OfxFailure (unsupported) for a context the effect does not work in.
void describe_in_context(const HostSuites& suites, OfxImageEffectHandle effect,
                         OfxPropertySetHandle in_args,
                         const session::EffectDeclarations& declarations);

}  // namespace qb_ofx

#endif
