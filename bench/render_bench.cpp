// Whole renders of a full HD 8-bit frame through the built module and the emulated host, with a
// Distance Layer ramp over all 256 values (down the rows, and across the columns) and without
// one, at Bokeh Amount 20 and 60; and the driver's own stages alone.
//
// Besides the time of a render, each case reports the share of it spent outside the engine (the
// driver's step extraction, blur masks and write-back, timed on the same inputs through the
// render library) and the peak resident memory while it rendered (the host's layers included).
// The targets: an HD render in at most 300 MB, and the driver's share of a depth render under 20%.
//
// Stage shares: a render's stages replayed through the libraries, each timed on its own, against
// the whole render through the module: step preparation (extraction and blur masks), the
// passes' set-up (pre-processing, iris and stamp), their sums (light conversion and the walk or
// the transforms), the write-back, and the rest (allocating and clearing buffers, loading the
// shape, the host).
//
// The same frame as 16-bit and as float light renders side by side, with and without depth: a
// float render may take at most 1.3 times the 16-bit one, and at most 1.5 times its peak memory.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/support/bench_memory.h"
#include "bench/support/bench_pass.h"
#include "bench/support/bench_scene.h"
#include "engine/light_curve.h"
#include "engine/pass_parts.h"
#include "engine/size_pattern.h"
#include "host/emulated_host.h"
#include "platform/kept_threads.h"
#include "render/distance_steps.h"
#include "render/engine_pass.h"
#include "render/step_preparation.h"
#include "render/step_workspace.h"
#include "render/write_back.h"
#include "scatter/render_pass.h"
#include "shapes/shape_catalogue.h"

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

// Large blocks always come from the system and go back to it when freed. Otherwise the C library
// raises its threshold for them after the first such free and keeps later ones in its own heap,
// where a case would reuse pages an earlier case made resident and its peak would not be its own.
constexpr int kLargeBlockBytes = 128 * 1024;
[[maybe_unused]] const bool large_blocks_from_the_system =
    mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes) == 1;

std::string module_path() {
    return (std::filesystem::path(QB_PLUGIN_DIR) / "QuilAE.aex").string();
}

// The largest resident set since the last reset_peak_memory(), from the kernel's high-water mark;
// where the mark cannot be reset, the process's peak so far.
double peak_megabytes() {
    if (const std::optional<double> peak = bench::status_megabytes("VmHWM")) {
        return *peak;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0 / kBytesPerMegabyte;
}

// What is resident now.
double resident_megabytes() {
    return bench::status_megabytes("VmRSS").value_or(0.0);
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

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A render's distance steps and the driver's inputs for them, made once, outside the timing.
struct RenderSteps {
    RenderSteps(Ramp ramp, double amount)
        : distances(ramp_distances(ramp)),
          steps(ramp == Ramp::kNone
                    ? render::single_distance_step(amount)
                    : render::cut_distance_steps(
                          render::count_distances(distances.data(), distances.size()), kPrecision,
                          kFocus, amount)),
          buffer(static_cast<size_t>(kWidth) * kHeight * 4),
          mask(static_cast<size_t>(kWidth) * kHeight) {
        host::World& frame = scene().frame;
        source.input = render::ConstPixelRows{static_cast<const uint8_t*>(frame.def().data),
                                              frame.rowbytes(), render::ChannelDepth::k8};
        source.distances = ramp == Ramp::kNone ? nullptr : distances.data();
        source.distance_stride = kWidth;
        source.width = kWidth;
        source.height = kHeight;
        source.step_count = steps.step_count;
        const char* failure = nullptr;
        workspace.allocate(kWidth, kHeight, &failure);
    }

    render::PixelRows step_pixels() {
        return render::PixelRows{buffer.data(), kWidth * 4, render::ChannelDepth::k8};
    }

    // The step's pixels and blur mask, as the driver extracts them.
    void prepare(const render::DistanceStep& step) {
        render::prepare_step(source, step, odd_diameter(step.blur, false), step_pixels(),
                             mask.data(), workspace);
    }

    std::vector<uint8_t> distances;
    render::DistanceSteps steps;
    render::StepSource source;
    render::StepWorkspace workspace;
    std::vector<uint8_t> buffer;
    std::vector<uint8_t> mask;
};

// Every step's extraction and mask for one render, as the driver prepares them.
class StepPreparation {
  public:
    StepPreparation(Ramp ramp, double amount) : render_(ramp, amount) {}

    double seconds() {
        const auto start = std::chrono::steady_clock::now();
        render::measure_step_source(render_.source, render_.workspace);
        for (int i = 0; i < render_.steps.step_count; ++i) {
            const render::DistanceStep& step = render_.steps.steps[static_cast<size_t>(i)];
            if (!step.empty()) {
                render_.prepare(step);
            }
        }
        return seconds_since(start);
    }

  private:
    RenderSteps render_;
    // Helper threads kept from step to step, as a render keeps them.
    platform::TeamHelpers team_helpers_;
};

// The write-back of an HD region holding the frame's own light. A render's light is the frame's
// spread over discs, which varies less from pixel to pixel than the frame itself; light drawn at
// random, which no picture gives, made every level search miss the cache and the branch
// predictor and measured that instead.
class WriteBack {
  public:
    explicit WriteBack(bool deep)
        : depth_(deep ? render::ChannelDepth::k16 : render::ChannelDepth::k8),
          input_(kWidth, kHeight, deep ? host::World::Depth::k16 : host::World::Depth::k8),
          output_(kWidth, kHeight, deep ? host::World::Depth::k16 : host::World::Depth::k8) {
        const std::vector<uint8_t> frame = bench::packed_pixels(scene().frame);
        light_.resize(frame.size());
        for (size_t i = 0; i < frame.size(); ++i) {
            light_[i] = RGB_to_Light8(frame[i], kHardness, 1.0, 1.0);
        }
        weights_.assign(frame.size() / 4, 1.0f);
        settings_.mid_light = 1.0f;
        settings_.hardness = kHardness;
    }

    double seconds() {
        const auto start = std::chrono::steady_clock::now();
        render::write_back(light_.data(), weights_.data(), kWidth, kHeight,
                           render::ConstPixelRows{static_cast<const uint8_t*>(input_.def().data),
                                                  input_.rowbytes(), depth_},
                           render::PixelRows{static_cast<uint8_t*>(output_.def().data),
                                             output_.rowbytes(), depth_},
                           settings_);
        return seconds_since(start);
    }

  private:
    static constexpr double kHardness = 1.5;

    render::ChannelDepth depth_;
    host::World input_;
    host::World output_;
    std::vector<float> light_;
    std::vector<float> weights_;
    render::WriteBackSettings settings_;
};

void BM_StepPreparation(benchmark::State& state, Ramp ramp) {
    StepPreparation preparation(ramp, static_cast<double>(state.range(0)));
    for (auto _ : state) {
        state.SetIterationTime(preparation.seconds());
    }
}

void BM_WriteBack(benchmark::State& state) {
    WriteBack write_back(state.range(0) == 16);
    for (auto _ : state) {
        state.SetIterationTime(write_back.seconds());
    }
}

// Opens a sequence of the HD frame on the module and sets a render's controls; false when the
// module refuses the sequence.
bool open_effect(host::EmulatedHost& effect, Ramp ramp, double amount) {
    effect.set_layer_size(kWidth, kHeight);
    const bool opened = effect.open_sequence() == PF_Err_NONE;
    effect.set_value("Bokeh Amount", amount);
    effect.set_value("Quality", kHighQuality);
    effect.set_value("Distance Precision", kPrecision);
    effect.set_value("On-Focus Distance", kFocus);
    effect.set_layer("Distance Layer", ramp == Ramp::kNone ? nullptr : layer_for(ramp));
    return opened;
}

// After each render, outside its time, the driver's own work for it (every step's extraction
// and mask, and the write-back) runs alone. The share is the fastest of these against the
// fastest render, both taken over the same stretch of time, so that a machine busy with other
// work for a moment weighs on neither.
void BM_Render(benchmark::State& state, Ramp ramp) {
    const double amount = static_cast<double>(state.range(0));
    Scene& s = scene();
    host::EmulatedHost effect(module_path());
    if (!open_effect(effect, ramp, amount)) {
        state.SkipWithError("the module did not open a sequence");
        return;
    }
    host::World output(kWidth, kHeight);
    // The peak of a first render, before the driver's own inputs below take their memory.
    bench::reset_peak_memory();
    if (effect.render(s.frame, output) != PF_Err_NONE) {
        state.SkipWithError(effect.out_data().return_msg);
        return;
    }
    state.counters["peak_MB"] = peak_megabytes();
    StepPreparation preparation(ramp, amount);
    WriteBack write_back(false);
    double rendering = 0.0;
    double fastest_render = 0.0;
    double fastest_driver = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (effect.render(s.frame, output) != PF_Err_NONE) {
            state.SkipWithError(effect.out_data().return_msg);
            return;
        }
        const double seconds = seconds_since(start);
        state.SetIterationTime(seconds);
        rendering += seconds;
        const double driver = preparation.seconds() + write_back.seconds();
        const bool first = fastest_render == 0.0;
        fastest_render = first ? seconds : std::min(fastest_render, seconds);
        fastest_driver = first ? driver : std::min(fastest_driver, driver);
    }
    state.counters["s_per_render"] = rendering / static_cast<double>(state.iterations());
    state.counters["outside_engine_%"] = 100.0 * fastest_driver / fastest_render;
}

// One render's stages through the libraries, on the HD frame, as the module runs them.
class StagedRender {
  public:
    struct Seconds {
        double preparation = 0.0;
        double set_up = 0.0;
        double sums = 0.0;
        double write_back = 0.0;
    };

    StagedRender(Ramp ramp, double amount)
        : render_(ramp, amount), light_(render_.buffer.size()), weights_(render_.mask.size()) {
        // The shape file the render picks for the amount: the smallest at least its disc.
        char chosen[platform::kPathBufferSize] = {};
        const int disc = static_cast<int>(std::ceil(amount + 1.0)) | 1;
        find_shape_size_file(QB_PLUGIN_DIR "/pattern/06", disc, chosen);
        shapes::load_shape_image(chosen, shape_file_, shape_);
    }
    StagedRender(const StagedRender&) = delete;
    StagedRender& operator=(const StagedRender&) = delete;
    ~StagedRender() { platform::release_array(shape_); }

    // False when a pass failed.
    bool run(Seconds& seconds) {
        std::fill(light_.begin(), light_.end(), 0.0f);
        std::fill(weights_.begin(), weights_.end(), 0.0f);
        auto start = std::chrono::steady_clock::now();
        render::measure_step_source(render_.source, render_.workspace);
        seconds.preparation += seconds_since(start);
        float mid_light = 0.0f;
        for (int i = 0; i < render_.steps.step_count; ++i) {
            const render::DistanceStep& step = render_.steps.steps[static_cast<size_t>(i)];
            if (step.empty()) {
                continue;
            }
            start = std::chrono::steady_clock::now();
            render_.prepare(step);
            seconds.preparation += seconds_since(start);
            if (!run_pass(step, seconds, mid_light)) {
                return false;
            }
        }
        start = std::chrono::steady_clock::now();
        render::WriteBackSettings settings;
        settings.mid_light = mid_light;
        render::write_back(light_.data(), weights_.data(), kWidth, kHeight, render_.source.input,
                           render_.step_pixels(), settings);
        seconds.write_back += seconds_since(start);
        return true;
    }

  private:
    bool run_pass(const render::DistanceStep& step, Seconds& seconds, float& mid_light) {
        render::PassBuffers buffers =
            bench::frame_buffers(kWidth, kHeight, render_.buffer.data(), light_.data(),
                                 weights_.data(), shape_, shape_file_);
        buffers.mask = render_.mask.data();
        buffers.row_work = render_.workspace.row_work;
        render::PassSettings settings;
        settings.quality = kHighQuality;
        const PassInputs in = render::pass_inputs(buffers, settings, step);
        auto start = std::chrono::steady_clock::now();
        PassParts parts;
        if (!build_pass_parts(in, parts, engine_.photons).ok()) {
            return false;
        }
        seconds.set_up += seconds_since(start);
        start = std::chrono::steady_clock::now();
        const scatter::PassView view(in, parts.source, parts.stamp, engine_.photons);
        const Accumulator out{light_.data(), kWidth * 4, weights_.data()};
        const bool summed = scatter::run_pix_loop(view, out, engine_.light_tables, nullptr).ok();
        seconds.sums += seconds_since(start);
        mid_light = engine_.photons.mid_light;
        return summed;
    }

    RenderSteps render_;
    std::vector<float> light_;
    std::vector<float> weights_;
    shapes::ShapeFile shape_file_;
    uint8_t* shape_ = nullptr;
    BokehEngine engine_;
};

// The fastest whole render and the fastest of each stage, over the same stretch of time.
void BM_RenderStages(benchmark::State& state, Ramp ramp) {
    const double amount = static_cast<double>(state.range(0));
    host::EmulatedHost effect(module_path());
    if (!open_effect(effect, ramp, amount)) {
        state.SkipWithError("the module did not open a sequence");
        return;
    }
    host::World output(kWidth, kHeight);
    StagedRender staged(ramp, amount);
    double fastest_render = 0.0;
    StagedRender::Seconds fastest;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (effect.render(scene().frame, output) != PF_Err_NONE) {
            state.SkipWithError(effect.out_data().return_msg);
            return;
        }
        const double seconds = seconds_since(start);
        state.SetIterationTime(seconds);
        StagedRender::Seconds stages;
        if (!staged.run(stages)) {
            state.SkipWithError("a pass of the replayed render failed");
            return;
        }
        const bool first = fastest_render == 0.0;
        const auto keep = [first](double& kept, double now) {
            kept = first ? now : std::min(kept, now);
        };
        keep(fastest_render, seconds);
        keep(fastest.preparation, stages.preparation);
        keep(fastest.set_up, stages.set_up);
        keep(fastest.sums, stages.sums);
        keep(fastest.write_back, stages.write_back);
    }
    const auto share = [fastest_render](double seconds) {
        return 100.0 * seconds / fastest_render;
    };
    state.counters["s_render"] = fastest_render;
    state.counters["prepare_%"] = share(fastest.preparation);
    state.counters["set_up_%"] = share(fastest.set_up);
    state.counters["sums_%"] = share(fastest.sums);
    state.counters["write_back_%"] = share(fastest.write_back);
    state.counters["rest_%"] = share(fastest_render - fastest.preparation - fastest.set_up -
                                     fastest.sums - fastest.write_back);
}

// The frame at another depth: 16-bit levels, or float light (white 1).
host::World frame_at(host::World::Depth depth) {
    constexpr double kMax8 = 255.0;
    constexpr double kMax16 = 32768.0;
    const host::World& frame = scene().frame;
    host::World world(kWidth, kHeight, depth);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const PF_Pixel8& p = frame.pixel8(x, y);
            if (depth == host::World::Depth::kFloat) {
                const auto light = [](uint8_t v) { return static_cast<float>(v / kMax8); };
                world.pixel_float(x, y) =
                    PF_PixelFloat{light(p.alpha), light(p.red), light(p.green), light(p.blue)};
            } else {
                const auto level = [](uint8_t v) {
                    return static_cast<uint16_t>(std::lround(v * kMax16 / kMax8));
                };
                world.pixel16(x, y) =
                    PF_Pixel16{level(p.alpha), level(p.red), level(p.green), level(p.blue)};
            }
        }
    }
    return world;
}

// One depth's renders of the frame. Its first render measures memory: the peak beyond what was
// resident before the host's frames were made (frames and render), and beyond what was resident
// once they were (the render's own).
class DepthRenders {
  public:
    DepthRenders(Ramp ramp, double amount, host::World::Depth depth)
        : before_frames_(reset_and_measure()),
          input_(frame_at(depth)),
          output_(kWidth, kHeight, depth),
          effect_(module_path()) {
        ok_ = open_effect(effect_, ramp, amount);
        const double before_render = resident_megabytes();
        ok_ = ok_ && render() >= 0.0;
        with_frames_ = peak_megabytes() - before_frames_;
        own_ = peak_megabytes() - before_render;
    }

    bool ok() const { return ok_; }
    double with_frames() const { return with_frames_; }
    double own() const { return own_; }

    // Seconds, or -1 when the render failed.
    double render() {
        const auto start = std::chrono::steady_clock::now();
        return effect_.render(input_, output_) == PF_Err_NONE ? seconds_since(start) : -1.0;
    }

  private:
    static double reset_and_measure() {
        bench::reset_peak_memory();
        return resident_megabytes();
    }

    double before_frames_;
    host::World input_;
    host::World output_;
    host::EmulatedHost effect_;
    bool ok_ = false;
    double with_frames_ = 0.0;
    double own_ = 0.0;
};

// Renders of the 16-bit and the float frame take turns, so that a busy moment of the machine
// weighs on both alike; each side keeps its fastest.
void BM_FloatAgainstSixteenBit(benchmark::State& state, Ramp ramp) {
    const double amount = static_cast<double>(state.range(0));
    DepthRenders deep(ramp, amount, host::World::Depth::k16);
    DepthRenders light(ramp, amount, host::World::Depth::kFloat);
    if (!deep.ok() || !light.ok()) {
        state.SkipWithError("a first render failed");
        return;
    }
    double fastest_deep = 0.0;
    double fastest_light = 0.0;
    for (auto _ : state) {
        const double deep_seconds = deep.render();
        const double light_seconds = light.render();
        if (deep_seconds < 0.0 || light_seconds < 0.0) {
            state.SkipWithError("a render failed");
            return;
        }
        state.SetIterationTime(light_seconds);
        const bool first = fastest_deep == 0.0;
        fastest_deep = first ? deep_seconds : std::min(fastest_deep, deep_seconds);
        fastest_light = first ? light_seconds : std::min(fastest_light, light_seconds);
    }
    state.counters["s_16bit"] = fastest_deep;
    state.counters["s_float"] = fastest_light;
    state.counters["time_float/16bit"] = fastest_light / fastest_deep;
    state.counters["MB_16bit"] = deep.with_frames();
    state.counters["MB_float"] = light.with_frames();
    state.counters["MB_float/16bit"] = light.with_frames() / deep.with_frames();
    state.counters["render_MB_float/16bit"] = light.own() / deep.own();
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
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Render, depth_ramp_across, Ramp::kColumns)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_Render, no_depth, Ramp::kNone)
    ->Arg(20)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_RenderStages, no_depth, Ramp::kNone)
    ->Arg(20)
    ->Arg(60)
    ->Arg(300)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_RenderStages, depth_ramp, Ramp::kRows)
    ->Arg(20)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_FloatAgainstSixteenBit, depth_ramp, Ramp::kRows)
    ->Arg(20)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_FloatAgainstSixteenBit, no_depth, Ramp::kNone)
    ->Arg(20)
    ->Arg(60)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2.0);
