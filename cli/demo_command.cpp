#include "cli/demo_command.h"

#include <fmt/format.h>

#include "cli/atomic_output.h"
#include "cli/demo_scene.h"
#include "cli/exit_status.h"
#include "cli/image_writer.h"
#include "session/downsample.h"
#include "session/effect_session.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

void save_scene(const DemoScene& scene, const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    for (const auto& [world, name] : {std::pair{scene.colour.get(), "demo-scene.png"},
                                      std::pair{scene.distance.get(), "demo-distance.png"}}) {
        const fs::path file = folder / name;
        write_world(*world, file.string(), plain_output(*world));
        fmt::print("Wrote {}\n", file.string());
    }
}

}  // namespace

int run_demo(const DemoRequest& request) {
    output_format_for(request.output);
    require_output_folder(request.output);
    DemoScene scene = make_demo_scene();
    if (!request.scene_folder.empty()) {
        save_scene(scene, request.scene_folder);
    }
    session::RenderSettings settings = request.settings;
    if (!settings.focus && !settings.focus_at) {
        settings.focus_at = scene.subject;
    }
    if (!settings.amount) {
        settings.amount = kDemoAmount;
    }
    if (settings.downsample > 1) {
        scene.colour = session::downsample(*scene.colour, settings.downsample);
        scene.distance = session::downsample(*scene.distance, settings.downsample);
    }
    session::EffectSession effect(request.module, settings);
    session::ProgressReport report(stderr, session::stderr_is_terminal());
    report.start(std::nullopt);
    const auto picture = effect.render(*scene.colour, scene.distance.get(), report);
    write_world(*picture, request.output, plain_output(*picture));
    report.wrote(request.output);
    fmt::print("Demo picture ({}x{}, focused at distance {:g}): {}\n", picture->width(),
               picture->height(), effect.focus_distance(), fs::absolute(request.output).string());
    return kExitSuccess;
}

}  // namespace cli
