// Control values checked against declarations, the thread count a farm task takes, and the demo
// scene the README's first command renders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "cli/cli_error.h"
#include "cli/command_line.h"
#include "cli/control_values.h"
#include "cli/demo_scene.h"
#include "cli/thread_count.h"

namespace {

host::DeclaredParam popup(const char* name, const char* choices) {
    host::DeclaredParam control;
    control.def.param_type = PF_Param_POPUP;
    std::strcpy(control.def.name, name);
    control.choices = choices;
    return control;
}

host::DeclaredParam fixed_slider(const char* name, double min, double max) {
    host::DeclaredParam control;
    control.def.param_type = PF_Param_FIX_SLIDER;
    std::strcpy(control.def.name, name);
    control.def.u.fd.valid_min = static_cast<PF_Fixed>(min * PF_FIXED_ONE);
    control.def.u.fd.valid_max = static_cast<PF_Fixed>(max * PF_FIXED_ONE);
    return control;
}

TEST(ControlValues, PopupsTakeANumberOrTheirTextInAnyCase) {
    const auto quality = popup("Quality", "Auto (Speed)|Auto (Quality)|Low|Normal|High");
    EXPECT_EQ(cli::popup_position(quality, "3", "--quality", true), 3);
    EXPECT_EQ(cli::popup_position(quality, "high", "--quality", true), 5);
    EXPECT_EQ(cli::popup_position(quality, "Auto (Quality)", "--quality", true), 2);
    EXPECT_THROW(cli::popup_position(quality, "6", "--quality", true), cli::CliError);
    EXPECT_THROW(cli::popup_position(quality, "Best", "--quality", true), cli::CliError);
}

TEST(ControlValues, ShapeNamesThatLookLikeNumbersAreTakenByName) {
    const auto shapes = popup("Iris Shape", "05|06|07|08|09|circle");
    EXPECT_EQ(cli::popup_position(shapes, "06", "--shape", false), 2);
    EXPECT_EQ(cli::popup_position(shapes, "Circle", "--shape", false), 6);
    try {
        cli::popup_position(shapes, "3", "--shape", false);
        FAIL() << "a position was taken for a name";
    } catch (const cli::CliError& error) {
        EXPECT_EQ(error.exit_status(), cli::kExitBadInput);
        EXPECT_NE(std::string(error.what()).find("05, 06, 07"), std::string::npos);
    }
}

TEST(ControlValues, SlidersRefuseValuesOutsideTheDeclaredRange) {
    const auto amount = fixed_slider("Bokeh Amount", 0, 300);
    EXPECT_EQ(cli::checked_slider_value(amount, 300, "--amount"), 300);
    EXPECT_EQ(cli::checked_slider_value(amount, 0, "--amount"), 0);
    try {
        cli::checked_slider_value(amount, 300.5, "--amount");
        FAIL() << "out of range accepted";
    } catch (const cli::CliError& error) {
        EXPECT_STREQ(error.what(), "--amount 300.5: \"Bokeh Amount\" takes 0 to 300");
    }
    EXPECT_THROW(cli::checked_slider_value(amount, NAN, "--amount"), cli::CliError);
}

TEST(CommandLine, PointsAndPreviewsAreNumberLists) {
    EXPECT_EQ(cli::parse_numbers("12,34.5", "--focus-at", 2, 2), (std::vector<double>{12, 34.5}));
    EXPECT_EQ(cli::parse_numbers("1,2,100", "--preview", 2, 3).size(), 3u);
    for (const char* bad : {"12", "1,2,3", "a,b", "1,,2", "1,2x", ""}) {
        EXPECT_THROW(cli::parse_numbers(bad, "--focus-at", 2, 2), cli::CliError) << bad;
    }
}

TEST(ThreadCount, ExplicitOpenMpThenSlurmThenAffinity) {
    EXPECT_EQ(cli::scheduled_thread_count({{"OMP_NUM_THREADS", "3"}, {"SLURM_CPUS_PER_TASK", "8"}}),
              0);
    EXPECT_EQ(cli::scheduled_thread_count({{"SLURM_CPUS_PER_TASK", "8"}}), 8);
    EXPECT_GE(cli::scheduled_thread_count({{"SLURM_CPUS_PER_TASK", "none"}}), 1);
    EXPECT_GE(cli::scheduled_thread_count({}), 1);
}

TEST(DemoScene, IsTheSameEveryTimeWithItsPartsAtTheirDistances) {
    const cli::DemoScene first = cli::make_demo_scene(320, 180);
    const cli::DemoScene second = cli::make_demo_scene(320, 180);
    int near_lights = 0;
    int far_pixels = 0;
    for (int y = 0; y < 180; ++y) {
        for (int x = 0; x < 320; ++x) {
            ASSERT_EQ(std::memcmp(&first.colour->pixel8(x, y), &second.colour->pixel8(x, y),
                                  sizeof(PF_Pixel8)),
                      0);
            const int d = first.distance->pixel8(x, y).red;
            near_lights += d >= 240;
            far_pixels += d <= 30;
        }
    }
    EXPECT_GT(near_lights, 0);
    EXPECT_GT(far_pixels, 320 * 180 / 4);
    const int subject =
        first.distance->pixel8(static_cast<int>(first.subject.x), static_cast<int>(first.subject.y))
            .red;
    EXPECT_GT(subject, 100);
    EXPECT_LT(subject, 200);
}

}  // namespace
