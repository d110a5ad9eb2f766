// Whole renders of a full HD 8-bit frame through the built module and the emulated host, with a
// Distance Layer ramp over all 256 values and without one, at Bokeh Amount 20 and 60.
//
// Besides the time of a render, each case reports the share of it spent outside the engine (the
// driver's step extraction, blur masks and write-back, timed on the same inputs through the
// render library) and the process's peak resident memory so far. The targets: an HD render in
// at most 300 MB, and the driver's share of a depth render under 20%.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "engine/bokeh_engine.h"
#include "host/emulated_host.h"
#include "render/distance_steps.h"
#include "render/step_preparation.h"
#include "render/step_workspace.h"
#include "render/write_back.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr double kFocus = 128.0;
constexpr int kPrecision = 10;
constexpr int kHighQuality = 5;
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

// A photograph-like frame: gradients, fine grain, soft blobs of colour and bright points that
// bloom into discs.
void paint_frame(host::World& frame) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> grain(-12, 12);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double u = static_cast<double>(x) / kWidth;
            const double v = static_cast<double>(y) / kHeight;
            const auto level = [&](double share) {
                return static_cast<uint8_t>(
                    std::clamp(static_cast<int>(share * 255) + grain(rng), 0, 255));
            };
            frame.pixel8(x, y) = PF_Pixel8{255, level(0.2 + 0.6 * u * (1 - v)),
                                           level(0.3 + 0.3 * std::sin(12 * u) * std::cos(7 * v)),
                                           level(0.5 + 0.4 * v - 0.2 * u)};
        }
    }
    std::uniform_int_distribution<int> px(0, kWidth - 1), py(0, kHeight - 1);
    for (int i = 0; i < 3000; ++i) {
        frame.pixel8(px(rng), py(rng)) = PF_Pixel8{255, 255, 250, 235};
    }
}

void paint_ramp(host::World& layer) {
    for (int y = 0; y < kHeight; ++y) {
        const auto distance = static_cast<uint8_t>(y * 256 / kHeight);
        for (int x = 0; x < kWidth; ++x) {
            layer.pixel8(x, y) = PF_Pixel8{255, distance, 0, 0};
        }
    }
}

struct Scene {
    host::World frame{kWidth, kHeight};
    host::World ramp{kWidth, kHeight};
    Scene() {
        paint_frame(frame);
        paint_ramp(ramp);
    }
};

Scene& scene() {
    static Scene shared;
    return shared;
}

std::string module_path() {
    return (std::filesystem::path(QB_PLUGIN_DIR) / "QuilAE.aex").string();
}

double peak_megabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0 / kBytesPerMegabyte;
}

// The driver's own work for one render: every step's extraction and mask, and the write-back.
double driver_seconds(bool with_depth, double amount) {
    Scene& s = scene();
    std::vector<uint8_t> distances(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        std::fill_n(distances.begin() + static_cast<std::ptrdiff_t>(y) * kWidth, kWidth,
                    static_cast<uint8_t>(y * 256 / kHeight));
    }
    const render::DistanceSteps steps =
        with_depth ? render::cut_distance_steps(
                         render::count_distances(distances.data(), distances.size()), kPrecision,
                         kFocus, amount)
                   : render::single_distance_step(amount);
    render::StepSource source;
    source.input = render::ConstPixelRows{static_cast<const uint8_t*>(s.frame.def().data),
                                          s.frame.rowbytes(), render::ChannelDepth::k8};
    source.distances = with_depth ? distances.data() : nullptr;
    source.distance_stride = kWidth;
    source.width = kWidth;
    source.height = kHeight;
    source.step_count = steps.step_count;
    render::StepWorkspace workspace;
    const char* failure = nullptr;
    workspace.allocate(kWidth, kHeight, &failure);
    std::vector<uint8_t> buffer(static_cast<size_t>(kWidth) * kHeight * 4);
    std::vector<uint8_t> mask(static_cast<size_t>(kWidth) * kHeight);
    std::vector<float> light(static_cast<size_t>(kWidth) * kHeight * 4, 0.5f);
    std::vector<float> weights(static_cast<size_t>(kWidth) * kHeight, 1.0f);
    host::World output(kWidth, kHeight);

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
    render::WriteBackSettings settings;
    settings.mid_light = 0.6f;
    render::write_back(light.data(), weights.data(), kWidth, kHeight, source.input,
                       render::PixelRows{static_cast<uint8_t*>(output.def().data),
                                         output.rowbytes(), render::ChannelDepth::k8},
                       settings);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The write-back alone on an HD region whose light spans every level, 8-bit and 16-bit.
void BM_WriteBack(benchmark::State& state) {
    const bool deep = state.range(0) == 16;
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
    for (auto _ : state) {
        render::write_back(light.data(), weights.data(), kWidth, kHeight,
                           render::ConstPixelRows{static_cast<const uint8_t*>(input.def().data),
                                                  input.rowbytes(), channel_depth},
                           render::PixelRows{static_cast<uint8_t*>(output.def().data),
                                             output.rowbytes(), channel_depth},
                           settings);
        benchmark::ClobberMemory();
    }
}

void BM_Render(benchmark::State& state, bool with_depth) {
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
    effect.set_layer("Distance Layer", with_depth ? &s.ramp : nullptr);
    host::World output(kWidth, kHeight);
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
    state.counters["s_per_render"] = per_render;
    state.counters["outside_engine_%"] = 100.0 * driver_seconds(with_depth, amount) / per_render;
    state.counters["peak_MB"] = peak_megabytes();
}

}  // namespace

BENCHMARK(BM_WriteBack)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Render, depth_ramp, true)
    ->Arg(20)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Render, no_depth, false)
    ->Arg(20)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);
