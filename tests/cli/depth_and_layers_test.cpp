// Depth passes into Distance Layers, and layers reduced as a host's draft resolution does.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "cli/depth_pass.h"
#include "cli/image_library.h"
#include "cli/image_reader.h"
#include "session/downsample.h"
#include "session/session_error.h"

namespace {

namespace fs = std::filesystem;
namespace oiio = OIIO;

std::vector<cli::ImagePart> one_part(std::vector<std::string> names) {
    return {{"", std::move(names)}};
}

bool found_at(const std::optional<cli::ChannelRef>& found, int part, int channel) {
    return found && found->part == part && found->channel == channel;
}

TEST(DepthPass, DepthChannelsAreFoundByNameOrByTheirLastPart) {
    const auto layers = one_part({"R", "G", "B", "A", "ViewLayer.Depth", "Zoom"});
    EXPECT_TRUE(found_at(cli::find_depth_channel(layers, ""), 0, 4));
    EXPECT_TRUE(found_at(cli::find_depth_channel(layers, "depth"), 0, 4));
    EXPECT_TRUE(found_at(cli::find_depth_channel(layers, "Zoom"), 0, 5));
    EXPECT_FALSE(cli::find_depth_channel(layers, "Z"));
    EXPECT_TRUE(found_at(cli::find_depth_channel(one_part({"R", "G", "B", "Z"}), ""), 0, 3));
    EXPECT_TRUE(found_at(cli::find_depth_channel(one_part({"beauty.R", "beauty.z"}), "Z"), 0, 1));
}

TEST(DepthPass, InAFileOfSeveralPartsAnyPartMayHoldTheDepth) {
    const std::vector<cli::ImagePart> parts = {
        {"beauty", {"R", "G", "B", "A"}}, {"cryptomatte", {"depth"}}, {"pass", {"Y", "Z"}}};
    // Z before depth, in whichever part it is.
    EXPECT_TRUE(found_at(cli::find_depth_channel(parts, ""), 2, 1));
    EXPECT_TRUE(found_at(cli::find_depth_channel(parts, "pass.Y"), 2, 0));
    EXPECT_TRUE(found_at(cli::find_depth_channel(parts, "PASS"), 2, 0));
    EXPECT_TRUE(found_at(cli::find_depth_channel(parts, "cryptomatte"), 1, 0));
    EXPECT_FALSE(cli::find_depth_channel(parts, "beauty.Z"));
    EXPECT_FALSE(cli::find_depth_channel({{"beauty", {"R", "G", "B"}}}, ""));
}

fs::path scratch(const char* name) {
    return fs::temp_directory_path() / (std::to_string(getpid()) + "_" + name);
}

TEST(DepthPass, AnExrDepthChannelBecomesAnEightBitDistanceLayer) {
    const fs::path file = scratch("qb_depth.exr");
    cli::PictureLayout layout(2, 1, 4, oiio::TypeDesc::FLOAT);
    layout.channelnames = {"R", "G", "B", "Z"};
    const float pixels[] = {0, 0, 0, 1.0f, 0, 0, 0, 3.0f};
    auto out = oiio::ImageOutput::create(file.string());
    ASSERT_TRUE(out && out->open(file.string(), layout));
    ASSERT_TRUE(out->write_image(oiio::TypeDesc::FLOAT, pixels));
    out->close();

    const cli::DepthPass pass = cli::read_depth_pass(file.string(), "", {1.0, 3.0, false});
    const auto& layer = pass.layer;
    EXPECT_EQ(layer->depth(), host::World::Depth::k8);
    EXPECT_EQ(layer->pixel8(0, 0).red, 255);
    EXPECT_EQ(layer->pixel8(1, 0).red, 0);
    EXPECT_THROW(cli::read_depth_pass(file.string(), "depth.nope", {1.0, 3.0, false}),
                 session::SessionError);
    fs::remove(file);
}

// Colour in a first part, depth alone in a second part with a smaller data window of its own.
TEST(DepthPass, TheDepthOfASecondPartIsReadOverThatPartsDataWindow) {
    const fs::path file = scratch("qb_two_parts.exr");
    cli::PictureLayout parts[2] = {cli::PictureLayout(4, 2, 3, oiio::TypeDesc::HALF),
                                   cli::PictureLayout(2, 1, 1, oiio::TypeDesc::FLOAT)};
    parts[0].attribute("name", "beauty");
    parts[1].attribute("name", "depth");
    parts[1].channelnames = {"Z"};
    parts[1].x = 1;
    parts[1].y = 1;
    parts[1].full_width = 4;
    parts[1].full_height = 2;
    const std::vector<float> colour(4 * 2 * 3, 0.5f);
    const float depths[] = {1.0f, 3.0f};
    auto out = oiio::ImageOutput::create(file.string());
    ASSERT_TRUE(out && out->open(file.string(), 2, parts));
    ASSERT_TRUE(out->write_image(oiio::TypeDesc::FLOAT, colour.data()));
    ASSERT_TRUE(out->open(file.string(), parts[1], oiio::ImageOutput::AppendSubimage));
    ASSERT_TRUE(out->write_image(oiio::TypeDesc::FLOAT, depths) && out->close());

    const cli::DepthPass pass = cli::read_depth_pass(file.string(), "", {1.0, 3.0, false});
    EXPECT_EQ(pass.data, (cli::PixelWindow{1, 1, 2, 1}));
    EXPECT_EQ(pass.layer->pixel8(0, 0).red, 255);
    EXPECT_EQ(pass.layer->pixel8(1, 0).red, 0);
    try {
        cli::read_depth_pass(file.string(), "normals", {1.0, 3.0, false});
        ADD_FAILURE() << "a missing channel was found";
    } catch (const session::SessionError& error) {
        EXPECT_NE(std::string(error.what()).find("beauty: R, G, B; depth: Z"), std::string::npos)
            << error.what();
    }
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
    const auto half = session::downsample(layer, 2);
    ASSERT_EQ(half->width(), 3);
    ASSERT_EQ(half->height(), 2);
    EXPECT_EQ(half->pixel8(0, 0).red, 5);  // (0 + 10 + 0 + 10) / 4
    EXPECT_EQ(half->pixel8(2, 0).red, 40);
    EXPECT_EQ(half->pixel8(2, 1).red, 140);
    EXPECT_EQ(half->pixel8(1, 1).alpha, 255);

    host::World deep(2, 2, host::World::Depth::k16);
    deep.fill16(PF_Pixel16{32768, 1, 2, 32768});
    const auto one = session::downsample(deep, 2);
    EXPECT_EQ(one->depth(), host::World::Depth::k16);
    EXPECT_EQ(one->pixel16(0, 0).blue, 32768);
    EXPECT_EQ(one->pixel16(0, 0).green, 2);

    // Light is averaged as it is, however bright.
    host::World light(2, 1, host::World::Depth::kFloat);
    light.pixel_float(0, 0) = PF_PixelFloat{1.0f, 1e6f, 0.25f, 0.0f};
    light.pixel_float(1, 0) = PF_PixelFloat{0.0f, 0.0f, 0.5f, 3.0f};
    const auto mean = session::downsample(light, 2);
    EXPECT_FLOAT_EQ(mean->pixel_float(0, 0).red, 5e5f);
    EXPECT_FLOAT_EQ(mean->pixel_float(0, 0).green, 0.375f);
    EXPECT_FLOAT_EQ(mean->pixel_float(0, 0).alpha, 0.5f);
}

}  // namespace
