// The effect against the open disc blur a user would pick instead (GEGL's gegl:lens-blur), on
// one textured full HD frame with highlights, at one and at two threads.
//
// - Pass: one engine pass at D = 21 and D = 61 (render_bokeh with the default iris shape
//   at High quality) against lens-blur with radius 10 and 30.
// - Render: whole renders through the built module and the emulated host, as a host sends them:
//   no distance layer with Bokeh Amount 20 and 60 (one pass of D = 21 and 61), and a distance
//   layer ramping over all 256 values from the top row to the bottom one with the focus at 128,
//   Bokeh Amount 20, Distance Precision 10. GEGL blurs the same frames; for the ramp its aux mask
//   scales the radius pixel by pixel to the render's blur at that distance.
//
// Only computing is timed: frames, layers, engines, hosts and GEGL graphs are made outside the
// timed part. After the runs a table prints each pair and the ratio ours / GEGL. The module's
// renders include what a render does besides computing: it reads its shape file each time.
#include <babl/babl.h>
#include <benchmark/benchmark.h>
#include <gegl.h>
#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/bench_pass.h"
#include "bench/support/bench_scene.h"
#include "host/emulated_host.h"
#include "host/world.h"

namespace {

constexpr int kWidth = bench::kHdWidth;
constexpr int kHeight = bench::kHdHeight;
constexpr int kQualityHigh = 5;  // position of High in the Quality popup
constexpr double kHardness = 1.0;
// What the render driver passes when the Alpha bokeh control is absent.
constexpr int kDistanceValues = 256;
constexpr double kRampFocus = 128.0;
constexpr double kRampBokehAmount = 20.0;
constexpr int kRampPrecision = 10;
constexpr int kDepthCase = 0;  // the ramp, in the render benchmarks' first argument

// A disc of odd diameter D covers the centre pixel and (D - 1) / 2 pixels to each side.
double disc_radius(double diameter) {
    return (diameter - 1.0) / 2.0;
}

int ramp_distance(int y) {
    return bench::ramp_distance(y, kHeight);
}

const host::World& picture() {
    static const host::World world = bench::photo(kWidth, kHeight);
    return world;
}

void use_threads(int threads) {
    omp_set_num_threads(threads);
    g_object_set(gegl_config(), "threads", threads, nullptr);
}

// ---- Our side -------------------------------------------------------------------------------

void BM_OurPass(benchmark::State& state) {
    const double diameter = static_cast<double>(state.range(0));
    use_threads(static_cast<int>(state.range(1)));
    bench::EnginePass pass(picture(), diameter, bench::kHighQuality, kHardness);
    for (auto _ : state) {
        if (!pass.render()) {
            state.SkipWithError(pass.message());
            break;
        }
    }
}

// The module loaded from the build's plug-in folder, with a sequence open for the frame.
struct Effect {
    host::EmulatedHost host{std::string(QB_PLUGIN_DIR) + "/QuilAE.aex"};
    host::World output{kWidth, kHeight};
    host::World ramp = bench::distance_ramp(kWidth, kHeight);

    explicit Effect(double bokeh_amount, bool depth) {
        host.set_layer_size(kWidth, kHeight);
        host.open_sequence();
        host.set_value("Bokeh Amount", bokeh_amount);
        host.set_value("Quality", kQualityHigh);
        host.set_value("Hardness", kHardness);
        if (depth) {
            host.set_layer("Distance Layer", &ramp);
            host.set_value("On-Focus Distance", kRampFocus);
            host.set_value("Distance Precision", kRampPrecision);
        }
    }
};

// range(0): the diameter of a render without depth, or kDepthCase for the ramp.
void BM_OurRender(benchmark::State& state) {
    const bool depth = state.range(0) == kDepthCase;
    use_threads(static_cast<int>(state.range(1)));
    Effect effect(depth ? kRampBokehAmount : static_cast<double>(state.range(0) - 1), depth);
    host::World& input = const_cast<host::World&>(picture());
    for (auto _ : state) {
        const PF_Err err = effect.host.render(input, effect.output);
        if (err != PF_Err_NONE) {
            state.SkipWithError(effect.host.out_data().return_msg);
            break;
        }
    }
}

// ---- GEGL's side ----------------------------------------------------------------------------

// GEGL's copies of the picture and of the ramp's mask, made once and released before GEGL
// shuts down.
GeglBuffer* picture_buffer = nullptr;
GeglBuffer* ramp_mask_buffer = nullptr;

GeglBuffer* gegl_picture() {
    if (picture_buffer == nullptr) {
        const Babl* format = babl_format("R'G'B'A u8");
        GeglRectangle extent = {0, 0, kWidth, kHeight};
        picture_buffer = gegl_buffer_new(&extent, format);
        std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const PF_Pixel8& p = picture().pixel8(x, y);
                uint8_t* out = &rgba[(static_cast<size_t>(y) * kWidth + x) * 4];
                out[0] = p.red;
                out[1] = p.green;
                out[2] = p.blue;
                out[3] = p.alpha;
            }
        }
        gegl_buffer_set(picture_buffer, &extent, 0, format, rgba.data(), GEGL_AUTO_ROWSTRIDE);
    }
    return picture_buffer;
}

// The ramp's blur radius as a share of the largest, the mask lens-blur scales its radius by.
GeglBuffer* gegl_ramp_mask() {
    if (ramp_mask_buffer == nullptr) {
        const Babl* format = babl_format("Y float");
        GeglRectangle extent = {0, 0, kWidth, kHeight};
        ramp_mask_buffer = gegl_buffer_new(&extent, format);
        std::vector<float> share(static_cast<size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                share[static_cast<size_t>(y) * kWidth + x] =
                    static_cast<float>(std::fabs(ramp_distance(y) - kRampFocus) / kRampFocus);
            }
        }
        gegl_buffer_set(ramp_mask_buffer, &extent, 0, format, share.data(), GEGL_AUTO_ROWSTRIDE);
    }
    return ramp_mask_buffer;
}

void release_gegl_inputs() {
    for (GeglBuffer** buffer : {&picture_buffer, &ramp_mask_buffer}) {
        if (*buffer != nullptr) {
            g_object_unref(*buffer);
            *buffer = nullptr;
        }
    }
}

// The render's blur diameter at the ramp's farthest distance from the focus, as its radius.
double ramp_radius() {
    return disc_radius(kRampFocus * kRampBokehAmount / (kDistanceValues - 1) + 1.0);
}

// A new graph for each run, so that nothing is served from an earlier run's cache.
struct GeglBlur {
    GeglNode* graph = gegl_node_new();
    GeglNode* blur;

    GeglBlur(double radius, bool depth) {
        GeglNode* source = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer",
                                               gegl_picture(), nullptr);
        blur = gegl_node_new_child(graph, "operation", "gegl:lens-blur", "radius", radius,
                                   "linear-mask", TRUE, nullptr);
        gegl_node_connect_to(source, "output", blur, "input");
        if (depth) {
            GeglNode* mask = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer",
                                                 gegl_ramp_mask(), nullptr);
            gegl_node_connect_to(mask, "output", blur, "aux");
        }
    }
    ~GeglBlur() { g_object_unref(graph); }

    void run(std::vector<uint8_t>& rgba) {
        const GeglRectangle extent = {0, 0, kWidth, kHeight};
        gegl_node_blit(blur, 1.0, &extent, babl_format("R'G'B'A u8"), rgba.data(),
                       GEGL_AUTO_ROWSTRIDE, GEGL_BLIT_DEFAULT);
    }
};

void time_gegl(benchmark::State& state, double radius, bool depth) {
    use_threads(static_cast<int>(state.range(1)));
    std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
    for (auto _ : state) {
        state.PauseTiming();
        auto blur = std::make_unique<GeglBlur>(radius, depth);
        state.ResumeTiming();
        blur->run(rgba);
        state.PauseTiming();
        blur.reset();
        state.ResumeTiming();
    }
}

void BM_GeglPass(benchmark::State& state) {
    time_gegl(state, disc_radius(static_cast<double>(state.range(0))), false);
}

void BM_GeglRender(benchmark::State& state) {
    const bool depth = state.range(0) == kDepthCase;
    time_gegl(state, depth ? ramp_radius() : disc_radius(static_cast<double>(state.range(0))),
              depth);
}

// ---- The table ------------------------------------------------------------------------------

// Keeps, for each benchmark, the shortest of its repetitions: on a machine shared with other
// work the shortest run is the one least disturbed.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0 || run.run_type != Run::RT_Iteration) {
                continue;
            }
            const std::string key = run.run_name.function_name + "/" + run.run_name.args;
            const double seconds = run.GetAdjustedRealTime() / 1e3;
            const auto known = seconds_.find(key);
            if (known == seconds_.end() || seconds < known->second) {
                seconds_[key] = seconds;
            }
        }
    }

    void print_table() const {
        std::printf("\nShortest of the repetitions, wall-clock seconds:\n");
        std::printf("%-22s %8s %10s %10s %12s\n", "case", "threads", "ours (s)", "GEGL (s)",
                    "ours / GEGL");
        for (const char* kind : {"Pass", "Render"}) {
            for (const int what : {21, 61, kDepthCase}) {
                for (const int threads : {1, 2}) {
                    print_row(kind, what, threads);
                }
            }
        }
    }

  private:
    void print_row(const std::string& kind, int what, int threads) const {
        const std::string args =
            "/case:" + std::to_string(what) + "/threads:" + std::to_string(threads);
        const auto ours = seconds_.find("BM_Our" + kind + args);
        const auto gegl = seconds_.find("BM_Gegl" + kind + args);
        if (ours == seconds_.end() || gegl == seconds_.end()) {
            return;
        }
        const std::string label =
            kind + (what == kDepthCase ? " depth ramp" : " D = " + std::to_string(what));
        std::printf("%-22s %8d %10.3f %10.3f %12.2f\n", label.c_str(), threads, ours->second,
                    gegl->second, ours->second / gegl->second);
    }

    std::map<std::string, double> seconds_;
};

constexpr int kRepetitions = 3;

void timed_like_all(benchmark::internal::Benchmark* b) {
    b->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(kRepetitions);
}

void pass_cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"case", "threads"})->ArgsProduct({{21, 61}, {1, 2}});
    timed_like_all(b);
}

void render_cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"case", "threads"})->ArgsProduct({{21, 61, kDepthCase}, {1, 2}});
    timed_like_all(b);
}

}  // namespace

BENCHMARK(BM_OurPass)->Apply(pass_cases);
BENCHMARK(BM_GeglPass)->Apply(pass_cases);
BENCHMARK(BM_OurRender)->Apply(render_cases);
BENCHMARK(BM_GeglRender)->Apply(render_cases);

int main(int argc, char** argv) {
    gegl_init(&argc, &argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_table();
    benchmark::Shutdown();
    release_gegl_inputs();
    gegl_exit();
    return 0;
}
