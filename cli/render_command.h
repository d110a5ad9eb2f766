// `quillbloom render`: a still or a sequence of frames from files, each frame one render command
// of one effect instance, every output written whole or not at all.
#ifndef QB_CLI_RENDER_COMMAND_H
#define QB_CLI_RENDER_COMMAND_H

#include <filesystem>
#include <optional>
#include <string>

#include "cli/frame_layers.h"
#include "cli/pixel_path.h"
#include "session/render_settings.h"

namespace cli {

struct RenderRequest {
    std::filesystem::path module;
    std::string input;                  // file name or frame pattern
    std::string distance;               // file name or frame pattern; empty: none
    std::string output;                 // file name or frame pattern
    std::optional<std::string> frames;  // FIRST-LAST, for patterns
    std::optional<std::string> chunk;   // I/N or auto
    bool skip_existing = false;
    DistanceSource distance_source;
    LightMode light = LightMode::automatic;
    std::optional<SampleKind> float_type;  // -d: half or float outputs
    session::RenderSettings settings;
};

// Renders what `request` asks for, reporting on standard error. A frame that fails does not stop
// the others. Answers the exit status: the first failure's, or cancelled. Throws SessionError for a
// request that cannot start (bad flags, unknown format, missing folder, refused controls).
int run_render(const RenderRequest& request);

}  // namespace cli

#endif
