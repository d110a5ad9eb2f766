// `quillbloom demo`: renders the built-in night scene and says where the picture went.
#ifndef QB_CLI_DEMO_COMMAND_H
#define QB_CLI_DEMO_COMMAND_H

#include <filesystem>
#include <string>

#include "session/render_settings.h"

namespace cli {

inline constexpr const char kDemoOutput[] = "quillbloom-demo.png";

struct DemoRequest {
    std::filesystem::path module;
    std::string output = kDemoOutput;
    std::string scene_folder;  // when set, the scene and its Distance Layer are saved there too
    session::RenderSettings
        settings;  // without --focus or --focus-at, the target is picked as focus
};

int run_demo(const DemoRequest& request);

}  // namespace cli

#endif
