// Whole renders of a full HD 8-bit frame through the built module and the emulated host, with a
// Distance Layer ramp over all 256 values (down the rows, and across the columns) and without
// one, at Bokeh Amount 20 and 60; and the driver's own stages alone.
//
// Besides the time of a render, each case reports the share of it spent outside the engine (the
// driver's step extraction, blur masks and write-back, timed on the same inputs through the
// render library) and the peak resident memory while it rendered (the host's layers included).
// The targets: an HD render in at most 300 MB, and the driver's share of a depth render under 20%.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/support/bench_scene.h"
#include "engine/bokeh_engine.h"
#include "host/emulated_host.h"
#include "render/distance_steps.h"
#include "render/step_preparation.h"
#include "render/step_workspace.h"
#include "render/write_back.h"

namespace {

constexpr int kWidth = bench::kHdWidth;
constexpr int kHeight = bench::kHdHeight;
constexpr double kFocus = 128.0;
constexpr int kPrecision = 10;
constexpr int kHighQuality = 5;
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

// Which way the Distance Layer's ramp runs: each distance step then holds a band of rows, or a
// band of columns that reaches every row.
enum class Ramp { kNone, kRows, kColumns };

struct Scene {
    host::World frame = bench::photo(kWidth, kHeight);
    host::World rows = bench::distance_ramp(kWidth, kHeight);
    host::World columns = bench::distance_ramp_across(kWidth, kHeight);
};

Scene& scene() {
    static Scene shared;
    return shared;
}

host::World* layer_for(Ramp ramp) {
    return ramp == Ramp::kColumns ? &scene().columns : &scene().rows;
}

std::string module_path() {
    return (std::filesystem::path(QB_PLUGIN_DIR) / "QuilAE.aex").string();
}

// The largest resident set since the last reset_peak_memory(), from the kernel's high-water mark;
// where the mark cannot be reset, the process's peak so far.
double peak_megabytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stod(line.substr(line.find_first_of("0123456789"))) * 1024.0 /
                   kBytesPerMegabyte;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0 / kBytesPerMegabyte;
}

// Lowers the high-water mark to what is resident now, so that a case's peak is its own and not
// that of the driver measurements or cases before it.
void reset_peak_memory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::vector<uint8_t> ramp_distances(Ramp ramp) {
    std::vector<uint8_t> distances(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            distances[static_cast<size_t>(y) * kWidth + x] =
                static_cast<uint8_t>(ramp == Ramp::kColumns ? bench::ramp_distance(x, kWidth)
                                                            : bench::ramp_distance(y, kHeight));
        }
    }
    return distances;
}

// Every step's extraction and mask for one render, as the driver prepares them.
double step_preparation_seconds(Ramp ramp, double amount) {
    Scene& s = scene();
    const std::vector<uint8_t> distances = ramp_distances(ramp);
    const render::DistanceSteps steps =
        ramp == Ramp::kNone ? render::single_distance_step(amount)
                            : render::cut_distance_steps(
                                  render::count_distances(distances.data(), distances.size()),
                                  kPrecision, kFocus, amount);
    render::StepSource source;
    source.input = render::ConstPixelRows{static_cast<const uint8_t*>(s.frame.def().data),
                                          s.frame.rowbytes(), render::ChannelDepth::k8};
    source.distances = ramp == Ramp::kNone ? nullptr : distances.data();
    source.distance_stride = kWidth;
    source.width = kWidth;
    source.height = kHeight;
    source.step_count = steps.step_count;
    render::StepWorkspace workspace;
    const char* failure = nullptr;
    workspace.allocate(kWidth, kHeight, &failure);
    std::vector<uint8_t> buffer(static_cast<size_t>(kWidth) * kHeight * 4);
    std::vector<uint8_t> mask(static_cast<size_t>(kWidth) * kHeight);

    const auto start = std::chrono::steady_clock::now();
    render::measure_step_source(source, workspace);
    for (int i = 0; i < steps.step_count; ++i) {
        const render::DistanceStep& step = steps.steps[static_cast<size_t>(i)];
        if (!step.empty()) {
            render::prepare_step(
                source, step, BokehEngine::odd_diameter_rule(step.blur, 0),
                render::PixelRows{buffer.data(), kWidth * 4, render::ChannelDepth::k8}, mask.data(),
                workspace);
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The write-back of an HD region whose light spans every level.
double write_back_seconds(bool deep) {
    const size_t pixels = static_cast<size_t>(kWidth) * kHeight;
    std::vector<float> light(pixels * 4);
    std::vector<float> weights(pixels);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> share(0.0f, 1.0f);
    for (size_t i = 0; i < pixels; ++i) {
        weights[i] = 0.5f + share(rng);
        for (int c = 0; c < 4; ++c) {
            light[i * 4 + c] = 40.0f * share(rng) * share(rng) * share(rng);
        }
    }
    const auto depth = deep ? host::World::Depth::k16 : host::World::Depth::k8;
    host::World input(kWidth, kHeight, depth), output(kWidth, kHeight, depth);
    const auto channel_depth = deep ? render::ChannelDepth::k16 : render::ChannelDepth::k8;
    render::WriteBackSettings settings;
    settings.mid_light = 0.6f;
    settings.hardness = 1.5;
    const auto start = std::chrono::steady_clock::now();
    render::write_back(light.data(), weights.data(), kWidth, kHeight,
                       render::ConstPixelRows{static_cast<const uint8_t*>(input.def().data),
                                              input.rowbytes(), channel_depth},
                       render::PixelRows{static_cast<uint8_t*>(output.def().data),
                                         output.rowbytes(), channel_depth},
                       settings);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The driver's own work for one render: every step's extraction and mask, and the write-back.
// The fastest of a few tries, so that one disturbed try does not decide the share.
double driver_seconds(Ramp ramp, double amount) {
    constexpr int kTries = 5;
    double fastest = 0.0;
    for (int i = 0; i < kTries; ++i) {
        const double seconds = step_preparation_seconds(ramp, amount) + write_back_seconds(false);
        fastest = i == 0 ? seconds : std::min(fastest, seconds);
    }
    return fastest;
}

void BM_StepPreparation(benchmark::State& state, Ramp ramp) {
    for (auto _ : state) {
        state.SetIterationTime(step_preparation_seconds(ramp, static_cast<double>(state.range(0))));
    }
}

void BM_WriteBack(benchmark::State& state) {
    for (auto _ : state) {
        state.SetIterationTime(write_back_seconds(state.range(0) == 16));
    }
}

void BM_Render(benchmark::State& state, Ramp ramp) {
    const double amount = static_cast<double>(state.range(0));
    Scene& s = scene();
    host::EmulatedHost effect(module_path());
    effect.set_layer_size(kWidth, kHeight);
    if (effect.open_sequence() != PF_Err_NONE) {
        state.SkipWithError("the module did not open a sequence");
        return;
    }
    effect.set_value("Bokeh Amount", amount);
    effect.set_value("Quality", kHighQuality);
    effect.set_value("Distance Precision", kPrecision);
    effect.set_value("On-Focus Distance", kFocus);
    effect.set_layer("Distance Layer", ramp == Ramp::kNone ? nullptr : layer_for(ramp));
    host::World output(kWidth, kHeight);
    reset_peak_memory();
    double rendering = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (effect.render(s.frame, output) != PF_Err_NONE) {
            state.SkipWithError(effect.out_data().return_msg);
            return;
        }
        rendering +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double per_render = rendering / static_cast<double>(state.iterations());
    state.counters["peak_MB"] = peak_megabytes();
    state.counters["s_per_render"] = per_render;
    state.counters["outside_engine_%"] = 100.0 * driver_seconds(ramp, amount) / per_render;
}

}  // namespace

BENCHMARK(BM_WriteBack)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK_CAPTURE(BM_StepPreparation, rows, Ramp::kRows)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK_CAPTURE(BM_StepPreparation, columns, Ramp::kColumns)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK_CAPTURE(BM_Render, depth_ramp, Ramp::kRows)
    ->Arg(20)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Render, depth_ramp_across, Ramp::kColumns)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Render, no_depth, Ramp::kNone)
    ->Arg(20)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
