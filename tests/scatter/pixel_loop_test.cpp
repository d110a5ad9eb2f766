#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "engine/engine_failures.h"
#include "engine/light_curve.h"
#include "tests/scatter/hand_pass.h"

namespace {

using scatter_test::Frame;
using scatter_test::Iris;
using scatter_test::Light;

// What the progress callback saw, from which threads, and the percentage at which it asks to
// stop (0: never).
std::vector<int> reported;
std::set<std::thread::id> reporting_threads;
int stop_at = 0;

int record_progress(int done, int total) {
    EXPECT_EQ(total, 100);
    reported.push_back(done);
    return done == stop_at ? 1 : 0;
}

// The render driver's buffers: accumulator and weight prefilled, so that adding shows.
struct Buffers {
    std::vector<float> accum;
    std::vector<float> weight;
    std::vector<uint8_t> blur_map;
    std::vector<int32_t> row_mask;
};

constexpr float kPrefill = 0.25f;
// Rows of the accumulator and the blur map are longer than the frame, as they may be.
constexpr int kAccumPadding = 3;
constexpr int kMapPadding = 5;

class PixelLoop : public ::testing::Test {
  protected:
    std::unique_ptr<scatter_test::HandPass> pass = std::make_unique<scatter_test::HandPass>();
    Buffers buffers;
    Accumulator out;
    scatter::ProgressFn progress = record_progress;
    std::mt19937 rng{7};

    void SetUp() override {
        reported.clear();
        stop_at = 0;
    }

    int width() const { return pass->in.source.width; }
    int height() const { return pass->in.source.height; }

    void attach_buffers() {
        out.accum_rowbytes = 4 * width() + kAccumPadding;
        buffers.accum.assign(static_cast<size_t>(out.accum_rowbytes) * height(), kPrefill);
        buffers.weight.assign(static_cast<size_t>(width()) * height(), kPrefill);
        out.accum = buffers.accum.data();
        out.weight_buf = buffers.weight.data();
        pass->in.region = PassRegion{};
        progress = record_progress;
    }

    EngineStatus run_pix_loop() { return pass->run_pix_loop(out, progress); }

    // A blur map of runs of 1 to 40 equal values drawn from `choices`.
    void attach_blur_map(const std::vector<uint8_t>& choices) {
        PassRegion& region = pass->in.region;
        region.blur_map_rowbytes = width() + kMapPadding;
        buffers.blur_map.assign(static_cast<size_t>(region.blur_map_rowbytes) * height(), 0);
        std::uniform_int_distribution<size_t> pick(0, choices.size() - 1);
        std::uniform_int_distribution<size_t> run(1, 40);
        for (size_t at = 0; at < buffers.blur_map.size();) {
            const uint8_t value = choices[pick(rng)];
            for (size_t end = std::min(buffers.blur_map.size(), at + run(rng)); at < end; ++at) {
                buffers.blur_map[at] = value;
            }
        }
        region.blur_map = buffers.blur_map.data();
    }

    float* accum_at(int x, int y) {
        return &buffers.accum[static_cast<size_t>(y) * out.accum_rowbytes + 4 * x];
    }
    float& weight_at(int x, int y) { return buffers.weight[static_cast<size_t>(y) * width() + x]; }
    uint8_t blur_at(int x, int y) const {
        const PassRegion& region = pass->in.region;
        return region.blur_map
                   ? buffers.blur_map[static_cast<size_t>(y) * region.blur_map_rowbytes + x]
                   : 255;
    }
    bool row_skipped(int y) const {
        return pass->in.region.row_mask && pass->in.region.row_mask[y] == 0;
    }

    // An unblurred pass over `frame`.
    void install_sharp_pass(const Frame& frame) {
        scatter_test::install_pass(*pass, scatter_test::disc_iris(3, 2), frame, Light{});
        pass->in.blur = 1.0;
        attach_buffers();
    }
};

TEST_F(PixelLoop, ReportsEveryProcessedRowFromOnePercentOn) {
    install_sharp_pass(scatter_test::random_frame(rng, 3, 200, 256));
    ASSERT_TRUE(run_pix_loop().ok());
    std::vector<int> expected;
    for (int y = 2; y < 200; ++y) {
        expected.push_back(y / 2);
    }
    EXPECT_EQ(reported, expected);

    // Skipped rows report nothing; a frame of one row never reaches 1 %.
    std::vector<int32_t> mask(200, 0);
    mask[3] = mask[150] = 1;
    install_sharp_pass(scatter_test::random_frame(rng, 3, 200, 256));
    pass->in.region.row_mask = mask.data();
    reported.clear();
    EXPECT_TRUE(run_pix_loop().ok());
    EXPECT_EQ(reported, (std::vector<int>{1, 75}));

    install_sharp_pass(scatter_test::random_frame(rng, 3, 1, 256));
    reported.clear();
    EXPECT_TRUE(run_pix_loop().ok());
    EXPECT_TRUE(reported.empty());
}

// Rows computed on several threads are still reported from the calling thread, in row order,
// each before it is computed.
TEST_F(PixelLoop, BlurredRowsOnTwoThreadsAreReportedAsOnOne) {
    const int threads_before = omp_get_max_threads();
    std::vector<std::vector<int>> reports;
    for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        scatter_test::install_pass(*pass, scatter_test::disc_iris(5, 2),
                                   scatter_test::random_frame(rng, 9, 200, 256), Light{});
        attach_buffers();
        const std::thread::id caller = std::this_thread::get_id();
        progress = [](int done, int total) {
            reporting_threads.insert(std::this_thread::get_id());
            return record_progress(done, total);
        };
        reported.clear();
        reporting_threads.clear();
        ASSERT_TRUE(run_pix_loop().ok());
        EXPECT_EQ(reporting_threads, (std::set<std::thread::id>{caller}));
        reports.push_back(reported);
    }
    omp_set_num_threads(threads_before);
    EXPECT_EQ(reports[0], reports[1]);
    EXPECT_EQ(reports[0].size(), 198u);
}

TEST_F(PixelLoop, StopRequestLeavesTheRemainingRowsUntouched) {
    const int threads_before = omp_get_max_threads();
    for (auto [diameter, threads] : {std::pair{1.0, 1}, {5.0, 1}, {5.0, 2}}) {
        omp_set_num_threads(threads);
        scatter_test::install_pass(*pass, scatter_test::disc_iris(5, 2),
                                   scatter_test::random_frame(rng, 4, 200, 256), Light{});
        pass->in.blur = diameter;
        attach_buffers();
        stop_at = 5;  // row 10 of 200
        const EngineStatus stopped = run_pix_loop();
        omp_set_num_threads(threads_before);
        EXPECT_EQ(stopped.code, engine_failure::kCancelled);
        for (int y = 0; y < 200; ++y) {
            bool changed = false;
            for (int x = 0; x < 4; ++x) {
                changed = changed || weight_at(x, y) != kPrefill;
                for (int k = 0; k < 4; ++k) {
                    changed = changed || accum_at(x, y)[k] != kPrefill;
                }
            }
            EXPECT_EQ(changed, y < 10)
                << "row " << y << " diameter " << diameter << " threads " << threads;
        }
    }
}

// A frame whose alpha is one level wherever it has any, as a photograph's is; its transparent
// pixels stay so.
// How a case's frame is drawn: random alphas, one alpha level with transparent pixels left in,
// or one alpha level everywhere.
enum class Alpha { kRandom, kOneLevel, kEverywhere };

Frame with_alpha(Frame frame, Alpha alpha) {
    constexpr uint16_t kOpaque = 255;
    for (int y = 0; y < frame.height && alpha != Alpha::kRandom; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            uint16_t* pixel = frame.pixel(x, y);
            if (pixel[0] != 0 || alpha == Alpha::kEverywhere) {
                pixel[0] = kOpaque;
            }
        }
    }
    return frame;
}

// One case of the blurred pass: which iris, with which kernels, on which frame.
struct BlurredCase {
    Iris iris;
    bool simd;
    Alpha alpha;
    SumMethod method;
};

// Each processed pixel gets the kernel's full gather scaled by its blur map share; skipped
// pixels and rows, and the padding of the rows, keep what they held. An opaque frame's pass
// finds its weights from its alpha sums, through the walk and through transforms, and its alpha
// sums from the stamp where nothing is transparent; the kernel it is checked against sums them.
TEST_F(PixelLoop, BlurredPassAddsEachPixelsShareOfItsGather) {
    const Light light;
    // Wide enough for long runs of processed pixels between the side edges.
    constexpr int kWidth = 83;
    std::vector<int32_t> mask(13, 1);
    mask[2] = mask[9] = 0;
    const std::vector<BlurredCase> cases = {
        {scatter_test::random_rows_iris(rng, 7, 2), false, Alpha::kRandom, SumMethod::kCheaper},
        {scatter_test::random_rows_iris(rng, 7, 2), true, Alpha::kRandom, SumMethod::kCheaper},
        {scatter_test::speckled_iris(rng, 5, 2), true, Alpha::kRandom, SumMethod::kCheaper},
        {scatter_test::crescent_iris(9, 4), false, Alpha::kRandom, SumMethod::kCheaper},
        {scatter_test::random_rows_iris(rng, 7, 2), false, Alpha::kOneLevel, SumMethod::kStampWalk},
        {scatter_test::random_rows_iris(rng, 7, 2), true, Alpha::kOneLevel, SumMethod::kStampWalk},
        {scatter_test::crescent_iris(9, 4), true, Alpha::kEverywhere, SumMethod::kStampWalk},
        {scatter_test::random_rows_iris(rng, 7, 2), true, Alpha::kOneLevel, SumMethod::kTransform},
        {scatter_test::crescent_iris(9, 4), true, Alpha::kOneLevel, SumMethod::kTransform},
        {scatter_test::random_rows_iris(rng, 7, 2), true, Alpha::kEverywhere,
         SumMethod::kTransform},
        {scatter_test::crescent_iris(9, 4), true, Alpha::kEverywhere, SumMethod::kTransform},
    };
    for (const BlurredCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "simd " << c.simd << ", alpha " << static_cast<int>(c.alpha) << ", method "
                     << static_cast<int>(c.method));
        const Iris& iris = c.iris;
        Frame frame = scatter_test::random_frame(rng, kWidth, 13, 256);
        scatter_test::install_pass(*pass, iris, with_alpha(std::move(frame), c.alpha), light);
        attach_buffers();
        attach_blur_map({0, 0, 1, 128, 254, 255, 255, 255});
        pass->in.region.row_mask = mask.data();
        pass->in.use_simd = c.simd;
        pass->in.sum_method = c.method;
        ASSERT_TRUE(run_pix_loop().ok());

        const auto kernel = iris.channels >= 3 ? &scatter::PixelKernels::gather_colour
                                               : &scatter::PixelKernels::gather_plain;
        for (int y = 0; y < 13; ++y) {
            const auto full = scatter_test::gather_row(*pass, kernel, y, 1);
            for (int x = 0; x < kWidth; ++x) {
                const bool skipped = row_skipped(y) || blur_at(x, y) == 0;
                const double share = skipped ? 0.0 : blur_at(x, y) / 255.0;
                const auto exact = scatter_test::direct_gather(*pass, light, x, y);
                for (int k = 0; k < 5; ++k) {
                    const double got = k < 4 ? accum_at(x, y)[k] : weight_at(x, y);
                    const double want = kPrefill + full[x].value[k] * share;
                    const double allowance =
                        scatter_test::rounding_allowance(light, exact, k) + 1e-6 * want;
                    ASSERT_NEAR(got, want, allowance)
                        << "pixel " << x << "," << y << " value " << k;
                }
            }
            for (int pad = 0; pad < kAccumPadding; ++pad) {
                ASSERT_EQ(
                    buffers.accum[static_cast<size_t>(y) * out.accum_rowbytes + 4 * kWidth + pad],
                    kPrefill);
            }
        }
    }
}

TEST_F(PixelLoop, UnblurredPixelsAddTheirOwnLight) {
    struct Depth {
        int levels;
        std::array<uint16_t, 4> pixel;
    };
    for (const Depth& depth : {Depth{256, {1, 0, 0, 0}}, Depth{256, {255, 40, 128, 250}},
                               Depth{32769, {1, 0, 0, 0}}, Depth{32769, {9000, 32768, 4, 16385}}}) {
        const bool deep = depth.levels > 256;
        Frame frame = scatter_test::uniform_frame(4, 2, depth.pixel);
        frame.pixel(1, 0)[0] = 0;  // transparent: adds nothing
        scatter_test::install_pass(*pass, scatter_test::disc_iris(3, 2), frame,
                                   Light{depth.levels, 1.0, 1.0});
        const uint16_t deep_source[4] = {};
        pass->in.source.src16 = deep ? deep_source : nullptr;
        pass->in.blur = 1.0;
        pass->in.hardness = 1.3;
        pass->in.brightness = 1.7;
        attach_buffers();
        attach_blur_map({0, 128});
        ASSERT_TRUE(run_pix_loop().ok());

        auto light_of = [&](uint16_t level) {
            return deep ? RGB_to_Light(level, 1.3, 1.7, 1.0)
                        : RGB_to_Light8(static_cast<uint8_t>(level), 1.3, 1.7, 1.0);
        };
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                // Any blur map value above 0 counts in full without blur.
                const bool lit = blur_at(x, y) != 0 && !(x == 1 && y == 0);
                for (int k = 0; k < 4; ++k) {
                    EXPECT_FLOAT_EQ(accum_at(x, y)[k],
                                    kPrefill + (lit ? light_of(depth.pixel[k]) : 0.0f));
                }
                EXPECT_FLOAT_EQ(weight_at(x, y),
                                kPrefill + (lit ? light_of(pass->photons.mid_level) : 0.0f));
            }
        }
    }
}

// Only a diameter above 1 blurs: a one-cell stamp then gathers the photon light of the pixel,
// where the unblurred path adds the source light curve's value.
TEST_F(PixelLoop, DiameterAboveOneTakesTheBlurredPath) {
    const Light light{256, 1.5, 2.0};
    Iris one_cell(1, 2);
    one_cell.set_grey(0, 0, 255.0f);
    for (double diameter : {1.0, 1.0000001}) {
        scatter_test::install_pass(*pass, one_cell,
                                   scatter_test::uniform_frame(2, 2, {255, 200, 200, 200}), light);
        pass->in.blur = diameter;
        pass->in.hardness = 0.8;
        pass->in.brightness = 1.0;
        attach_buffers();
        EXPECT_TRUE(run_pix_loop().ok());
        const float want = diameter > 1.0 ? scatter_test::photon_light(200, light)
                                          : RGB_to_Light8(200, 0.8, 1.0, 1.0);
        EXPECT_FLOAT_EQ(accum_at(1, 1)[1] - kPrefill, want) << diameter;
    }
}

}  // namespace
