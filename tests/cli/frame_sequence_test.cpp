// Frame patterns, ranges and the slices farm tasks take of them.
#include "cli/frame_sequence.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "cli/exit_status.h"
#include "session/session_error.h"

namespace {

using cli::Chunk;
using cli::FramePattern;
using cli::FrameRange;
using session::SessionError;

int exit_status_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const SessionError& error) {
        return cli::exit_status(error.kind());
    }
    return 0;
}

TEST(FramePattern, HashesAndPrintfFieldsGiveZeroPaddedNumbers) {
    EXPECT_EQ(FramePattern("shot.####.exr").file_for(7), "shot.0007.exr");
    EXPECT_EQ(FramePattern("shot.%04d.exr").file_for(7), "shot.0007.exr");
    EXPECT_EQ(FramePattern("shot.%d.exr").file_for(7), "shot.7.exr");
    EXPECT_EQ(FramePattern("dir/#/f.png").file_for(12345), "dir/12345/f.png");
    EXPECT_EQ(FramePattern("shot.####.exr").file_for(-3), "shot.-003.exr");
}

TEST(FramePattern, ANameWithoutFieldIsTheSameFileForEveryFrame) {
    const FramePattern still("still.png");
    EXPECT_FALSE(still.has_frame_field());
    EXPECT_EQ(still.file_for(5), "still.png");
}

TEST(FramePattern, TwoFieldsAreRefused) {
    EXPECT_EQ(exit_status_of([] { FramePattern("a.##.%04d.png"); }), cli::kExitBadInput);
    EXPECT_EQ(exit_status_of([] { FramePattern("a.##.b.##.png"); }), cli::kExitBadInput);
}

TEST(FrameRange, ParsesRangesAndSingleFramesAndRefusesTheRest) {
    const FrameRange range = cli::parse_frame_range("1001-1100");
    EXPECT_EQ(range.first, 1001);
    EXPECT_EQ(range.count(), 100);
    EXPECT_EQ(cli::parse_frame_range("5").count(), 1);
    EXPECT_EQ(cli::parse_frame_range("-5--2").count(), 4);
    for (const char* bad : {"", "10-1", "1-", "a-b", "1-5x", "1..5"}) {
        EXPECT_EQ(exit_status_of([&] { cli::parse_frame_range(bad); }), cli::kExitBadInput) << bad;
    }
}

TEST(Chunk, SlicesCoverEveryFrameOnceWithSizesWithinOne) {
    for (int frames = 1; frames <= 30; ++frames) {
        for (int slices = 1; slices <= 12; ++slices) {
            const FrameRange range{100, 100 + frames - 1};
            std::multiset<int> seen;
            std::size_t smallest = frames;
            std::size_t largest = 0;
            for (int i = 1; i <= slices; ++i) {
                const std::vector<int> part = cli::frames_of_chunk(range, Chunk{i, slices});
                seen.insert(part.begin(), part.end());
                smallest = std::min(smallest, part.size());
                largest = std::max(largest, part.size());
            }
            ASSERT_EQ(seen.size(), static_cast<std::size_t>(frames));
            for (int f = range.first; f <= range.last; ++f) {
                ASSERT_EQ(seen.count(f), 1u) << f << " in " << frames << "/" << slices;
            }
            EXPECT_LE(largest - smallest, 1u);
        }
    }
}

TEST(Chunk, ParsesIOfNAndRefusesSlicesOutsideIt) {
    const Chunk chunk = cli::parse_chunk("3/8", {});
    EXPECT_EQ(chunk.index, 3);
    EXPECT_EQ(chunk.count, 8);
    for (const char* bad : {"0/4", "5/4", "1/0", "2", "a/b", "1/4x", "-1/4"}) {
        EXPECT_EQ(exit_status_of([&] { cli::parse_chunk(bad, {}); }), cli::kExitBadInput) << bad;
    }
}

TEST(Chunk, AutoTakesTheSlurmArrayTasksPlace) {
    const std::map<std::string, std::string> array = {{"SLURM_ARRAY_TASK_ID", "12"},
                                                      {"SLURM_ARRAY_TASK_MIN", "10"},
                                                      {"SLURM_ARRAY_TASK_COUNT", "4"}};
    const Chunk chunk = cli::parse_chunk("auto", array);
    EXPECT_EQ(chunk.index, 3);
    EXPECT_EQ(chunk.count, 4);
}

TEST(Chunk, AutoOutsideAJobArrayIsAClearError) {
    try {
        cli::parse_chunk("auto", {{"SLURM_JOB_ID", "7"}});
        FAIL() << "no error outside an array";
    } catch (const SessionError& error) {
        EXPECT_EQ(cli::exit_status(error.kind()), cli::kExitBadInput);
        EXPECT_NE(std::string(error.what()).find("SLURM_ARRAY_TASK_ID"), std::string::npos);
    }
    EXPECT_EQ(exit_status_of([] {
                  cli::parse_chunk("auto", {{"SLURM_ARRAY_TASK_ID", "x"},
                                            {"SLURM_ARRAY_TASK_MIN", "1"},
                                            {"SLURM_ARRAY_TASK_COUNT", "4"}});
              }),
              cli::kExitBadInput);
}

}  // namespace
