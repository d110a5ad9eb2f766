// One frame: the source (and Depth) images in, the effect session's render, the output image
// out. The host's progress bar follows the module's progress, and the host's abort request
// stops the render at the module's next progress report, leaving the output unwritten.
#ifndef QB_OFX_RENDER_ACTION_H
#define QB_OFX_RENDER_ACTION_H

#include <filesystem>

#include "ofx/host_suites.h"
#include "session/effect_declarations.h"

namespace qb_ofx {

// Throws session::SessionError (the effect's own failures, and cancelled on abort) or
// OfxFailure (the host's images).
void render_frame(const HostSuites& suites, OfxImageEffectHandle effect,
                  OfxPropertySetHandle in_args, const session::EffectDeclarations& declarations,
                  const std::filesystem::path& module);

}  // namespace qb_ofx

#endif
