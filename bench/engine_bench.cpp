// Stamp and photon preparation of one pass: prepare_pattern plus make_photon on a disc iris.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/bokeh_engine.h"
#include "platform/allocation.h"
#include "tests/engine/engine_fixtures.h"

namespace {

constexpr int32_t kIrisSide = 511;
constexpr int32_t kLevels8 = 256;
constexpr int32_t kLevels16 = 32769;
constexpr uint16_t kHighQuality = 5;

void BM_StampAndPhotons(benchmark::State& state) {
    const auto diameter = static_cast<double>(state.range(0));
    const int32_t levels = state.range(1) == 16 ? kLevels16 : kLevels8;
    static const std::vector<uint8_t> iris = engine_test::disc_image(kIrisSide, 3, 255);
    auto engine = std::make_unique<BokehEngine>();
    engine->set_run_parameters(diameter, 0.0, 1.5, 1.0, 1.0, 0.0);
    engine->set_iris_image(0, 3, kIrisSide, kIrisSide, iris.data(), kIrisSide * 3);
    engine->levels = levels;
    engine->mid_level = static_cast<uint16_t>((levels - 1) / 2);
    engine->quality = kHighQuality;
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
}

}  // namespace

BENCHMARK(BM_StampAndPhotons)
    ->ArgNames({"diameter", "bits"})
    ->Args({21, 8})
    ->Args({301, 8})
    ->Args({21, 16})
    ->Args({301, 16})
    ->Unit(benchmark::kMillisecond);
