// Stamp and photon preparation of one pass: prepare_pattern plus make_photon on the default
// iris shape; the packing and measuring of that iris, which every pass does first; and the
// conversion of a pass's source to levels, which every pass of an 8- or 16-bit frame does.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/support/bench_pass.h"
#include "bench/support/bench_scene.h"
#include "engine/channel_levels.h"
#include "engine/iris_pattern.h"
#include "engine/pass_inputs.h"
#include "engine/photons.h"
#include "engine/prepared_source.h"
#include "engine/size_pattern.h"
#include "engine/stamp.h"
#include "platform/allocation.h"
#include "shapes/shape_loader.h"

namespace {

constexpr int32_t kShapeBytes = 3;
constexpr double kHardness = 1.5;
constexpr double kBrightness = 1.0;
constexpr double kMegapixel = 1e6;

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
        // The packed iris stays; only the stamp is made anew each time, and the photon tables,
        // as for a render's first pass (later ones with the same curve keep them).
        sized.m_mapzp.reset();
        stamp.newPattern.reset();
        photons->made.reset();
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

// An opaque HD 8-bit frame made levels at the render's alpha scale, every row read by a blurred
// pass, on one thread: the conversion's own rate. Its block is recycled between runs, as a
// render's passes recycle it, so that no run pays for fresh pages.
void BM_SourceLevels(benchmark::State& state) {
    constexpr int32_t kWidth = bench::kHdWidth;
    constexpr int32_t kHeight = bench::kHdHeight;
    constexpr double kBlur = 21.0;
    const std::vector<uint8_t> frame = bench::packed_pixels(bench::photo(kWidth, kHeight));
    PassInputs in;
    in.source = SourceFrame{kWidth, kHeight, kLevels8, frame.data(), 4 * kWidth};
    in.blur = kBlur;
    in.alpha_scale = render::PassSettings{}.alpha_value;
    const platform::BlockRecycling recycling;
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(1);
    for (auto _ : state) {
        PreparedSource source;
        if (const EngineStatus status = source.pre_process_RGB_cf(in); !status.ok()) {
            state.SkipWithError(status.message);
            break;
        }
        benchmark::DoNotOptimize(source.Src_Data_sh.get());
    }
    omp_set_num_threads(threads_before);
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(kWidth) * kHeight * state.iterations() / kMegapixel,
                           benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_SourceLevels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackIris)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StampAndPhotons)
    ->ArgNames({"diameter", "bits"})
    ->Args({21, 8})
    ->Args({301, 8})
    ->Args({21, 16})
    ->Args({301, 16})
    ->Unit(benchmark::kMillisecond);
