#include "scatter/render_pass.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "engine/engine_failures.h"
#include "tests/engine/engine_fixtures.h"

namespace {

constexpr int32_t kWidth = 24;
constexpr int32_t kHeight = 16;
constexpr int32_t kIrisSide = 41;
constexpr uint16_t kAutoQuality = 2;
constexpr uint16_t kHighQuality = 5;

// Everything one pass reads and adds into, kept alive for the pass.
struct PassData {
    std::vector<uint8_t> frame8;
    std::vector<uint16_t> frame16;
    std::vector<uint8_t> iris;
    std::vector<float> accum;
    std::vector<float> weight;
};

PassData make_data(uint8_t iris_value) {
    PassData data;
    data.frame8.assign(static_cast<size_t>(kWidth) * kHeight * 4, 0);
    data.frame16.assign(static_cast<size_t>(kWidth) * kHeight * 4, 0);
    for (size_t i = 0; i < data.frame8.size(); i += 4) {
        data.frame8[i] = 255;
        data.frame8[i + 1] = static_cast<uint8_t>(i % 251);
        data.frame16[i] = 32768;
        data.frame16[i + 2] = static_cast<uint16_t>(i * 7);
    }
    data.iris = engine_test::disc_image(kIrisSide, 3, iris_value);
    data.accum.assign(data.frame8.size(), 0.0f);
    data.weight.assign(static_cast<size_t>(kWidth) * kHeight, 0.0f);
    return data;
}

// A pass over the whole frame, as the render driver sets one up.
PassInputs inputs_for(const PassData& data, double diameter, bool sixteen_bit, bool micro,
                      uint16_t quality) {
    PassInputs in;
    in.source =
        sixteen_bit
            ? SourceFrame{kWidth, kHeight, kLevels16, nullptr, 0, data.frame16.data(), kWidth * 4}
            : SourceFrame{kWidth, kHeight, kLevels8, data.frame8.data(), kWidth * 4};
    in.iris = engine_test::iris_of(data.iris, kIrisSide, kIrisSide, 3, kIrisSide * 3);
    in.blur = diameter;
    in.quality = quality;
    in.use_micro = micro;
    return in;
}

scatter::PassOutcome run(BokehEngine& engine, PassData& data, const PassInputs& in,
                         const scatter::ProgressFn& progress = nullptr) {
    const Accumulator out{data.accum.data(), kWidth * 4, data.weight.data()};
    return scatter::render_bokeh(engine, in, out, progress);
}

struct Refusal {
    int32_t code;
    const char* message;
};

// The buffers of a pass in the order it requests them.
const std::vector<Refusal> kPassAllocations = {
    {engine_failure::kSourceMemory, "(pre_process_RGB_cf): not enough memory for Src_Data_sh"},
    {engine_failure::kPatternMemory, "(pack_pattern_alpha): not enough memory for Pattern[]"},
    {engine_failure::kPatternMemory, "(pack_pattern_alpha): not enough memory for Pattern[]"},
    {engine_failure::kPatternMemory, "(pack_pattern_alpha): not enough memory for Pattern[]"},
    {engine_failure::kResizeMemory, "(resize_pattern): not enough memory for dbl_mapp"},
    {engine_failure::kResizeMemory, "(resize_pattern): not enough memory for m_mapzp[]"},
    {engine_failure::kSmearMemory, "(smear_micro_pattern_if): not enough memory for micromapp"},
    {engine_failure::kStampMemory, "(new_pattern): not enough memory for newPattern"},
    {engine_failure::kLightRowsMemory, "(run_pix_loop): not enough memory for the stamp weights"},
    {engine_failure::kLightRowsMemory, "(run_pix_loop): not enough memory for light_rows"},
    // The marks of the light rows that hold a light of 0.
    {engine_failure::kLightRowsMemory, "(run_pix_loop): not enough memory for light_rows"},
};

TEST(RenderPass, EveryRefusedBufferIsReportedAndNothingIsLeft) {
    auto engine = std::make_unique<BokehEngine>();
    const int live_before = platform::live_allocations();
    for (bool sixteen_bit : {false, true}) {
        for (bool micro : {false, true}) {
            std::vector<Refusal> expected = kPassAllocations;
            if (!micro) {
                expected.erase(expected.begin() + 6);
            }
            for (size_t refused = 0; refused < expected.size(); ++refused) {
                SCOPED_TRACE(testing::Message() << "16-bit " << sixteen_bit << " micro " << micro
                                                << " refused " << refused);
                PassData data = make_data(255);
                const PassInputs in = inputs_for(data, 2.0, sixteen_bit, micro, kHighQuality);
                platform::refuse_allocation_after(static_cast<int>(refused));
                const scatter::PassOutcome outcome = run(*engine, data, in);
                platform::refuse_allocation_after(-1);
                EXPECT_EQ(outcome.error_code, expected[refused].code);
                EXPECT_STREQ(outcome.message, expected[refused].message);
                EXPECT_EQ(platform::live_allocations(), live_before);
            }
        }
    }
}

// Transforms take a float64 frame, the planes' spectra, the rows that hold light and a group of
// spectrum columns for each thread; a pass refused any of that memory walks the stamp instead,
// and adds what the walk adds.
TEST(RenderPass, TransformsRefusedTheirMemoryLeaveThePassToTheWalk) {
    // The pass's parts (a disc this large is not smeared), then the stamp weights.
    constexpr int kRequestsBeforeTransforms = 8;
    constexpr int kTransformRequests = 4;  // on one thread
    const int threads_before = omp_get_max_threads();
    omp_set_num_threads(1);
    auto engine = std::make_unique<BokehEngine>();
    PassData walked = make_data(255);
    PassInputs in = inputs_for(walked, 9.0, false, false, kHighQuality);
    in.sum_method = SumMethod::kStampWalk;
    ASSERT_EQ(run(*engine, walked, in).error_code, 0);

    // Every request of a transformed pass is refused in turn below.
    PassData transformed = make_data(255);
    in = inputs_for(transformed, 9.0, false, false, kHighQuality);
    in.sum_method = SumMethod::kTransform;
    platform::refuse_allocation_after(-1);
    ASSERT_EQ(run(*engine, transformed, in).error_code, 0);
    EXPECT_EQ(platform::refuse_allocation_after(-1),
              kRequestsBeforeTransforms + kTransformRequests);

    const int live_before = platform::live_allocations();
    for (int refused = kRequestsBeforeTransforms;
         refused < kRequestsBeforeTransforms + kTransformRequests; ++refused) {
        SCOPED_TRACE(refused);
        PassData fallen_back = make_data(255);
        in = inputs_for(fallen_back, 9.0, false, false, kHighQuality);
        in.sum_method = SumMethod::kTransform;
        platform::refuse_allocation_after(refused);
        const scatter::PassOutcome outcome = run(*engine, fallen_back, in);
        platform::refuse_allocation_after(-1);
        EXPECT_EQ(outcome.error_code, 0) << outcome.message;
        EXPECT_EQ(fallen_back.accum, walked.accum);
        EXPECT_EQ(fallen_back.weight, walked.weight);
        EXPECT_EQ(platform::live_allocations(), live_before);
    }
    omp_set_num_threads(threads_before);
}

TEST(RenderPass, CompletePassesAddLightAndHoldNothingAfterwards) {
    auto engine = std::make_unique<BokehEngine>();
    const int live_before = platform::live_allocations();
    for (bool sixteen_bit : {false, true}) {
        for (double diameter : {1.0, 0.5, 2.0, 7.0}) {
            SCOPED_TRACE(testing::Message() << "16-bit " << sixteen_bit << " d " << diameter);
            PassData data = make_data(255);
            const PassInputs in = inputs_for(data, diameter, sixteen_bit, true, kAutoQuality);
            platform::refuse_allocation_after(-1);
            const scatter::PassOutcome outcome = run(*engine, data, in);
            // Exactly the pass's own buffers: nothing allocated past need. Only a blurred pass
            // reads its source as light rows, marks those with a light of 0, and weighs its
            // stamp's cells in the frame.
            const int light_rows = diameter > 1.0 ? 3 : 0;
            EXPECT_EQ(platform::refuse_allocation_after(-1), (diameter == 1.0  ? 4
                                                              : diameter > 3.0 ? 7
                                                                               : 8) +
                                                                 light_rows);
            EXPECT_EQ(outcome.error_code, 0) << outcome.message;
            EXPECT_EQ(platform::live_allocations(), live_before);
            EXPECT_GT(data.weight[kWidth * 8 + 12], 0.0f);
            EXPECT_GT(data.accum[(kWidth * 8 + 12) * 4], 0.0f);
            EXPECT_EQ(engine->photons.mid_level, sixteen_bit ? 16384 : 127);
            EXPECT_EQ(outcome.mid_light, engine->photons.mid_light);
        }
    }
}

// A pass keeps nothing of the pass before it: an unblurred pass after a blurred one asks for the
// buffers, and gives the light, of an unblurred pass on a fresh engine.
TEST(RenderPass, UnblurredPassAfterABlurredOneStartsAfresh) {
    for (bool sixteen_bit : {false, true}) {
        SCOPED_TRACE(testing::Message() << "16-bit " << sixteen_bit);
        auto fresh = std::make_unique<BokehEngine>();
        PassData alone = make_data(255);
        platform::refuse_allocation_after(-1);
        run(*fresh, alone, inputs_for(alone, 1.0, sixteen_bit, true, kAutoQuality));
        const int alone_allocations = platform::refuse_allocation_after(-1);

        auto engine = std::make_unique<BokehEngine>();
        PassData blurred = make_data(255);
        run(*engine, blurred, inputs_for(blurred, 7.0, sixteen_bit, true, kAutoQuality));
        PassData after = make_data(255);
        platform::refuse_allocation_after(-1);
        const scatter::PassOutcome outcome =
            run(*engine, after, inputs_for(after, 1.0, sixteen_bit, true, kAutoQuality));
        EXPECT_EQ(platform::refuse_allocation_after(-1), alone_allocations);
        EXPECT_EQ(outcome.error_code, 0) << outcome.message;
        EXPECT_EQ(after.accum, alone.accum);
        EXPECT_EQ(after.weight, alone.weight);
    }
}

// Whatever stage a pass failed at, nothing it made is reused: the next pass on the same engine
// asks for every buffer again and adds the light a pass on a fresh engine adds.
TEST(RenderPass, APassAfterAFailedOneStartsAfresh) {
    PassData fresh_data = make_data(255);
    const PassInputs fresh_in = inputs_for(fresh_data, 5.0, false, false, kHighQuality);
    auto fresh = std::make_unique<BokehEngine>();
    platform::refuse_allocation_after(-1);
    ASSERT_EQ(run(*fresh, fresh_data, fresh_in).error_code, 0);
    const int fresh_allocations = platform::refuse_allocation_after(-1);

    for (int refused = 0; refused < fresh_allocations; ++refused) {
        SCOPED_TRACE(refused);
        auto engine = std::make_unique<BokehEngine>();
        PassData failed = make_data(255);
        platform::refuse_allocation_after(refused);
        EXPECT_NE(
            run(*engine, failed, inputs_for(failed, 5.0, false, false, kHighQuality)).error_code,
            0);
        platform::refuse_allocation_after(-1);
        PassData data = make_data(255);
        const scatter::PassOutcome outcome =
            run(*engine, data, inputs_for(data, 5.0, false, false, kHighQuality));
        EXPECT_EQ(platform::refuse_allocation_after(-1), fresh_allocations);
        EXPECT_EQ(outcome.error_code, 0) << outcome.message;
        EXPECT_EQ(data.accum, fresh_data.accum);
        EXPECT_EQ(data.weight, fresh_data.weight);
    }
}

// A refused iris or source is reported with its code, before anything is allocated.
TEST(RenderPass, InvalidInputsAreRefusedBeforeAnyAllocation) {
    auto engine = std::make_unique<BokehEngine>();
    PassData data = make_data(255);
    PassInputs no_iris = inputs_for(data, 5.0, false, false, kHighQuality);
    no_iris.iris.width = 0;
    platform::refuse_allocation_after(-1);
    EXPECT_EQ(run(*engine, data, no_iris).error_code, engine_failure::kIrisGeometry);
    // The source was prepared before the iris was looked at.
    EXPECT_EQ(platform::refuse_allocation_after(-1), 1);

    PassInputs short_rows = inputs_for(data, 5.0, false, false, kHighQuality);
    short_rows.source.src8_rowbytes = kWidth * 4 - 1;
    EXPECT_EQ(run(*engine, data, short_rows).error_code, engine_failure::kSourceGeometry);
    EXPECT_EQ(platform::refuse_allocation_after(-1), 0);
}

// Two engines running passes of different kinds on two threads at once add what each adds alone.
TEST(RenderPass, TwoEnginesOnTwoThreadsShareNothing) {
    struct Kind {
        double diameter;
        bool sixteen_bit;
    };
    const Kind kinds[2] = {{7.0, false}, {1.0, true}};
    PassData alone[2] = {make_data(255), make_data(200)};
    for (int k = 0; k < 2; ++k) {
        auto engine = std::make_unique<BokehEngine>();
        ASSERT_EQ(
            run(*engine, alone[k],
                inputs_for(alone[k], kinds[k].diameter, kinds[k].sixteen_bit, true, kAutoQuality))
                .error_code,
            0);
    }
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        PassData together[2] = {make_data(255), make_data(200)};
        std::vector<std::thread> threads;
        for (int k = 0; k < 2; ++k) {
            threads.emplace_back([&, k] {
                auto engine = std::make_unique<BokehEngine>();
                run(*engine, together[k],
                    inputs_for(together[k], kinds[k].diameter, kinds[k].sixteen_bit, true,
                               kAutoQuality));
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(together[k].accum, alone[k].accum) << "round " << round << " pass " << k;
            EXPECT_EQ(together[k].weight, alone[k].weight) << "round " << round << " pass " << k;
        }
    }
}

int32_t stop_at_once(int32_t, int32_t) {
    return 1;
}

TEST(RenderPass, CancelEndsThePassHoldingNothing) {
    auto engine = std::make_unique<BokehEngine>();
    const int live_before = platform::live_allocations();
    const int threads_before = omp_get_max_threads();
    // A transformed pass stopped before its planes' jobs must not leave its results waiting for
    // them, whichever thread holds them.
    omp_set_num_threads(2);
    for (SumMethod method : {SumMethod::kStampWalk, SumMethod::kTransform}) {
        for (int32_t height : {1, kHeight}) {
            SCOPED_TRACE(testing::Message() << "height " << height << " transformed "
                                            << (method == SumMethod::kTransform));
            PassData data = make_data(255);
            PassInputs in = inputs_for(data, 5.0, false, false, kHighQuality);
            in.source.height = height;
            in.sum_method = method;
            EXPECT_EQ(run(*engine, data, in, stop_at_once).error_code, engine_failure::kCancelled);
            EXPECT_EQ(platform::live_allocations(), live_before);
        }
    }
    omp_set_num_threads(threads_before);
}

}  // namespace
