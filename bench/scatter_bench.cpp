// The scatter loop on a full HD 8-bit frame with a disc iris at High quality: the plain and the
// vector kernel updating their sums along each row, against a full gather at every pixel.
//
// After the runs a summary prints the two ratios the incremental kernels are held to: a pass at
// the large diameter may cost at most 3.5 times one at the small diameter, and at the large
// diameter the incremental gather must be at least 5 times faster than the full gather.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/bokeh_engine.h"
#include "tests/engine/engine_fixtures.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kIrisSide = 511;
constexpr int32_t kIrisBytes = 3;
constexpr uint16_t kHighQuality = 5;
constexpr double kHardness = 1.5;
constexpr int kSmallDiameter = 21;
constexpr int kLargeDiameter = 61;
// A full gather is slow: it is timed on every 16th row, which is enough for its rate.
constexpr int32_t kFullGatherRowStep = 16;
constexpr double kMegapixel = 1e6;
const char* const kRateCounter = "MP/s";

// One pass's inputs and stamp, prepared once per diameter and kept for all runs.
struct PreparedPass {
    std::unique_ptr<BokehEngine> engine = std::make_unique<BokehEngine>();
    std::vector<uint8_t> source;
    std::vector<uint8_t> iris;
    std::vector<float> accum;
    std::vector<float> weight;
    bool ready = false;  // every stage before the scatter loop succeeded
};

// A photograph-like frame: smooth gradients of every channel with a little grain, and a band
// of transparent pixels.
std::vector<uint8_t> test_frame() {
    std::vector<uint8_t> frame(static_cast<size_t>(kWidth) * kHeight * 4);
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> grain(-8, 8);
    auto level = [&](double share) {
        return static_cast<uint8_t>(
            std::clamp(static_cast<int>(share * 255.0) + grain(rng), 0, 255));
    };
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            uint8_t* pixel = &frame[(static_cast<size_t>(y) * kWidth + x) * 4];
            const double u = static_cast<double>(x) / kWidth;
            const double v = static_cast<double>(y) / kHeight;
            pixel[0] = (y / 90) % 6 == 5 ? 0 : 255;
            pixel[1] = level(u);
            pixel[2] = level(v);
            pixel[3] = level(0.5 + 0.5 * std::sin(12.0 * u * v));
        }
    }
    return frame;
}

PreparedPass& pass_for(int diameter) {
    static std::map<int, PreparedPass> passes;
    auto [it, fresh] = passes.try_emplace(diameter);
    PreparedPass& pass = it->second;
    if (!fresh) {
        return pass;
    }
    pass.source = test_frame();
    pass.iris = engine_test::disc_image(kIrisSide, kIrisBytes, 255);
    pass.accum.assign(static_cast<size_t>(kWidth) * kHeight * 4, 0.0f);
    pass.weight.assign(static_cast<size_t>(kWidth) * kHeight, 0.0f);
    BokehEngine& e = *pass.engine;
    engine_test::set_up_frame_pass(
        e, {kWidth, kHeight, pass.source.data(), pass.accum.data(), pass.weight.data(), &pass.iris,
            kIrisSide, static_cast<double>(diameter), kHardness, 1.0f});
    e.quality = kHighQuality;
    e.hardness = kHardness;
    e.brightness = 1.0;
    e.mid_level = 127;
    // The stages of render_bokeh up to the scatter loop, which the benchmarks then repeat.
    if (!e.pre_process_RGB_cf()) {
        return pass;
    }
    e.pack_pattern_alpha();
    e.measure_pattern();
    pass.ready = e.prepare_pattern() && e.make_photon(kHardness, 1.0);
    return pass;
}

bool ready(benchmark::State& state, const PreparedPass& pass) {
    const BokehEngine& e = *pass.engine;
    if (!pass.ready) {
        state.SkipWithError(e.message);
        return false;
    }
    if (e.has_holes) {
        state.SkipWithError("the disc stamp has holes: every pixel would be gathered in full");
        return false;
    }
    return true;
}

void report_rate(benchmark::State& state, int64_t pixels_per_iteration) {
    state.counters[kRateCounter] = benchmark::Counter(
        static_cast<double>(pixels_per_iteration) * state.iterations() / kMegapixel,
        benchmark::Counter::kIsRate);
}

// A whole pass through run_pix_loop; range(1) selects the vector kernel.
void BM_Pass(benchmark::State& state) {
    PreparedPass& pass = pass_for(static_cast<int>(state.range(0)));
    BokehEngine& e = *pass.engine;
    if (!ready(state, pass)) {
        return;
    }
    e.use_simd = static_cast<int32_t>(state.range(1));
    for (auto _ : state) {
        e.run_pix_loop();
    }
    report_rate(state, int64_t{kWidth} * kHeight);
}

// The plain kernel restarted at every pixel, as for a stamp with holes.
void BM_FullGather(benchmark::State& state) {
    PreparedPass& pass = pass_for(static_cast<int>(state.range(0)));
    BokehEngine& e = *pass.engine;
    if (!ready(state, pass)) {
        return;
    }
    KernelResult result;
    int64_t pixels = 0;
    for (auto _ : state) {
        pixels = 0;
        for (e.cur_y = 0; e.cur_y < kHeight; e.cur_y += kFullGatherRowStep) {
            for (e.cur_x = 0; e.cur_x < kWidth; ++e.cur_x) {
                e.gather_plain(&result, 1);
                ++pixels;
            }
        }
        benchmark::DoNotOptimize(result);
    }
    report_rate(state, pixels);
}

// Prints the runs as usual and keeps each one's rate for the summary.
class RateReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto counter = run.counters.find(kRateCounter);
            if (!run.error_occurred && counter != run.counters.end()) {
                rates_[run.benchmark_name()] = counter->second.value;
            }
        }
    }

    void print_summary() const {
        std::printf("\nCost of a pass at D = %d over one at D = %d (at most 3.5):\n",
                    kLargeDiameter, kSmallDiameter);
        for (const char* kernel : {"plain", "vector"}) {
            const double small = rate(pass_name(kSmallDiameter, kernel));
            const double large = rate(pass_name(kLargeDiameter, kernel));
            std::printf("  %-6s %.2f\n", kernel, large > 0.0 ? small / large : 0.0);
        }
        const double full = rate(full_name(kLargeDiameter));
        std::printf("Incremental over full gather at D = %d (at least 5):\n", kLargeDiameter);
        for (const char* kernel : {"plain", "vector"}) {
            const double incremental = rate(pass_name(kLargeDiameter, kernel));
            std::printf("  %-6s %.2f\n", kernel, full > 0.0 ? incremental / full : 0.0);
        }
    }

  private:
    static std::string pass_name(int diameter, const char* kernel) {
        return "BM_Pass/diameter:" + std::to_string(diameter) +
               "/simd:" + (std::string(kernel) == "vector" ? "1" : "0");
    }
    static std::string full_name(int diameter) {
        return "BM_FullGather/diameter:" + std::to_string(diameter);
    }
    double rate(const std::string& name) const {
        const auto it = rates_.find(name);
        return it == rates_.end() ? 0.0 : it->second;
    }

    std::map<std::string, double> rates_;
};

}  // namespace

BENCHMARK(BM_Pass)
    ->ArgNames({"diameter", "simd"})
    ->ArgsProduct({{kSmallDiameter, kLargeDiameter}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullGather)
    ->ArgNames({"diameter"})
    ->Arg(kSmallDiameter)
    ->Arg(kLargeDiameter)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_summary();
    benchmark::Shutdown();
    return 0;
}
