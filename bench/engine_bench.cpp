// Stamp and photon preparation of one pass: prepare_pattern plus make_photon on the default
// iris shape; and the packing and measuring of that iris, which every pass does first.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/support/bench_pass.h"
#include "engine/channel_levels.h"
#include "engine/iris_pattern.h"
#include "engine/pass_inputs.h"
#include "engine/photons.h"
#include "engine/size_pattern.h"
#include "engine/stamp.h"
#include "platform/allocation.h"
#include "shapes/shape_loader.h"

namespace {

constexpr int32_t kShapeBytes = 3;
constexpr double kHardness = 1.5;
constexpr double kBrightness = 1.0;

// The default iris shape as the module loads it; empty when it cannot be read.
struct LoadedShape {
    shapes::ShapeFile file;
    platform::OwnedArray<uint8_t> pixels;

    LoadedShape() {
        uint8_t* loaded = nullptr;
        shapes::load_shape_image(bench::kShapeFile, file, loaded);
        pixels = platform::OwnedArray<uint8_t>::adopt(loaded);
    }

    IrisImage iris() const {
        return IrisImage{false,
                         kShapeBytes,
                         static_cast<int32_t>(file.width),
                         static_cast<int32_t>(file.height),
                         pixels.get(),
                         file.rowbytes};
    }
};

void BM_StampAndPhotons(benchmark::State& state) {
    const auto diameter = static_cast<double>(state.range(0));
    const int32_t levels = state.range(1) == 16 ? kLevels16 : kLevels8;
    const LoadedShape shape;
    if (!shape.pixels) {
        state.SkipWithError("no shape file");
        return;
    }
    PassInputs in;
    in.iris = shape.iris();
    in.source.levels = levels;
    in.blur = diameter;
    in.hardness = kHardness;
    in.quality = bench::kHighQuality;
    IrisPattern pattern;
    pattern.pack_pattern_alpha(in.iris);
    pattern.measure_pattern();
    auto photons = std::make_unique<PhotonLight>();

    SizePattern sized;
    Stamp stamp;
    for (auto _ : state) {
        EngineStatus status = prepare_pattern(pattern, in, sized, stamp);
        if (status.ok()) {
            status = photons->make_photon(levels, kHardness, kBrightness);
        }
        if (!status.ok()) {
            state.SkipWithError(status.message);
            break;
        }
        state.PauseTiming();
        // The packed iris stays; only the stamp is made anew each time.
        sized.m_mapzp.reset();
        stamp.newPattern.reset();
        state.ResumeTiming();
    }
    state.counters["value_count"] = stamp.value_count;
}

void BM_PackIris(benchmark::State& state) {
    const LoadedShape shape;
    if (!shape.pixels) {
        state.SkipWithError("no shape file");
        return;
    }
    for (auto _ : state) {
        IrisPattern pattern;
        if (const EngineStatus status = pattern.pack_pattern_alpha(shape.iris()); !status.ok()) {
            state.SkipWithError(status.message);
            break;
        }
        pattern.measure_pattern();
        benchmark::DoNotOptimize(pattern.channels());
    }
    state.counters["cells"] = static_cast<double>(shape.file.width) * shape.file.height;
}

}  // namespace

BENCHMARK(BM_PackIris)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StampAndPhotons)
    ->ArgNames({"diameter", "bits"})
    ->Args({21, 8})
    ->Args({301, 8})
    ->Args({21, 16})
    ->Args({301, 16})
    ->Unit(benchmark::kMillisecond);
