// Float frames through the built module: scene-linear light spread without a curve and without
// a top, so that energy and hue survive the blur.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "host/emulated_host.h"
#include "host/world.h"
#include "tests/plugin/plugin_folder.h"
#include "tests/plugin/render_scene.h"

namespace {

using host::EmulatedHost;
using host::World;

constexpr float kBackground = 0.05f;
constexpr int kSpot = 5;  // highlights are kSpot x kSpot pixels

struct Light {
    float red, green, blue;
};

class FloatRender : public ::testing::Test {
  protected:
    void SetUp() override { folder_.link_shape_library(); }

    // A host with the module open for frames of width x height.
    std::unique_ptr<EmulatedHost> effect(int width, int height) {
        auto host = std::make_unique<EmulatedHost>(folder_.module().string());
        host->set_layer_size(width, height);
        EXPECT_EQ(host->open_sequence(), PF_Err_NONE);
        EXPECT_TRUE(host->module_takes_float());
        qb_test::choose_shape(*host, "circle");
        host->set_value("Quality", 5);
        return host;
    }

    World render(EmulatedHost& host, World& input) {
        World output(input.width(), input.height(), World::Depth::kFloat);
        EXPECT_EQ(host.render(input, output), PF_Err_NONE) << host.out_data().return_msg;
        return output;
    }

    qb_test::PluginFolder folder_;
};

World opaque_frame(int width, int height, float grey) {
    World world(width, height, World::Depth::kFloat);
    world.fill_float(PF_PixelFloat{1.0f, grey, grey, grey});
    return world;
}

void put_spot(World& world, int cx, int cy, Light light) {
    for (int y = cy - kSpot / 2; y <= cy + kSpot / 2; ++y) {
        for (int x = cx - kSpot / 2; x <= cx + kSpot / 2; ++x) {
            world.pixel_float(x, y) = PF_PixelFloat{1.0f, light.red, light.green, light.blue};
        }
    }
}

// Light above the background in a square of half side `reach` around (cx, cy), per colour.
Light light_around(const World& world, int cx, int cy, int reach, float background) {
    Light sum{0.0f, 0.0f, 0.0f};
    double red = 0.0, green = 0.0, blue = 0.0;
    for (int y = std::max(cy - reach, 0); y <= std::min(cy + reach, world.height() - 1); ++y) {
        for (int x = std::max(cx - reach, 0); x <= std::min(cx + reach, world.width() - 1); ++x) {
            const PF_PixelFloat& p = world.pixel_float(x, y);
            red += p.red - background;
            green += p.green - background;
            blue += p.blue - background;
        }
    }
    sum = Light{static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue)};
    return sum;
}

TEST_F(FloatRender, HighlightsKeepTheirEnergyAndHue) {
    constexpr int kAmount = 60;
    constexpr int kReach = kAmount / 2 + 2;
    constexpr int kWidth = 400;
    constexpr int kHeight = 220;
    const int centres[] = {60, 160, 260};
    const float values[] = {1.0f, 10.0f, 100.0f};
    World input = opaque_frame(kWidth, kHeight, kBackground);
    for (int i = 0; i < 3; ++i) {
        put_spot(input, centres[i], 60, Light{values[i], values[i], values[i]});
    }
    const Light coloured{20.0f, 2.0f, 0.5f};
    put_spot(input, 160, 160, coloured);

    auto host = effect(kWidth, kHeight);
    host->set_value("Bokeh Amount", kAmount);
    const World output = render(*host, input);
    // A Distance Layer that puts everything as far from focus renders the same light, through a
    // step buffer instead of the layer itself.
    World far(kWidth, kHeight, World::Depth::k8);
    qb_test::paint_distances(far, [](int, int) { return 0; });
    host->set_value("On-Focus Distance", 255);
    host->set_layer("Distance Layer", &far);
    const World through_steps = render(*host, input);
    EXPECT_EQ(through_steps.pixel_float(150, 150).red, output.pixel_float(150, 150).red);
    EXPECT_EQ(through_steps.pixel_float(60, 75).green, output.pixel_float(60, 75).green);

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(values[i]);
        const float source = kSpot * kSpot * (values[i] - kBackground);
        const Light disc = light_around(output, centres[i], 60, kReach, kBackground);
        EXPECT_NEAR(disc.red, source, 0.01 * source);
        // A disc, not a dot: its middle holds only a small share of the light.
        EXPECT_LT(output.pixel_float(centres[i], 60).red - kBackground, 0.01f * source);
    }
    const Light disc = light_around(output, 160, 160, kReach, kBackground);
    EXPECT_NEAR(disc.red / disc.green, (20.0f - kBackground) / (2.0f - kBackground), 0.01);
    EXPECT_NEAR(disc.blue / disc.green, (0.5f - kBackground) / (2.0f - kBackground), 0.01);
    const PF_PixelFloat& middle = output.pixel_float(160, 160);
    EXPECT_GT(middle.red - kBackground, 5.0f * (middle.green - kBackground))
        << "a saturated light turned pale";
}

// Light 0..1 at Hardness 1: the render is the picture spread by the iris, normalised by the iris
// cells inside the frame. The iris is taken from the module's own answer to a single bright
// pixel; the spread of a whole picture is then computed here, directly.
TEST_F(FloatRender, EqualsADirectNormalisedConvolution) {
    constexpr int kAmount = 9;
    constexpr int kSize = 41;
    constexpr int kCentre = kSize / 2;
    auto host = effect(kSize, kSize);
    host->set_value("Bokeh Amount", kAmount);

    World impulse = opaque_frame(kSize, kSize, 0.0f);
    impulse.pixel_float(kCentre, kCentre).red = 1.0f;
    const World response = render(*host, impulse);
    const auto iris = [&](int dx, int dy) -> double {
        const int x = kCentre + dx;
        const int y = kCentre + dy;
        return x >= 0 && x < kSize && y >= 0 && y < kSize ? response.pixel_float(x, y).red : 0.0;
    };

    World picture = opaque_frame(kSize, kSize, 0.0f);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            picture.pixel_float(x, y) = PF_PixelFloat{1.0f, value(rng), value(rng), value(rng)};
        }
    }
    const auto expect_direct_spread = [&](const World& output) {
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                double light = 0.0, weight = 0.0;
                for (int qy = 0; qy < kSize; ++qy) {
                    for (int qx = 0; qx < kSize; ++qx) {
                        const double cell = iris(x - qx, y - qy);
                        light += cell * picture.pixel_float(qx, qy).green;
                        weight += cell;
                    }
                }
                const double expected = light / weight;
                ASSERT_NEAR(output.pixel_float(x, y).green, expected, 1e-4 * expected)
                    << "at " << x << ", " << y;
            }
        }
    };
    expect_direct_spread(render(*host, picture));

    // Highlights ten million times the dark pixels beside them: the sums a disc carries along a
    // row must not lose the dark light once a highlight has passed.
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            picture.pixel_float(x, y).green *= (x + y) % 3 == 0 ? 1.0f : 0.001f;
        }
    }
    for (int i = 0; i < 6; ++i) {
        picture.pixel_float(3 + 7 * i, 3 + 6 * i).green = 10000.0f;
    }
    expect_direct_spread(render(*host, picture));
}

TEST_F(FloatRender, HardnessAndBrightnessAreContinuousAndOneOneIsLinear) {
    constexpr int kSize = 48;
    World flat = opaque_frame(kSize, kSize, 3.0f);
    World spot = opaque_frame(kSize, kSize, 0.0f);
    put_spot(spot, kSize / 2, kSize / 2, Light{50.0f, 50.0f, 50.0f});
    auto host = effect(kSize, kSize);
    host->set_value("Bokeh Amount", 15);

    // Any power mean of equal values is that value: a flat frame stays flat at every hardness.
    for (const double hardness : {0.4, 1.0, 1.7}) {
        host->set_value("Hardness", hardness);
        EXPECT_NEAR(render(*host, flat).pixel_float(20, 20).red, 3.0f, 3e-5f) << hardness;
    }
    // Brightness multiplies linear light.
    host->set_value("Hardness", 1.0);
    const float plain = render(*host, spot).pixel_float(kSize / 2 + 3, kSize / 2).red;
    host->set_value("Brightness", 2.0);
    EXPECT_NEAR(render(*host, spot).pixel_float(kSize / 2 + 3, kSize / 2).red, 2.0f * plain,
                1e-5f * plain);
    // Harder discs keep more of a bright spot's light in its disc; a small change of hardness
    // makes a small change of light.
    host->set_value("Brightness", 1.0);
    host->set_value("Hardness", 1.01);
    const float nearly = render(*host, spot).pixel_float(kSize / 2 + 3, kSize / 2).red;
    EXPECT_GT(nearly, plain);
    EXPECT_NEAR(nearly, plain, 0.1f * plain);
}

TEST_F(FloatRender, NotANumberAndInfinitiesGiveFiniteLight) {
    constexpr int kSize = 32;
    World input = opaque_frame(kSize, kSize, 0.5f);
    input.pixel_float(5, 5).red = std::numeric_limits<float>::quiet_NaN();
    input.pixel_float(9, 5).green = std::numeric_limits<float>::infinity();
    input.pixel_float(13, 5).blue = -std::numeric_limits<float>::infinity();
    input.pixel_float(17, 5).alpha = std::numeric_limits<float>::quiet_NaN();
    input.pixel_float(21, 5).red = -4.0f;
    auto host = effect(kSize, kSize);
    host->set_value("Bokeh Amount", 7);
    const World output = render(*host, input);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const PF_PixelFloat& p = output.pixel_float(x, y);
            ASSERT_TRUE(std::isfinite(p.red) && std::isfinite(p.green) && std::isfinite(p.blue))
                << "at " << x << ", " << y;
            ASSERT_GE(std::min({p.red, p.green, p.blue}), 0.0f) << "at " << x << ", " << y;
        }
    }
    // The infinite green is the largest light carried, spread over a disc: very bright.
    EXPECT_GT(output.pixel_float(9, 6).green, 1.0e15f);
}

// A glow (colour without alpha, as additive passes hold it) is light, spread with its energy
// kept; a soft, straight-alpha disc keeps its colour out to its edge instead of darkening into
// the transparent pixels around it, and its light spills past its edge.
TEST_F(FloatRender, GlowsKeepTheirLightAndSoftEdgesKeepTheirColour) {
    constexpr int kSize = 64;
    auto host = effect(kSize, kSize);
    host->set_value("Bokeh Amount", 11);

    World glow(kSize, kSize, World::Depth::kFloat);
    for (int y = 28; y < 36; ++y) {
        for (int x = 28; x < 36; ++x) {
            glow.pixel_float(x, y) = PF_PixelFloat{0.0f, 4.0f, 2.0f, 1.0f};
        }
    }
    const Light spread = light_around(render(*host, glow), 32, 32, 12, 0.0f);
    EXPECT_NEAR(spread.red, 64 * 4.0f, 0.01f * 64 * 4.0f);

    World soft(kSize, kSize, World::Depth::kFloat);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double r = std::hypot(x - 32.0, y - 32.0);
            const auto alpha = static_cast<float>(std::clamp((20.0 - r) / 6.0, 0.0, 1.0));
            if (alpha > 0.0f) {
                soft.pixel_float(x, y) = PF_PixelFloat{alpha, 0.8f, 0.3f, 2.5f};
            }
        }
    }
    const World output = render(*host, soft);
    for (int x = 32; x < kSize; ++x) {
        const PF_PixelFloat& p = output.pixel_float(x, 32);
        if (soft.pixel_float(x, 32).alpha > 0.0f) {
            EXPECT_NEAR(p.red, 0.8f, 0.008f) << x;
            EXPECT_NEAR(p.blue, 2.5f, 0.025f) << x;
            EXPECT_EQ(p.alpha, soft.pixel_float(x, 32).alpha) << x;
        }
    }
    // Just outside the edge nothing covers a pixel: what falls on it is the disc's light.
    const PF_PixelFloat& outside = output.pixel_float(32 + 21, 32);
    EXPECT_EQ(outside.alpha, 0.0f);
    EXPECT_GT(outside.blue, 0.0f);
    EXPECT_LT(outside.blue, 0.5f * 2.5f);
}

// With the alpha spread too, colour times alpha is the spread of the premultiplied light: the
// element is blurred as one, its colour kept and its light neither lost nor gained.
TEST_F(FloatRender, WithAlphaBokehAnElementBlursAsOnePremultipliedPicture) {
    constexpr int kSize = 72;
    folder_.touch("alpha_boke");
    auto host = effect(kSize, kSize);
    host->set_value("Bokeh Amount", 13);
    World soft(kSize, kSize, World::Depth::kFloat);
    double source_light = 0.0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double r = std::hypot(x - 36.0, y - 36.0);
            const auto alpha = static_cast<float>(std::clamp((18.0 - r) / 5.0, 0.0, 1.0));
            if (alpha > 0.0f) {
                soft.pixel_float(x, y) = PF_PixelFloat{alpha, 0.8f, 0.3f, 2.5f};
                source_light += alpha * 2.5;
            }
        }
    }
    const World output = render(*host, soft);
    double light = 0.0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const PF_PixelFloat& p = output.pixel_float(x, y);
            light += p.alpha * p.blue;
            if (p.alpha > 1e-3f) {
                ASSERT_NEAR(p.blue, 2.5f, 0.025f) << "at " << x << ", " << y;
            }
        }
    }
    EXPECT_NEAR(light, source_light, 0.01 * source_light);
    EXPECT_LT(output.pixel_float(36 + 18, 36).alpha, 0.5f) << "the alpha was not spread";
}

TEST_F(FloatRender, FloatDistanceLayersEqualTheSixteenBitOnesTheyMatch) {
    constexpr int kWidth = 70;
    constexpr int kHeight = 40;
    World input(kWidth, kHeight, World::Depth::kFloat);
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> value(0.0f, 3.0f);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            input.pixel_float(x, y) = PF_PixelFloat{1.0f, value(rng), value(rng), value(rng)};
        }
    }
    World deep(kWidth, kHeight, World::Depth::k16);
    qb_test::paint_distances(deep, [](int x, int y) { return (x * 5 + y * 2) % 256; });
    World floating(kWidth, kHeight, World::Depth::kFloat);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            floating.pixel_float(x, y).red = deep.pixel16(x, y).red / 32768.0f;
        }
    }
    auto host = effect(kWidth, kHeight);
    host->set_value("Bokeh Amount", 14);
    host->set_value("On-Focus Distance", 90);
    host->set_layer("Distance Layer", &deep);
    const World by_deep = render(*host, input);
    host->set_layer("Distance Layer", &floating);
    const World by_float = render(*host, input);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            ASSERT_EQ(by_deep.pixel_float(x, y).red, by_float.pixel_float(x, y).red)
                << "at " << x << ", " << y;
        }
    }
}

}  // namespace
