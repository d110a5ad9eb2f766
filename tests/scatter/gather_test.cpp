#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/scatter/hand_pass.h"

namespace {

using scatter_test::Frame;
using scatter_test::Iris;
using scatter_test::Kernel;
using scatter_test::Light;

struct IrisCase {
    std::string name;
    Iris iris;
};

std::vector<IrisCase> iris_cases(int channels, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<IrisCase> cases = {
        {"disc", scatter_test::disc_iris(9, channels)},
        {"ring", scatter_test::ring_iris(11, channels)},
        {"crescent", scatter_test::crescent_iris(13, channels)},
        {"speckled", scatter_test::speckled_iris(rng, 7, channels)},
    };
    for (int size : {3, 7, 9, 15}) {
        cases.push_back({"random rows " + std::to_string(size),
                         scatter_test::random_rows_iris(rng, size, channels)});
    }
    return cases;
}

// Frames larger and smaller than the stamps, so that every edge cuts them, and one wide enough
// for long runs of pixels away from both side edges.
const std::vector<std::pair<int, int>> kFrameSizes = {{23, 17}, {6, 5}, {1, 12}, {12, 1}, {90, 4}};

std::vector<Kernel> kernels_for(int channels) {
    if (channels >= 3) {
        return {&scatter::PixelKernels::gather_colour};
    }
    return {&scatter::PixelKernels::gather_plain, &scatter::PixelKernels::gather_vector};
}

// Whether `got` is result j of `g` up to rounding.
::testing::AssertionResult near(double got, const scatter_test::Gathered& g, int j,
                                const Light& light) {
    const double allowance =
        scatter_test::rounding_allowance(light, g, j) + 1e-5 * std::fabs(g.value[j]);
    if (std::fabs(got - g.value[j]) <= allowance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "result " << j << " is " << got << ", not " << g.value[j] << " within " << allowance;
}

class GatherKernels : public ::testing::Test {
  protected:
    std::unique_ptr<scatter_test::HandPass> pass = std::make_unique<scatter_test::HandPass>();
    std::mt19937 rng{20261208};

    // Runs `check` for every iris case, grey and colour, on every frame size, with a random frame
    // that has unlit pixels and one that has none, whose sums the kernels do not count feeders
    // of.
    template <class Check>
    void for_each_pass(const Light& light, Check check) {
        for (int channels : {2, 4}) {
            for (const IrisCase& c : iris_cases(channels, rng())) {
                for (auto [width, height] : kFrameSizes) {
                    for (const bool lit : {false, true}) {
                        const Frame frame =
                            scatter_test::random_frame(rng, width, height, light.levels, lit);
                        scatter_test::install_pass(*pass, c.iris, frame, light);
                        SCOPED_TRACE(c.name + (channels == 4 ? " colour " : " grey ") +
                                     std::to_string(width) + "x" + std::to_string(height) +
                                     (lit ? " lit everywhere" : ""));
                        check(channels);
                    }
                }
            }
        }
    }
};

TEST_F(GatherKernels, FullGatherIsTheWeightedMeanOverInFrameCells) {
    for (const Light& light : {Light{}, Light{32769, 1.0, 2.0}}) {
        for_each_pass(light, [&](int channels) {
            for (Kernel kernel : kernels_for(channels)) {
                for (int y = 0; y < pass->in.source.height; ++y) {
                    const auto row = scatter_test::gather_row(*pass, kernel, y, 1);
                    for (int x = 0; x < pass->in.source.width; ++x) {
                        const auto want = scatter_test::direct_gather(*pass, light, x, y);
                        for (int j = 0; j < 5; ++j) {
                            ASSERT_TRUE(near(row[x].value[j], want, j, light))
                                << "pixel " << x << "," << y;
                        }
                    }
                }
            }
        });
    }
}

TEST_F(GatherKernels, IncrementalGatherEqualsFullGather) {
    for (const Light& light : {Light{}, Light{32769, 1.0, 2.0}}) {
        for_each_pass(light, [&](int channels) {
            for (Kernel kernel : kernels_for(channels)) {
                for (int y = 0; y < pass->in.source.height; ++y) {
                    const auto full = scatter_test::gather_row(*pass, kernel, y, 1);
                    const auto updated = scatter_test::gather_row(*pass, kernel, y, 0);
                    for (int x = 0; x < pass->in.source.width; ++x) {
                        auto at_full = scatter_test::direct_gather(*pass, light, x, y);
                        for (int j = 0; j < 5; ++j) {
                            at_full.value[j] = full[x].value[j];
                            ASSERT_TRUE(near(updated[x].value[j], at_full, j, light))
                                << "pixel " << x << "," << y;
                        }
                    }
                }
            }
        });
    }
}

TEST_F(GatherKernels, VectorKernelAddsLikeThePlainOne) {
    const Light light;
    for_each_pass(light, [&](int channels) {
        if (channels >= 3) {
            return;
        }
        for (int32_t restart : {0, 1}) {
            for (int y = 0; y < pass->in.source.height; ++y) {
                const auto plain = scatter_test::gather_row(
                    *pass, &scatter::PixelKernels::gather_plain, y, restart);
                const auto vector = scatter_test::gather_row(
                    *pass, &scatter::PixelKernels::gather_vector, y, restart);
                for (int x = 0; x < pass->in.source.width; ++x) {
                    for (int j = 0; j < 5; ++j) {
                        ASSERT_EQ(vector[x].value[j], plain[x].value[j]);
                    }
                }
            }
        }
    });
}

// Whatever the iris and however the frame edge cuts it, a uniform area keeps its light: every
// result is divided by exactly the weight that was gathered.
TEST_F(GatherKernels, UniformSourceKeepsItsLightUpToTheCorners) {
    const Light light;
    const std::array<uint16_t, 4> level = {200, 10, 120, 250};
    for (int channels : {2, 4}) {
        for (const IrisCase& c : iris_cases(channels, rng())) {
            for (auto [width, height] : kFrameSizes) {
                scatter_test::install_pass(
                    *pass, c.iris, scatter_test::uniform_frame(width, height, level), light);
                SCOPED_TRACE(c.name + (channels == 4 ? " colour" : " grey"));
                const std::array<int, 5> levels = {level[0], level[1], level[2], level[3],
                                                   pass->photons.mid_level};
                for (Kernel kernel : kernels_for(channels)) {
                    for (int y = 0; y < height; ++y) {
                        const auto row = scatter_test::gather_row(*pass, kernel, y, 0);
                        for (int x = 0; x < width; ++x) {
                            auto want = scatter_test::direct_gather(*pass, light, x, y);
                            for (int j = 0; j < 5; ++j) {
                                // Where no cell of a plane lies in the frame, there is no light.
                                want.value[j] = want.weight[j] > 0.0
                                                    ? scatter_test::photon_light(levels[j], light)
                                                    : 0.0;
                                ASSERT_TRUE(near(row[x].value[j], want, j, light))
                                    << "pixel " << x << "," << y;
                            }
                        }
                    }
                }
            }
        }
    }
}

// Columns [first, end) of bright pixels, every level at least half the range; faint ones keep
// their colour but have an alpha of 0, as a small alpha scale leaves them; mixed ones are the
// brightest and the dimmest levels at random, whose lights lie so far apart that a float64 sum
// of both rounds the dim ones away.
struct Band {
    int first;
    int end;
    bool faint = false;
    bool mixed = false;
};

// The bands on transparent pixels, all four levels 0 as pre-processing leaves them.
Frame banded_frame(std::mt19937& rng, int width, int height, int levels,
                   const std::vector<Band>& bands) {
    Frame frame(width, height);
    std::uniform_int_distribution<int> bright(levels / 2, levels - 1);
    for (const Band& band : bands) {
        for (int y = 0; y < height; ++y) {
            for (int x = band.first; x < band.end; ++x) {
                for (int k = band.faint ? 1 : 0; k < 4; ++k) {
                    const bool dimmest = band.mixed && std::bernoulli_distribution(0.5)(rng);
                    frame.pixel(x, y)[k] = static_cast<uint16_t>(dimmest      ? 1
                                                                 : band.mixed ? levels - 1
                                                                              : bright(rng));
                }
            }
        }
    }
    return frame;
}

// Light that has passed leaves nothing behind: where no pixel with light lies under a cell of
// the plane that weights a result, the result is exactly 0, whatever the running sums carried
// before. Soft edges matter here: a step's table then differs from the difference of the two
// whole contributions it stands for by rounding, and such rounding must not survive. Behind
// faint pixels the weight is exactly 0 while their colour still counts.
TEST_F(GatherKernels, NoLightUnderTheStampGivesExactlyZero) {
    const std::vector<std::vector<Band>> band_sets = {
        {{0, 40}},
        {{0, 20}, {80, 120}},
        {{0, 40}, {40, 52, true}},
        {{0, 20}, {55, 62, true}, {95, 120}},
        {{0, 40, false, true}},
    };
    for (int levels : {256, 32769}) {
        const Light light{levels, 2.0, 1.0};
        for (int channels : {2, 4}) {
            for (const Iris& iris : {scatter_test::disc_iris(21, channels),
                                     scatter_test::crescent_iris(21, channels)}) {
                for (const auto& bands : band_sets) {
                    scatter_test::install_pass(*pass, iris,
                                               banded_frame(rng, 120, 13, levels, bands), light);
                    SCOPED_TRACE(std::to_string(levels) + " levels, " + "band set " +
                                 std::to_string(&bands - band_sets.data()) +
                                 (channels == 4 ? " colour" : " grey"));
                    int dark = 0;
                    for (Kernel kernel : kernels_for(channels)) {
                        for (int y = 0; y < pass->in.source.height; ++y) {
                            const auto row = scatter_test::gather_row(*pass, kernel, y, 0);
                            for (int x = 0; x < pass->in.source.width; ++x) {
                                const auto want = scatter_test::direct_gather(*pass, light, x, y);
                                for (int j = 0; j < 5; ++j) {
                                    if (want.value[j] != 0.0) {
                                        ASSERT_TRUE(near(row[x].value[j], want, j, light))
                                            << "pixel " << x << "," << y;
                                        continue;
                                    }
                                    ++dark;
                                    ASSERT_EQ(row[x].value[j], 0.0f)
                                        << "pixel " << x << "," << y << " result " << j;
                                }
                            }
                        }
                    }
                    EXPECT_GT(dark, 0);
                }
            }
        }
    }
}

// A ring whose hole covers the whole frame, and a colour plane whose cells all lie beyond the
// frame's corner, weigh nothing in the frame: their results are 0, never a division by zero.
TEST_F(GatherKernels, PlaneWithNoCellInTheFrameGivesZero) {
    const Light light;
    for (int channels : {2, 4}) {
        const Frame frame = scatter_test::random_frame(rng, 3, 3, light.levels);
        scatter_test::install_pass(*pass, scatter_test::ring_iris(17, channels), frame, light);
        for (Kernel kernel : kernels_for(channels)) {
            for (int32_t restart : {0, 1}) {
                for (int y = 0; y < 3; ++y) {
                    for (const KernelResult& r :
                         scatter_test::gather_row(*pass, kernel, y, restart)) {
                        for (float value : r.value) {
                            ASSERT_EQ(value, 0.0f);
                        }
                    }
                }
            }
        }
    }

    // The third colour plane only in the iris's top-left corner: the stamp turns it to the
    // bottom-right, beyond the frame for the frame's bottom-right pixel.
    Iris iris = scatter_test::disc_iris(9, 4);
    for (int row = 0; row < 9; ++row) {
        for (int column = 0; column < 9; ++column) {
            iris.at(3, row, column) = row < 3 && column < 3 ? 255.0f : 0.0f;
        }
    }
    for (const bool lit : {false, true}) {
        const Frame frame = scatter_test::random_frame(rng, 8, 6, light.levels, lit);
        scatter_test::install_pass(*pass, iris, frame, light);
        for (int32_t restart : {0, 1}) {
            const auto row =
                scatter_test::gather_row(*pass, &scatter::PixelKernels::gather_colour, 5, restart);
            const auto want = scatter_test::direct_gather(*pass, light, 7, 5).value;
            EXPECT_EQ(row[7].value[3], 0.0f) << (lit ? "lit everywhere" : "");
            for (int j : {0, 1, 2, 4}) {
                EXPECT_NEAR(row[7].value[j], want[j], 1e-5 * (1.0 + want[j]));
            }
        }
    }
}

}  // namespace
