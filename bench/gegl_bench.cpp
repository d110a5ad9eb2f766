// One full HD frame of the demo scene with its Distance Layer, rendered through the GEGL
// operation (the gegl program's way: a graph from buffers to a blit of the whole frame) and
// through the tool's own render (its effect session on the built module, without reading or
// writing files). The target: the operation costs at most 10% more than the tool's render.
//
// Both use the same number of threads: GEGL's thread count, which the operation hands to the
// effect, and the same count for the tool.
#include <benchmark/benchmark.h>
#include <gegl.h>
#include <omp.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "cli/demo_scene.h"
#include "session/effect_session.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kBokehAmount = 40.0;
constexpr double kFocusDistance = 150.0;

struct Scene {
    cli::DemoScene layers = cli::make_demo_scene(kWidth, kHeight);
    int threads = 0;
};

const Scene& scene() {
    static const Scene prepared = [] {
        g_setenv("GEGL_PATH", QB_GEGL_PATH, TRUE);
        gegl_init(nullptr, nullptr);
        Scene made;
        g_object_get(gegl_config(), "threads", &made.threads, nullptr);
        return made;
    }();
    return prepared;
}

// A world's ARGB as GEGL's RGBA.
GeglBuffer* buffer_of(const host::World& world) {
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<std::size_t>(world.width()) * world.height() * 4);
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            const PF_Pixel8& p = world.pixel8(x, y);
            rgba.insert(rgba.end(), {p.red, p.green, p.blue, p.alpha});
        }
    }
    const GeglRectangle rect{0, 0, world.width(), world.height()};
    GeglBuffer* buffer = gegl_buffer_new(&rect, babl_format("R'G'B'A u8"));
    gegl_buffer_set(buffer, &rect, 0, babl_format("R'G'B'A u8"), rgba.data(), GEGL_AUTO_ROWSTRIDE);
    return buffer;
}

void BM_OperationRender(benchmark::State& state) {
    const Scene& prepared = scene();
    GeglBuffer* layer = buffer_of(*prepared.layers.colour);
    GeglBuffer* distance = buffer_of(*prepared.layers.distance);
    std::vector<std::uint8_t> output(static_cast<std::size_t>(kWidth) * kHeight * 4);
    const GeglRectangle frame{0, 0, kWidth, kHeight};
    for (auto _ : state) {
        GeglNode* graph = gegl_node_new();
        GeglNode* source =
            gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", layer, nullptr);
        GeglNode* aux = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer",
                                            distance, nullptr);
        GeglNode* effect =
            gegl_node_new_child(graph, "operation", "quillbloom:depth-of-field", "bokeh-amount",
                                kBokehAmount, "focus-distance", kFocusDistance, nullptr);
        gegl_node_link(source, effect);
        gegl_node_connect_to(aux, "output", effect, "aux");
        gegl_node_blit(effect, 1.0, &frame, babl_format("R'G'B'A u8"), output.data(),
                       GEGL_AUTO_ROWSTRIDE, GEGL_BLIT_DEFAULT);
        g_object_unref(graph);
        benchmark::DoNotOptimize(output.data());
    }
    g_object_unref(distance);
    g_object_unref(layer);
    state.counters["threads"] = prepared.threads;
}

void BM_ToolRender(benchmark::State& state) {
    const Scene& prepared = scene();
    omp_set_num_threads(prepared.threads);
    session::RenderSettings settings;
    settings.amount = kBokehAmount;
    settings.focus = kFocusDistance;
    session::EffectSession session(QB_PLUGIN_DIR "/QuilAE.aex", settings);
    for (auto _ : state) {
        auto rendered = session.render(*prepared.layers.colour, prepared.layers.distance.get(),
                                       [](A_long, A_long) { return 0; });
        benchmark::DoNotOptimize(rendered.get());
    }
    state.counters["threads"] = prepared.threads;
}

BENCHMARK(BM_ToolRender)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(BM_OperationRender)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

}  // namespace
