// `quillbloom demo`: renders the built-in night scene and says where the picture went.
#ifndef QB_CLI_DEMO_COMMAND_H
#define QB_CLI_DEMO_COMMAND_H

#include <filesystem>
#include <string>

#include "session/render_settings.h"

namespace cli {

// A JPEG: it is written in a tenth of the time a PNG of the same size takes.
inline constexpr const char kDemoOutput[] = "quillbloom-demo.jpg";
// The Bokeh Amount the demo renders at unless told another: a strong blur, as one would choose
// to show what the effect does. Focused on the target, the lights near and far open into discs
// about half as wide as this.
inline constexpr double kDemoAmount = 140;

struct DemoRequest {
    std::filesystem::path module;
    std::string output = kDemoOutput;
    std::string scene_folder;  // when set, the scene and its Distance Layer are saved there too
    // Without --focus or --focus-at the target is picked as focus, without --amount kDemoAmount
    // is taken.
    session::RenderSettings settings;
};

int run_demo(const DemoRequest& request);

}  // namespace cli

#endif
