// Stamp and photon preparation of one pass: prepare_pattern plus make_photon on the default
// iris shape.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/support/bench_pass.h"
#include "engine/bokeh_engine.h"
#include "engine/channel_levels.h"
#include "platform/allocation.h"
#include "shapes/shape_loader.h"

namespace {

constexpr int32_t kShapeBytes = 3;

void BM_StampAndPhotons(benchmark::State& state) {
    const auto diameter = static_cast<double>(state.range(0));
    const int32_t levels = state.range(1) == 16 ? kLevels16 : kLevels8;
    shapes::ShapeFile file;
    uint8_t* shape = nullptr;
    shapes::load_shape_image(bench::kShapeFile, file, shape);
    if (shape == nullptr) {
        state.SkipWithError("no shape file");
        return;
    }
    auto engine = std::make_unique<BokehEngine>();
    engine->set_run_parameters(diameter, 0.0, 1.5, 1.0, 1.0, 0.0);
    engine->set_iris_image(0, kShapeBytes, static_cast<int32_t>(file.width),
                           static_cast<int32_t>(file.height), shape, file.rowbytes);
    engine->levels = levels;
    engine->mid_level = static_cast<uint16_t>((levels - 1) / 2);
    engine->quality = bench::kHighQuality;
    engine->pack_pattern_alpha();
    engine->measure_pattern();

    for (auto _ : state) {
        if (!engine->prepare_pattern() || !engine->make_photon(1.5, 1.0)) {
            state.SkipWithError(engine->message);
            break;
        }
        state.PauseTiming();
        engine->free_size_patterns();
        // The packed iris stays; only the stamp is made anew each time.
        platform::release_array(engine->newPattern);
        state.ResumeTiming();
    }
    state.counters["value_count"] = engine->value_count;
    engine->free_size_patterns();
    engine->free_pattern_buffers();
    platform::release_array(shape);
}

}  // namespace

BENCHMARK(BM_StampAndPhotons)
    ->ArgNames({"diameter", "bits"})
    ->Args({21, 8})
    ->Args({301, 8})
    ->Args({21, 16})
    ->Args({301, 16})
    ->Unit(benchmark::kMillisecond);
