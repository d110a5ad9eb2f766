// Depth passes into Distance Layers, and layers reduced as a host's draft resolution does.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "cli/depth_pass.h"
#include "cli/downsample.h"
#include "cli/image_reader.h"
#include "session/session_error.h"

namespace {

namespace fs = std::filesystem;
namespace oiio = OIIO;

TEST(DepthPass, NearIsNearestFarIsFarthestAndOutsideIsClamped) {
    const cli::DepthRange range{2.0, 12.0, false};
    EXPECT_EQ(cli::depth_to_distance(2.0f, range), 255);
    EXPECT_EQ(cli::depth_to_distance(12.0f, range), 0);
    EXPECT_EQ(cli::depth_to_distance(7.0f, range), 128);
    EXPECT_EQ(cli::depth_to_distance(0.5f, range), 255);
    EXPECT_EQ(cli::depth_to_distance(1e9f, range), 0);
    EXPECT_EQ(cli::depth_to_distance(std::numeric_limits<float>::infinity(), range), 0);
    // Background pixels of a depth pass carry no depth: they are far away.
    EXPECT_EQ(cli::depth_to_distance(NAN, range), 0);
}

TEST(DepthPass, InvertSwapsTheEnds) {
    const cli::DepthRange range{2.0, 12.0, true};
    EXPECT_EQ(cli::depth_to_distance(2.0f, range), 0);
    EXPECT_EQ(cli::depth_to_distance(12.0f, range), 255);
    EXPECT_EQ(cli::depth_to_distance(NAN, range), 255);
}

cli::ImageHeader header_with(std::vector<std::string> names) {
    cli::ImageHeader header;
    header.channel_names = std::move(names);
    return header;
}

TEST(DepthPass, DepthChannelsAreFoundByNameOrByTheirLastPart) {
    const auto layers = header_with({"R", "G", "B", "A", "ViewLayer.Depth", "Zoom"});
    EXPECT_EQ(cli::find_depth_channel(layers, ""), 4);
    EXPECT_EQ(cli::find_depth_channel(layers, "depth"), 4);
    EXPECT_EQ(cli::find_depth_channel(layers, "Zoom"), 5);
    EXPECT_FALSE(cli::find_depth_channel(layers, "Z"));
    EXPECT_EQ(cli::find_depth_channel(header_with({"R", "G", "B", "Z"}), ""), 3);
    EXPECT_EQ(cli::find_depth_channel(header_with({"beauty.R", "beauty.z"}), "Z"), 1);
}

TEST(DepthPass, AnExrDepthChannelBecomesAnEightBitDistanceLayer) {
    const fs::path file =
        fs::temp_directory_path() / ("qb_depth_" + std::to_string(getpid()) + ".exr");
    oiio::ImageSpec spec(2, 1, 4, oiio::TypeDesc::FLOAT);
    spec.channelnames = {"R", "G", "B", "Z"};
    const float pixels[] = {0, 0, 0, 1.0f, 0, 0, 0, 3.0f};
    auto out = oiio::ImageOutput::create(file.string());
    ASSERT_TRUE(out && out->open(file.string(), spec));
    ASSERT_TRUE(out->write_image(oiio::TypeDesc::FLOAT, pixels));
    out->close();

    const auto layer = cli::read_depth_pass(file.string(), "", {1.0, 3.0, false});
    EXPECT_EQ(layer->depth(), host::World::Depth::k8);
    EXPECT_EQ(layer->pixel8(0, 0).red, 255);
    EXPECT_EQ(layer->pixel8(1, 0).red, 0);
    EXPECT_THROW(cli::read_depth_pass(file.string(), "depth.nope", {1.0, 3.0, false}),
                 session::SessionError);
    fs::remove(file);
}

TEST(Downsample, BlocksAreAveragedAndEdgeBlocksCountOnlyTheirPixels) {
    host::World layer(5, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const auto v = static_cast<std::uint8_t>(10 * x + 100 * (y == 2));
            layer.pixel8(x, y) = PF_Pixel8{255, v, 0, 0};
        }
    }
    const auto half = cli::downsample(layer, 2);
    ASSERT_EQ(half->width(), 3);
    ASSERT_EQ(half->height(), 2);
    EXPECT_EQ(half->pixel8(0, 0).red, 5);  // (0 + 10 + 0 + 10) / 4
    EXPECT_EQ(half->pixel8(2, 0).red, 40);
    EXPECT_EQ(half->pixel8(2, 1).red, 140);
    EXPECT_EQ(half->pixel8(1, 1).alpha, 255);

    host::World deep(2, 2, host::World::Depth::k16);
    deep.fill16(PF_Pixel16{32768, 1, 2, 32768});
    const auto one = cli::downsample(deep, 2);
    EXPECT_EQ(one->depth(), host::World::Depth::k16);
    EXPECT_EQ(one->pixel16(0, 0).blue, 32768);
    EXPECT_EQ(one->pixel16(0, 0).green, 2);
}

}  // namespace
