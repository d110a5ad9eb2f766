// Number lists on the command line, the thread count a farm task takes, and the demo scene the
// README's first command renders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "cli/command_line.h"
#include "cli/demo_scene.h"
#include "cli/thread_count.h"
#include "session/session_error.h"

namespace {

TEST(CommandLine, PointsAndPreviewsAreNumberLists) {
    EXPECT_EQ(cli::parse_numbers("12,34.5", "--focus-at", 2, 2), (std::vector<double>{12, 34.5}));
    EXPECT_EQ(cli::parse_numbers("1,2,100", "--preview", 2, 3).size(), 3u);
    for (const char* bad : {"12", "1,2,3", "a,b", "1,,2", "1,2x", ""}) {
        EXPECT_THROW(cli::parse_numbers(bad, "--focus-at", 2, 2), session::SessionError) << bad;
    }
}

TEST(ThreadCount, ExplicitOpenMpThenSlurmThenAffinity) {
    EXPECT_EQ(cli::scheduled_thread_count({{"OMP_NUM_THREADS", "3"}, {"SLURM_CPUS_PER_TASK", "8"}}),
              0);
    EXPECT_EQ(cli::scheduled_thread_count({{"SLURM_CPUS_PER_TASK", "8"}}), 8);
    EXPECT_GE(cli::scheduled_thread_count({{"SLURM_CPUS_PER_TASK", "none"}}), 1);
    EXPECT_GE(cli::scheduled_thread_count({}), 1);
}

// Focused on the target, the lights near and far must be about equally far from focus, so that
// both open into discs of about one size; the parapet the target stands on stays sharp with it.
TEST(DemoScene, IsTheSameEveryTimeWithTheTargetHalfwayBetweenTheLightsNearAndFar) {
    constexpr int kWidth = 320;
    constexpr int kHeight = 180;
    const cli::DemoScene first = cli::make_demo_scene(kWidth, kHeight);
    const cli::DemoScene second = cli::make_demo_scene(kWidth, kHeight);
    const int subject =
        first.distance->pixel8(static_cast<int>(first.subject.x), static_cast<int>(first.subject.y))
            .red;
    int nearest = 0;
    int farthest = 255;
    int far_pixels = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            ASSERT_EQ(std::memcmp(&first.colour->pixel8(x, y), &second.colour->pixel8(x, y),
                                  sizeof(PF_Pixel8)),
                      0);
            const int d = first.distance->pixel8(x, y).red;
            nearest = std::max(nearest, d);
            farthest = std::min(farthest, d);
            far_pixels += d == 0;
        }
    }
    EXPECT_EQ(nearest, 255);
    EXPECT_EQ(farthest, 0);
    EXPECT_GT(far_pixels, kWidth * kHeight / 4);
    EXPECT_NEAR(nearest - subject, subject - farthest, 2);
    for (int x = 0; x < kWidth; ++x) {
        EXPECT_EQ(first.distance->pixel8(x, kHeight - 1).red, subject) << x;
    }
}

}  // namespace
