// The demo: a night scene made on the spot, with its Distance Layer. A sharp test target stands
// at mid distance on a textured ground plane; city lights glow far away at the horizon, and
// coloured string lights hang close to the camera, so that focusing near, on the target or far
// shows at a glance what the effect does.
#ifndef QB_CLI_DEMO_SCENE_H
#define QB_CLI_DEMO_SCENE_H

#include <memory>

#include "host/world.h"
#include "session/render_settings.h"

namespace cli {

struct DemoScene {
    std::unique_ptr<host::World> colour;
    std::unique_ptr<host::World> distance;  // red channel: 255 nearest, 0 farthest
    session::PointXY subject;               // the centre of the target
};

inline constexpr int kDemoWidth = 960;
inline constexpr int kDemoHeight = 540;

// The same pixels for the same size, on every machine.
DemoScene make_demo_scene(int width = kDemoWidth, int height = kDemoHeight);

}  // namespace cli

#endif
