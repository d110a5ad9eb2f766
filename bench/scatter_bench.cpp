// The scatter loop on a full HD 8-bit frame with the default iris shape at High quality: the plain
// and the vector kernel updating their sums along each row, against a full gather at every pixel;
// and, on one thread, the vector kernels' walk against the sums through transforms for discs
// from small to large, the figures the pass's choice between the two is set from.
//
// Besides, the loop over a depth step's narrow band on one and two threads, and the conversion
// of the frame's levels to the light the kernels read.
//
// After the runs a summary prints the two ratios the incremental kernels are held to: a pass at
// the large diameter may cost at most 3 times one at the small diameter, and at the large
// diameter the incremental gather must be at least 5 times faster than the full gather.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/bench_pass.h"
#include "bench/support/bench_scene.h"
#include "scatter/gather_kernels.h"
#include "scatter/light_rows.h"

namespace {

constexpr int32_t kWidth = bench::kHdWidth;
constexpr int32_t kHeight = bench::kHdHeight;
constexpr double kHardness = 1.5;
constexpr int kSmallDiameter = 21;
constexpr int kLargeDiameter = 61;
// A full gather is slow: it is timed on every 16th row, which is enough for its rate.
constexpr int32_t kFullGatherRowStep = 16;
constexpr double kMegapixel = 1e6;
const char* const kRateCounter = "MP/s";
// A step's band of a depth ramp over an HD frame in 36 steps, with some growth.
constexpr int32_t kBandRows = 40;
constexpr int kMethodDiameters[] = {21, 31, 41, 61, 101, 201, 301};

// One pass prepared up to its scatter loop, once per diameter and kept for all runs.
struct PreparedPass {
    std::unique_ptr<bench::EnginePass> pass;
    bool ready = false;  // every stage before the scatter loop succeeded
};

PreparedPass& pass_for(int diameter) {
    static const host::World picture = bench::photo(kWidth, kHeight);
    static std::map<int, PreparedPass> passes;
    auto [it, fresh] = passes.try_emplace(diameter);
    PreparedPass& prepared = it->second;
    if (fresh) {
        prepared.pass = std::make_unique<bench::EnginePass>(picture, static_cast<double>(diameter),
                                                            bench::kHighQuality, kHardness);
        prepared.ready = prepared.pass->shape_loaded() && prepared.pass->prepare_scatter();
    }
    return prepared;
}

bool ready(benchmark::State& state, PreparedPass& prepared) {
    if (!prepared.ready) {
        state.SkipWithError(prepared.pass->shape_loaded() ? prepared.pass->message()
                                                          : "no shape file");
        return false;
    }
    if (prepared.pass->stamp().has_holes) {
        state.SkipWithError("the stamp has holes: every pixel would be gathered in full");
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
    PreparedPass& prepared = pass_for(static_cast<int>(state.range(0)));
    if (!ready(state, prepared)) {
        return;
    }
    const bool simd = state.range(1) != 0;
    for (auto _ : state) {
        prepared.pass->run_pix_loop(simd);
    }
    report_rate(state, int64_t{kWidth} * kHeight);
}

// The plain kernel restarted at every pixel, as for a stamp with holes.
void BM_FullGather(benchmark::State& state) {
    PreparedPass& prepared = pass_for(static_cast<int>(state.range(0)));
    if (!ready(state, prepared)) {
        return;
    }
    const scatter::PassView view = prepared.pass->view();
    scatter::PixelKernels kernels(view);
    KernelResult result;
    int64_t pixels = 0;
    for (auto _ : state) {
        pixels = 0;
        for (int32_t y = 0; y < kHeight; y += kFullGatherRowStep) {
            for (int32_t x = 0; x < kWidth; ++x) {
                kernels.gather_plain(scatter::Position{x, y}, &result, 1);
                ++pixels;
            }
        }
        benchmark::DoNotOptimize(result);
    }
    report_rate(state, pixels);
}

// One pass's scatter loop on one thread, summed by the walk (range(1) 0) or through transforms.
void BM_SumMethods(benchmark::State& state) {
    PreparedPass& prepared = pass_for(static_cast<int>(state.range(0)));
    if (!ready(state, prepared)) {
        return;
    }
    const SumMethod method = state.range(1) == 0 ? SumMethod::kStampWalk : SumMethod::kTransform;
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(1);
    for (auto _ : state) {
        prepared.pass->run_pix_loop(true, method);
    }
    omp_set_num_threads(threads_before);
    report_rate(state, int64_t{kWidth} * kHeight);
}

// The scatter loop over a band of rows across the middle of the frame, as a depth ramp's step
// hands it to the pass, on range(1) threads: such passes are short, so what a pass does besides
// its rows (its light window, its threads' start and end) weighs on them most.
void BM_BandPass(benchmark::State& state) {
    PreparedPass& prepared = pass_for(static_cast<int>(state.range(0)));
    if (!ready(state, prepared)) {
        return;
    }
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(1)));
    const int32_t first = (kHeight - kBandRows) / 2;
    for (auto _ : state) {
        prepared.pass->run_band_loop(first, first + kBandRows);
    }
    omp_set_num_threads(threads_before);
    report_rate(state, int64_t{kWidth} * kBandRows);
}

// Every row of the frame converted to light, into a view of the whole frame padded as the
// pass pads its windows.
void BM_LightRows(benchmark::State& state) {
    PreparedPass& prepared = pass_for(kSmallDiameter);
    if (!ready(state, prepared)) {
        return;
    }
    const scatter::PassView view = prepared.pass->view();
    const int32_t pad = view.stamp.half_width + 1;
    std::vector<float> block(scatter::LightView::floats(kHeight, kWidth, pad));
    const scatter::LightView light =
        scatter::LightView::over(block.data(), kHeight, 0, kWidth, pad);
    for (auto _ : state) {
        scatter::convert_light_rows(view, light, 0, kHeight);
        benchmark::DoNotOptimize(block.data());
    }
    report_rate(state, int64_t{kWidth} * kHeight);
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
        std::printf("\nCost of a pass at D = %d over one at D = %d (at most 3):\n", kLargeDiameter,
                    kSmallDiameter);
        for (const char* kernel : {"plain", "vector"}) {
            const double small = rate(pass_name(kSmallDiameter, kernel));
            const double large = rate(pass_name(kLargeDiameter, kernel));
            print_ratio(kernel, small, large);
        }
        print_methods();
        const double full = rate(full_name(kLargeDiameter));
        std::printf("Incremental over full gather at D = %d (at least 5):\n", kLargeDiameter);
        for (const char* kernel : {"plain", "vector"}) {
            const double incremental = rate(pass_name(kLargeDiameter, kernel));
            print_ratio(kernel, incremental, full);
        }
    }

  private:
    void print_methods() const {
        std::printf("Seconds of a pass on one thread, walking the stamp and through transforms:\n");
        for (const int diameter : kMethodDiameters) {
            const double walk = rate(method_name(diameter, 0));
            const double transform = rate(method_name(diameter, 1));
            if (walk > 0.0 && transform > 0.0) {
                const double pixels = static_cast<double>(kWidth) * kHeight / kMegapixel;
                std::printf("  D = %-4d walk %.3f  transforms %.3f\n", diameter, pixels / walk,
                            pixels / transform);
            }
        }
    }
    static std::string method_name(int diameter, int method) {
        return "BM_SumMethods/diameter:" + std::to_string(diameter) +
               "/transform:" + std::to_string(method);
    }
    // A filter or aggregate-only output leaves some rates unmeasured; a ratio of them would
    // mislead.
    static void print_ratio(const char* kernel, double numerator, double denominator) {
        if (numerator > 0.0 && denominator > 0.0) {
            std::printf("  %-6s %.2f\n", kernel, numerator / denominator);
        } else {
            std::printf("  %-6s not measured in this run\n", kernel);
        }
    }
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

BENCHMARK(BM_LightRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pass)
    ->ArgNames({"diameter", "simd"})
    ->ArgsProduct({{kSmallDiameter, kLargeDiameter}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BandPass)
    ->ArgNames({"diameter", "threads"})
    ->ArgsProduct({{kSmallDiameter, kLargeDiameter}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SumMethods)
    ->ArgNames({"diameter", "transform"})
    ->ArgsProduct({std::vector<int64_t>(std::begin(kMethodDiameters), std::end(kMethodDiameters)),
                   {0, 1}})
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
