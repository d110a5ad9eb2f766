#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/engine_failures.h"
#include "tests/engine/engine_fixtures.h"

namespace {

using engine_test::make_engine;

constexpr int32_t kWidth = 24;
constexpr int32_t kHeight = 16;
constexpr int32_t kIrisSide = 41;

// Everything one pass reads, kept alive for the pass.
struct PassInputs {
    std::vector<uint8_t> frame8;
    std::vector<uint16_t> frame16;
    std::vector<uint8_t> iris;
    std::vector<float> accum;
    std::vector<float> weight;
};

PassInputs make_inputs(uint8_t iris_value) {
    PassInputs in;
    in.frame8.assign(static_cast<size_t>(kWidth) * kHeight * 4, 0);
    in.frame16.assign(static_cast<size_t>(kWidth) * kHeight * 4, 0);
    for (size_t i = 0; i < in.frame8.size(); i += 4) {
        in.frame8[i] = 255;
        in.frame8[i + 1] = static_cast<uint8_t>(i % 251);
        in.frame16[i] = 32768;
        in.frame16[i + 2] = static_cast<uint16_t>(i * 7);
    }
    in.iris = engine_test::disc_image(kIrisSide, 3, iris_value);
    in.accum.assign(in.frame8.size(), 0.0f);
    in.weight.assign(static_cast<size_t>(kWidth) * kHeight, 0.0f);
    return in;
}

// The setter sequence of one pass, as the render driver makes it.
void set_up_pass(BokehEngine& engine, PassInputs& in, double diameter, bool sixteen_bit,
                 int32_t micro) {
    engine.set_alpha_scale(1.0f, in.weight.data(), 0);
    engine.set_options(1, micro);
    engine.set_region(nullptr, 0, nullptr);
    engine.set_run_parameters(diameter, 0.0, 1.25, 1.0, 1.0, 0.0);
    if (sixteen_bit) {
        engine.set_source_frame(0, 0, kWidth, kHeight, nullptr, 0, in.frame16.data(), kWidth * 4,
                                32769);
    } else {
        engine.set_source_frame(0, 0, kWidth, kHeight, in.frame8.data(), kWidth * 4, nullptr, 0,
                                256);
    }
    engine.set_iris_image(0, 3, kIrisSide, kIrisSide, in.iris.data(), kIrisSide * 3);
    engine.set_accumulator(0, 0, in.accum.data(), kWidth * 4, 0);
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
    {engine_failure::kLightRowsMemory, "(run_pix_loop): not enough memory for light_rows"},
    {engine_failure::kLightRowsMemory, "(run_pix_loop): not enough memory for the stamp weights"},
};

TEST(RenderPass, EveryRefusedBufferIsReportedAndNothingIsLeft) {
    auto engine = make_engine();
    for (bool sixteen_bit : {false, true}) {
        for (int32_t micro : {0, 1}) {
            std::vector<Refusal> expected = kPassAllocations;
            if (micro == 0) {
                expected.erase(expected.begin() + 6);
            }
            for (size_t refused = 0; refused < expected.size(); ++refused) {
                SCOPED_TRACE(testing::Message() << "16-bit " << sixteen_bit << " micro " << micro
                                                << " refused " << refused);
                PassInputs in = make_inputs(255);
                set_up_pass(*engine, in, 2.0, sixteen_bit, micro);
                platform::refuse_allocation_after(static_cast<int>(refused));
                engine->render_bokeh(1.0, 1.0, 5);
                platform::refuse_allocation_after(-1);
                EXPECT_EQ(engine->error_code, expected[refused].code);
                EXPECT_STREQ(engine->message, expected[refused].message);
                EXPECT_EQ(engine->check_leaks(), 0);
                engine->end_run_reset();
            }
        }
    }
}

TEST(RenderPass, CompletePassesAddLightAndFreeEverything) {
    auto engine = make_engine();
    for (bool sixteen_bit : {false, true}) {
        for (double diameter : {1.0, 0.5, 2.0, 7.0}) {
            SCOPED_TRACE(testing::Message() << "16-bit " << sixteen_bit << " d " << diameter);
            PassInputs in = make_inputs(255);
            set_up_pass(*engine, in, diameter, sixteen_bit, 1);
            platform::refuse_allocation_after(-1);
            engine->render_bokeh(1.0, 1.0, 2);
            // Exactly the pass's own buffers: nothing allocated past need. Only a blurred pass
            // reads its source as light rows and weighs its stamp's cells in the frame.
            const int light_rows = diameter > 1.0 ? 2 : 0;
            EXPECT_EQ(platform::refuse_allocation_after(-1), (diameter == 1.0  ? 4
                                                              : diameter > 3.0 ? 7
                                                                               : 8) +
                                                                 light_rows);
            EXPECT_EQ(engine->error_code, 0) << engine->message;
            EXPECT_EQ(engine->check_leaks(), 0);
            EXPECT_GT(in.weight[kWidth * 8 + 12], 0.0f);
            EXPECT_GT(in.accum[(kWidth * 8 + 12) * 4], 0.0f);
            EXPECT_EQ(engine->mid_level, sixteen_bit ? 16384 : 127);
            engine->end_run_reset();
            EXPECT_EQ(engine->pattern_size, 21.0);
        }
    }
}

// A pass keeps nothing of the pass before it: an unblurred pass after a blurred one asks for the
// buffers, and gives the light, of an unblurred pass on a fresh engine.
TEST(RenderPass, UnblurredPassAfterABlurredOneStartsAfresh) {
    for (bool sixteen_bit : {false, true}) {
        SCOPED_TRACE(testing::Message() << "16-bit " << sixteen_bit);
        auto fresh = make_engine();
        PassInputs alone = make_inputs(255);
        set_up_pass(*fresh, alone, 1.0, sixteen_bit, 1);
        platform::refuse_allocation_after(-1);
        fresh->render_bokeh(1.0, 1.0, 2);
        const int alone_allocations = platform::refuse_allocation_after(-1);
        fresh->end_run_reset();

        auto engine = make_engine();
        PassInputs blurred = make_inputs(255);
        set_up_pass(*engine, blurred, 7.0, sixteen_bit, 1);
        engine->render_bokeh(1.0, 1.0, 2);
        engine->end_run_reset();
        PassInputs after = make_inputs(255);
        set_up_pass(*engine, after, 1.0, sixteen_bit, 1);
        platform::refuse_allocation_after(-1);
        engine->render_bokeh(1.0, 1.0, 2);
        EXPECT_EQ(platform::refuse_allocation_after(-1), alone_allocations);
        EXPECT_EQ(engine->error_code, 0) << engine->message;
        EXPECT_EQ(engine->check_leaks(), 0);
        EXPECT_EQ(after.accum, alone.accum);
        EXPECT_EQ(after.weight, alone.weight);
        engine->end_run_reset();
    }
}

TEST(RenderPass, LeftoverBuffersAreRefusedNeverReused) {
    auto engine = make_engine();
    PassInputs in = make_inputs(255);

    // A held source is refused before anything else happens, and stays for its owner.
    set_up_pass(*engine, in, 5.0, false, 0);
    engine->Src_Data_sh = platform::allocate_array<uint16_t>(4);
    engine->render_bokeh(1.0, 1.0, 5);
    EXPECT_EQ(engine->error_code, engine_failure::kSourceHeld);
    EXPECT_EQ(engine->check_leaks(), engine_leak::kSource);
    EXPECT_EQ(engine->Pattern, nullptr);
    engine->free_pattern_buffers();

    set_up_pass(*engine, in, 5.0, false, 0);
    engine->newPattern = platform::allocate_array<uint8_t>(4);
    engine->render_bokeh(1.0, 1.0, 5);
    EXPECT_EQ(engine->error_code, engine_failure::kStampHeld);
    EXPECT_EQ(engine->check_leaks(), 0);
}

TEST(RenderPass, LeakCheckNamesTheFirstBufferHeld) {
    auto engine = make_engine();
    engine->row_last = platform::allocate_array<int32_t>(1);
    EXPECT_EQ(engine->check_leaks(), engine_leak::kRowLast);
    engine->row_first = platform::allocate_array<int32_t>(1);
    EXPECT_EQ(engine->check_leaks(), engine_leak::kRowFirst);
    engine->Pattern = platform::allocate_array<uint8_t>(1);
    EXPECT_EQ(engine->check_leaks(), engine_leak::kPattern);
    engine->m_mapzp[269] = platform::allocate_array<float>(1);
    EXPECT_EQ(engine->check_leaks(), engine_leak::kSizePattern);
    engine->newPattern = platform::allocate_array<uint8_t>(1);
    EXPECT_EQ(engine->check_leaks(), engine_leak::kStamp);
    engine->Src_Data_sh = platform::allocate_array<uint16_t>(1);
    EXPECT_EQ(engine->check_leaks(), engine_leak::kSource);
    engine_test::release_all(*engine);
    EXPECT_EQ(engine->check_leaks(), 0);
}

int32_t stop_at_once(int32_t, int32_t) {
    return 1;
}

TEST(RenderPass, CancelEndsThePassWithEverythingFreed) {
    auto engine = make_engine();
    engine->progress_fn = stop_at_once;
    for (int32_t height : {1, kHeight}) {
        SCOPED_TRACE(height);
        PassInputs in = make_inputs(255);
        set_up_pass(*engine, in, 5.0, false, 0);
        engine->height = height;
        engine->render_bokeh(1.0, 1.0, 5);
        EXPECT_EQ(engine->error_code, engine_failure::kCancelled);
        EXPECT_EQ(engine->check_leaks(), 0);
    }
    engine->progress_fn = nullptr;
}

TEST(RenderPass, OptionsAndUnusedValues) {
    auto engine = make_engine();
    const int32_t processor = engine->use_simd;
    engine->set_options(0, 1);
    EXPECT_EQ(engine->use_simd, 0);
    EXPECT_EQ(engine->use_micro, 1);
    engine->set_options(7, 0);
    EXPECT_EQ(engine->use_simd, processor);
    engine->set_run_parameters(3.5, 99.0, 1.75, 0.5, 2.0, 99.0);
    EXPECT_EQ(engine->pattern_size, 3.5);
    EXPECT_EQ(engine->light_contrast, 1.75);
    EXPECT_EQ(engine->blend_scale, 0.5);
    EXPECT_EQ(engine->light_scale, 2.0);
    engine->set_source_frame(0, 0, 3, 2, nullptr, 12, nullptr, 0, 32769);
    EXPECT_EQ(engine->width, 3);
    EXPECT_EQ(engine->levels, 32769);
}

}  // namespace
