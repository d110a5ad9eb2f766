// The demo: a night scene made on the spot, with its Distance Layer. A sharp test target stands
// halfway on a brick parapet; city lights glow far away behind it, and coloured string lights
// hang close to the camera, so that focusing near, on the target or far shows at a glance what
// the effect does.
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

// HD, the size people look at pictures in.
inline constexpr int kDemoWidth = 1920;
inline constexpr int kDemoHeight = 1080;

// The same pixels for the same size, on every machine.
DemoScene make_demo_scene(int width = kDemoWidth, int height = kDemoHeight);

}  // namespace cli

#endif
