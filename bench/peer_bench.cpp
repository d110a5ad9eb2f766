// The effect against the open disc blur a user would pick instead (GEGL's gegl:lens-blur), on
// one textured frame with highlights, full HD and 4K, at one and at two threads.
//
// - Pass: one engine pass at D = 21 and D = 61 (render_bokeh with the default iris shape
//   at High quality) against lens-blur with radius 10 and 30.
// - Render: whole renders through the built module and the emulated host, as a host sends them:
//   no distance layer with Bokeh Amount 20 and 60 (one pass of D = 21 and 61), and a distance
//   layer ramping over all 256 values from the top row to the bottom one with the focus at 128,
//   Bokeh Amount 20, Distance Precision 10. GEGL blurs the same frames; for the ramp its aux mask
//   scales the radius pixel by pixel to the render's blur at that distance.
// - 4K renders: no distance layer at Bokeh Amount 60 and 300 (against radius 30 and 150), and
//   the ramp at Bokeh Amount 300.
//
// Only computing is timed: frames, layers, engines, hosts and GEGL graphs are made outside the
// timed part. After the runs a table prints each pair, the ratio ours / GEGL, the speed-up of
// two threads over one, and the memory a render takes. The module's renders include what a
// render does besides computing: it reads its shape file each time.
#include <babl/babl.h>
#include <benchmark/benchmark.h>
#include <gegl.h>
#include <omp.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/support/bench_memory.h"
#include "bench/support/bench_pass.h"
#include "bench/support/bench_scene.h"
#include "host/emulated_host.h"
#include "host/world.h"

namespace {

constexpr int kQualityHigh = 5;  // position of High in the Quality popup
constexpr double kHardness = 1.0;
// What the render driver passes when the Alpha bokeh control is absent.
constexpr int kDistanceValues = 256;
constexpr double kRampFocus = 128.0;
constexpr int kRampPrecision = 10;
constexpr int kDepthCase = 0;  // the ramp, in the render benchmarks' first argument
constexpr double kHdRampAmount = 20.0;
constexpr double kUhdRampAmount = 300.0;

// A disc of odd diameter D covers the centre pixel and (D - 1) / 2 pixels to each side.
double disc_radius(double diameter) {
    return (diameter - 1.0) / 2.0;
}

// One frame size with its picture, its ramp, GEGL's copies of both, and the Bokeh Amount of its
// ramp render. GEGL's copies are released before GEGL shuts down.
struct Frame {
    int width;
    int height;
    double ramp_amount;
    host::World picture = bench::photo(width, height);
    host::World ramp = bench::distance_ramp(width, height);
    GeglBuffer* gegl_picture = nullptr;
    GeglBuffer* gegl_ramp_mask = nullptr;

    Frame(int w, int h, double amount) : width(w), height(h), ramp_amount(amount) {}

    GeglBuffer* picture_buffer();
    GeglBuffer* ramp_mask_buffer();
    void release_gegl() {
        for (GeglBuffer** buffer : {&gegl_picture, &gegl_ramp_mask}) {
            if (*buffer != nullptr) {
                g_object_unref(*buffer);
                *buffer = nullptr;
            }
        }
    }

    // The render's blur diameter at the ramp's farthest distance from the focus, as its radius.
    double ramp_radius() const {
        return disc_radius(kRampFocus * ramp_amount / (kDistanceValues - 1) + 1.0);
    }
};

enum class Size { kHd, kUhd };

Frame& frame(Size size) {
    static Frame hd(bench::kHdWidth, bench::kHdHeight, kHdRampAmount);
    static Frame uhd(bench::kUhdWidth, bench::kUhdHeight, kUhdRampAmount);
    return size == Size::kHd ? hd : uhd;
}

void use_threads(int threads) {
    omp_set_num_threads(threads);
    g_object_set(gegl_config(), "threads", threads, nullptr);
}

// ---- Our side -------------------------------------------------------------------------------

void BM_OurPass(benchmark::State& state) {
    const double diameter = static_cast<double>(state.range(0));
    use_threads(static_cast<int>(state.range(1)));
    bench::EnginePass pass(frame(Size::kHd).picture, diameter, bench::kHighQuality, kHardness);
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
    host::World output;

    Effect(Frame& f, double bokeh_amount, bool depth) : output(f.width, f.height) {
        host.set_layer_size(f.width, f.height);
        host.open_sequence();
        host.set_value("Bokeh Amount", bokeh_amount);
        host.set_value("Quality", kQualityHigh);
        host.set_value("Hardness", kHardness);
        if (depth) {
            host.set_layer("Distance Layer", &f.ramp);
            host.set_value("On-Focus Distance", kRampFocus);
            host.set_value("Distance Precision", kRampPrecision);
        }
    }
};

// range(0): the diameter of a render without depth, or kDepthCase for the ramp. The first render
// of each case also gives the memory it takes beyond what was resident before it (the frames
// are made already), from the kernel's high-water mark lowered to what is resident.
long minor_faults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// CPU time the kernel spent for the process, in milliseconds: page faults, mappings given back
// (every core drops them) and threads put to sleep and woken.
double kernel_milliseconds() {
    constexpr double kMillisecondsPerSecond = 1e3;
    constexpr double kMicrosecondsPerMillisecond = 1e3;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_stime.tv_sec) * kMillisecondsPerSecond +
           static_cast<double>(usage.ru_stime.tv_usec) / kMicrosecondsPerMillisecond;
}

void time_our_render(benchmark::State& state, Size size) {
    Frame& f = frame(size);
    const bool depth = state.range(0) == kDepthCase;
    use_threads(static_cast<int>(state.range(1)));
    Effect effect(f, depth ? f.ramp_amount : static_cast<double>(state.range(0) - 1), depth);
    bench::reset_peak_memory();
    const double resident = bench::status_megabytes("VmRSS").value_or(0.0);
    bool first = true;
    const long faults_before = minor_faults();
    const double kernel_before = kernel_milliseconds();
    for (auto _ : state) {
        const PF_Err err = effect.host.render(f.picture, effect.output);
        if (err != PF_Err_NONE) {
            state.SkipWithError(effect.host.out_data().return_msg);
            break;
        }
        if (first) {
            state.counters["render_MB"] = bench::status_megabytes("VmHWM").value_or(0.0) - resident;
            first = false;
        }
    }
    state.counters["kernel_ms"] = benchmark::Counter(kernel_milliseconds() - kernel_before,
                                                     benchmark::Counter::kAvgIterations);
    // Pages the renders touched afresh: a figure that does not move with the machine's load.
    state.counters["faults"] = benchmark::Counter(
        static_cast<double>(minor_faults() - faults_before), benchmark::Counter::kAvgIterations);
}

void BM_OurRender(benchmark::State& state) {
    time_our_render(state, Size::kHd);
}

void BM_OurRender4K(benchmark::State& state) {
    time_our_render(state, Size::kUhd);
}

// ---- GEGL's side ----------------------------------------------------------------------------

GeglBuffer* Frame::picture_buffer() {
    if (gegl_picture == nullptr) {
        const Babl* format = babl_format("R'G'B'A u8");
        GeglRectangle extent = {0, 0, width, height};
        gegl_picture = gegl_buffer_new(&extent, format);
        std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const PF_Pixel8& p = picture.pixel8(x, y);
                uint8_t* out = &rgba[(static_cast<size_t>(y) * width + x) * 4];
                out[0] = p.red;
                out[1] = p.green;
                out[2] = p.blue;
                out[3] = p.alpha;
            }
        }
        gegl_buffer_set(gegl_picture, &extent, 0, format, rgba.data(), GEGL_AUTO_ROWSTRIDE);
    }
    return gegl_picture;
}

// The ramp's blur radius as a share of the largest, the mask lens-blur scales its radius by.
GeglBuffer* Frame::ramp_mask_buffer() {
    if (gegl_ramp_mask == nullptr) {
        const Babl* format = babl_format("Y float");
        GeglRectangle extent = {0, 0, width, height};
        gegl_ramp_mask = gegl_buffer_new(&extent, format);
        std::vector<float> share(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y) {
            const auto row_share = static_cast<float>(
                std::fabs(bench::ramp_distance(y, height) - kRampFocus) / kRampFocus);
            std::fill_n(share.begin() + static_cast<std::ptrdiff_t>(y) * width, width, row_share);
        }
        gegl_buffer_set(gegl_ramp_mask, &extent, 0, format, share.data(), GEGL_AUTO_ROWSTRIDE);
    }
    return gegl_ramp_mask;
}

// A new graph for each run, so that nothing is served from an earlier run's cache.
struct GeglBlur {
    GeglNode* graph = gegl_node_new();
    GeglNode* blur;
    const GeglRectangle extent;

    GeglBlur(Frame& f, double radius, bool depth) : extent{0, 0, f.width, f.height} {
        GeglNode* source = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer",
                                               f.picture_buffer(), nullptr);
        blur = gegl_node_new_child(graph, "operation", "gegl:lens-blur", "radius", radius,
                                   "linear-mask", TRUE, nullptr);
        gegl_node_connect_to(source, "output", blur, "input");
        if (depth) {
            GeglNode* mask = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer",
                                                 f.ramp_mask_buffer(), nullptr);
            gegl_node_connect_to(mask, "output", blur, "aux");
        }
    }
    ~GeglBlur() { g_object_unref(graph); }

    void run(std::vector<uint8_t>& rgba) {
        gegl_node_blit(blur, 1.0, &extent, babl_format("R'G'B'A u8"), rgba.data(),
                       GEGL_AUTO_ROWSTRIDE, GEGL_BLIT_DEFAULT);
    }
};

void time_gegl(benchmark::State& state, Frame& f, double radius, bool depth) {
    use_threads(static_cast<int>(state.range(1)));
    std::vector<uint8_t> rgba(static_cast<size_t>(f.width) * f.height * 4);
    for (auto _ : state) {
        state.PauseTiming();
        auto blur = std::make_unique<GeglBlur>(f, radius, depth);
        state.ResumeTiming();
        blur->run(rgba);
        state.PauseTiming();
        blur.reset();
        state.ResumeTiming();
    }
}

void BM_GeglPass(benchmark::State& state) {
    time_gegl(state, frame(Size::kHd), disc_radius(static_cast<double>(state.range(0))), false);
}

void gegl_render(benchmark::State& state, Size size) {
    Frame& f = frame(size);
    const bool depth = state.range(0) == kDepthCase;
    time_gegl(state, f, depth ? f.ramp_radius() : disc_radius(static_cast<double>(state.range(0))),
              depth);
}

void BM_GeglRender(benchmark::State& state) {
    gegl_render(state, Size::kHd);
}

void BM_GeglRender4K(benchmark::State& state) {
    gegl_render(state, Size::kUhd);
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
            const auto memory = run.counters.find("render_MB");
            if (memory != run.counters.end()) {
                megabytes_[key] = std::max(megabytes_[key], memory->second.value);
            }
        }
    }

    void print_table() const {
        std::printf(
            "\nShortest of the repetitions, wall-clock seconds; speed-up is one thread's "
            "time over two threads'; memory is a render's own peak:\n");
        std::printf("%-26s %7s %9s %9s %11s %9s %8s\n", "case", "threads", "ours (s)", "GEGL (s)",
                    "ours / GEGL", "speed-up", "MB");
        for (const char* kind : {"Pass", "Render"}) {
            for (const int what : {21, 61, kDepthCase}) {
                for (const int threads : {1, 2}) {
                    print_row(kind, "", what, threads);
                }
            }
        }
        for (const int what : {61, 301, kDepthCase}) {
            for (const int threads : {1, 2}) {
                print_row("Render", "4K", what, threads);
            }
        }
        for (const int threads : {1, 2}) {
            const std::optional<double> large = ours("Render", "4K", 301, threads);
            const std::optional<double> small = ours("Render", "4K", 61, threads);
            if (large && small) {
                std::printf("4K render, Amount 300 over Amount 60, %d thread(s): %.2f\n", threads,
                            *large / *small);
            }
        }
    }

  private:
    static std::string args(int what, int threads) {
        return "/case:" + std::to_string(what) + "/threads:" + std::to_string(threads);
    }

    std::optional<double> seconds(const std::string& name) const {
        const auto found = seconds_.find(name);
        return found == seconds_.end() ? std::nullopt : std::optional<double>(found->second);
    }

    std::optional<double> ours(const std::string& kind, const std::string& size, int what,
                               int threads) const {
        return seconds("BM_Our" + kind + size + args(what, threads));
    }

    void print_row(const std::string& kind, const std::string& size, int what, int threads) const {
        const std::string name = "BM_Our" + kind + size + args(what, threads);
        const std::optional<double> mine = seconds(name);
        const std::optional<double> gegl = seconds("BM_Gegl" + kind + size + args(what, threads));
        if (!mine || !gegl) {
            return;
        }
        std::string label = (size.empty() ? "" : size + " ") + kind +
                            (what == kDepthCase ? " depth ramp" : " D = " + std::to_string(what));
        const std::optional<double> one_thread = ours(kind, size, what, 1);
        const double speed_up = one_thread ? *one_thread / *mine : 0.0;
        const auto memory = megabytes_.find(name);
        std::printf("%-26s %7d %9.3f %9.3f %11.2f %9.2f %8.0f\n", label.c_str(), threads, *mine,
                    *gegl, *mine / *gegl, speed_up,
                    memory == megabytes_.end() ? 0.0 : memory->second);
    }

    std::map<std::string, double> seconds_;
    std::map<std::string, double> megabytes_;
};

// Six runs a case: this machine class slows down for spells of a second or more, and the more
// runs spread over the whole benchmark, the likelier each case's shortest one falls outside such
// a spell. A run's first render sets up the sequence (its threads and kept buffers), so shorter
// runs would weigh that more than a host's renders do.
constexpr int kRepetitions = 6;
constexpr double kSecondsARun = 0.5;
// A 4K render at a large blur takes seconds: two runs of one render each.
constexpr int kUhdRepetitions = 2;

void timed_like_all(benchmark::internal::Benchmark* b) {
    b->UseRealTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(kSecondsARun)
        ->Repetitions(kRepetitions);
}

void pass_cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"case", "threads"})->ArgsProduct({{21, 61}, {1, 2}});
    timed_like_all(b);
}

void render_cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"case", "threads"})->ArgsProduct({{21, 61, kDepthCase}, {1, 2}});
    timed_like_all(b);
}

void uhd_render_cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"case", "threads"})->ArgsProduct({{61, 301, kDepthCase}, {1, 2}});
    b->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(kUhdRepetitions);
}

}  // namespace

BENCHMARK(BM_OurPass)->Apply(pass_cases);
BENCHMARK(BM_GeglPass)->Apply(pass_cases);
BENCHMARK(BM_OurRender)->Apply(render_cases);
BENCHMARK(BM_GeglRender)->Apply(render_cases);
BENCHMARK(BM_OurRender4K)->Apply(uhd_render_cases);
BENCHMARK(BM_GeglRender4K)->Apply(uhd_render_cases);

int main(int argc, char** argv) {
    gegl_init(&argc, &argv);
    // The runs of all cases take turns in a random order, so that a slow spell of the machine
    // falls alike on ours and GEGL's, on one thread and on two, instead of on whichever case ran
    // through it; a later --benchmark_enable_random_interleaving=false turns this off.
    static char interleaved[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> arguments(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, interleaved);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_table();
    benchmark::Shutdown();
    frame(Size::kHd).release_gegl();
    frame(Size::kUhd).release_gegl();
    gegl_exit();
    return 0;
}
