// Float files into float worlds of scene-linear light and back, and the windows, alpha and
// curves around them: everything the tool does to a picture short of rendering it.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "cli/frame_layers.h"
#include "cli/image_library.h"
#include "cli/image_reader.h"
#include "cli/image_writer.h"
#include "session/session_error.h"
#include "tests/cli/scratch_files.h"

namespace {

namespace oiio = OIIO;
using cli::PixelWindow;

constexpr float kInf = std::numeric_limits<float>::infinity();

struct Stored {
    cli::PictureLayout layout;
    std::vector<float> pixels;
};

// A file's layout and values exactly as stored (colour as the file keeps it).
Stored stored(const std::string& path) {
    cli::PictureLayout config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = oiio::ImageInput::open(path, &config);
    if (!in) {
        ADD_FAILURE() << oiio::geterror();
        return {};
    }
    Stored file{cli::layout_of(*in), {}};
    file.pixels.resize(static_cast<std::size_t>(file.layout.image_pixels()) *
                       file.layout.nchannels);
    EXPECT_TRUE(
        in->read_image(0, 0, 0, file.layout.nchannels, oiio::TypeDesc::FLOAT, file.pixels.data()));
    return file;
}

PixelWindow data_of(const cli::PictureLayout& layout) {
    return {layout.x, layout.y, layout.width, layout.height};
}

PixelWindow display_of(const cli::PictureLayout& layout) {
    return {layout.full_x, layout.full_y, layout.full_width, layout.full_height};
}

class LightFiles : public qb_test::ScratchFiles {
  protected:
    // The frame as the tool reads it: the file alone as a still, at 1/downsample.
    cli::FrameLayers frame_of(const std::string& name, int downsample = 1,
                              cli::LightMode light = cli::LightMode::automatic) const {
        const cli::FrameGeometry geometry = cli::sequence_geometry({path(name)}, downsample);
        return cli::read_frame_layers(path(name), "", {{}, light, geometry.frame, downsample});
    }

    // Writes the frame's input as the tool writes a render that changed nothing.
    void pass_through(const std::string& in, const std::string& out,
                      cli::LightMode light = cli::LightMode::automatic) const {
        const cli::FrameLayers layers = frame_of(in, 1, light);
        cli::write_world(*layers.input, path(out), layers.output);
    }

    void write_pfm(const std::string& name, const std::vector<float>& rgb, int width) {
        std::FILE* file = std::fopen(path(name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        // A negative scale says the floats are little-endian; rows run bottom to top.
        std::fprintf(file, "PF\n%d %zu\n-1.0\n", width, rgb.size() / 3 / width);
        std::fwrite(rgb.data(), sizeof(float), rgb.size(), file);
        std::fclose(file);
    }
};

TEST_F(LightFiles, FloatFilesOfEveryKindAreReadAsLightAboveWhite) {
    const std::vector<float> rgb = {4.0f, 0.25f, 1.5f};
    write_file("half.exr", 1, 1, 3, oiio::TypeDesc::HALF, rgb);
    write_file("float.exr", 1, 1, 3, oiio::TypeDesc::FLOAT, rgb);
    write_file("float.tif", 1, 1, 3, oiio::TypeDesc::FLOAT, rgb);
    write_file("light.hdr", 1, 1, 3, oiio::TypeDesc::FLOAT, rgb);
    write_pfm("light.pfm", rgb, 1);
    for (const char* name : {"half.exr", "float.exr", "float.tif", "light.hdr", "light.pfm"}) {
        SCOPED_TRACE(name);
        const cli::ColourPicture picture = colour(name);
        EXPECT_EQ(picture.path, cli::PixelPath::light);
        ASSERT_EQ(picture.world->depth(), host::World::Depth::kFloat);
        const PF_PixelFloat& p = picture.world->pixel_float(0, 0);
        // Radiance files keep 8 bits of mantissa.
        EXPECT_NEAR(p.red, 4.0f, 4.0f / 128);
        EXPECT_NEAR(p.green, 0.25f, 0.25f / 128);
        EXPECT_NEAR(p.blue, 1.5f, 1.5f / 128);
        EXPECT_EQ(p.alpha, 1.0f);
    }
    EXPECT_EQ(cli::read_header(path("half.exr")).sample, cli::SampleKind::kHalf);
    EXPECT_EQ(cli::read_header(path("light.pfm")).sample, cli::SampleKind::kFloat);
}

TEST_F(LightFiles, NanInfinitiesAndNegativesAreCleanedAndCountedByPixel) {
    const std::vector<float> rgb = {NAN,  0.5f,  0.5f, -kInf, -2.0f, 0.5f,
                                    kInf, 1e30f, 0.5f, 0.5f,  0.5f,  7.0f};
    write_file("bad.exr", 4, 1, 3, oiio::TypeDesc::FLOAT, rgb);
    const cli::ColourPicture picture = colour("bad.exr");
    EXPECT_EQ(picture.cleaned_pixels, 3);
    EXPECT_EQ(picture.world->pixel_float(0, 0).red, 0.0f);
    EXPECT_EQ(picture.world->pixel_float(1, 0).green, 0.0f);
    EXPECT_EQ(picture.world->pixel_float(2, 0).red, PF_FLOAT_LIGHT_MAX);
    EXPECT_EQ(picture.world->pixel_float(2, 0).green, PF_FLOAT_LIGHT_MAX);
    EXPECT_EQ(picture.world->pixel_float(3, 0).blue, 7.0f);
}

// EXR colour is multiplied by alpha; the effect takes it straight. Pixels without alpha but with
// colour (a glow added over the picture) keep their light both ways.
TEST_F(LightFiles, PremultipliedExrIsReadStraightAndWrittenBackUnchanged) {
    const std::vector<float> rgba = {0.25f, 0.5f, 1.5f,  0.5f,  // half covered, bright blue
                                     2.0f,  1.0f, 0.25f, 0.0f,  // glow
                                     0.0f,  0.0f, 0.0f,  0.0f, 0.3f, 0.2f, 0.1f, 1.0f};
    for (const oiio::TypeDesc type : {oiio::TypeDesc::HALF, oiio::TypeDesc::FLOAT}) {
        SCOPED_TRACE(type.c_str());
        write_file("in.exr", 4, 1, 4, type, rgba);
        const cli::ColourPicture picture = colour("in.exr");
        const PF_PixelFloat& half_covered = picture.world->pixel_float(0, 0);
        EXPECT_FLOAT_EQ(half_covered.red, 0.5f);
        EXPECT_FLOAT_EQ(half_covered.blue, 3.0f);
        EXPECT_FLOAT_EQ(picture.world->pixel_float(1, 0).red, 2.0f);

        pass_through("in.exr", "out.exr");
        const Stored in = stored(path("in.exr"));
        const Stored out = stored(path("out.exr"));
        EXPECT_EQ(out.layout.format, type);
        ASSERT_EQ(out.pixels.size(), in.pixels.size());
        for (std::size_t i = 0; i < in.pixels.size(); ++i) {
            EXPECT_NEAR(out.pixels[i], in.pixels[i], 1e-6f * in.pixels[i]) << i;
        }
    }
}

TEST_F(LightFiles, OutputsKeepTheInputsHalfOrFullFloatUnlessAskedForAnother) {
    host::World light(1, 1, host::World::Depth::kFloat);
    light.fill_float(PF_PixelFloat{1.0f, 1.0f / 3.0f, 2.0f, 0.0f});
    cli::OutputTraits traits = cli::plain_output(light);
    traits.path = cli::PixelPath::light;
    const auto written_type = [&](const char* name) {
        cli::write_world(light, path(name), traits);
        return stored(path(name)).layout.format;
    };
    traits.input_sample = cli::SampleKind::kHalf;
    EXPECT_EQ(written_type("half.exr"), oiio::TypeDesc::HALF);
    traits.input_sample = cli::SampleKind::kFloat;
    EXPECT_EQ(written_type("float.exr"), oiio::TypeDesc::FLOAT);
    EXPECT_EQ(written_type("float.tif"), oiio::TypeDesc::FLOAT);
    traits.float_type = cli::SampleKind::kHalf;
    EXPECT_EQ(written_type("chosen.exr"), oiio::TypeDesc::HALF);
    // Light in a file of integers: clamped to white, at 16 bits, without a curve.
    cli::write_world(light, path("light.png"), traits);
    const Stored png = stored(path("light.png"));
    EXPECT_EQ(png.layout.format, oiio::TypeDesc::UINT16);
    EXPECT_NEAR(png.pixels[0], 1.0f / 3.0f, 1.0f / 65535);
    EXPECT_EQ(png.pixels[1], 1.0f);
}

// --light linear: every level of an 8-bit and a 16-bit file decodes to light and comes back as
// it was, and an EXR output holds the light itself.
TEST_F(LightFiles, LinearReadingDecodesSrgbAndWritesEveryLevelBack) {
    constexpr int kSide = 256;
    std::vector<std::uint8_t> levels8(kSide * 3);
    std::vector<std::uint16_t> levels16(kSide * kSide * 3);
    for (std::size_t i = 0; i < levels16.size(); ++i) {
        levels16[i] = static_cast<std::uint16_t>(i / 3 + i % 3 * 9973);
        if (i < levels8.size()) {
            levels8[i] = static_cast<std::uint8_t>(i / 3);
        }
    }
    write_file("eight.png", kSide, 1, 3, oiio::TypeDesc::UINT8, levels8);
    write_file("sixteen.png", kSide, kSide, 3, oiio::TypeDesc::UINT16, levels16);
    const cli::ColourPicture picture = colour("eight.png", cli::LightMode::linear);
    ASSERT_EQ(picture.world->depth(), host::World::Depth::kFloat);
    EXPECT_NEAR(picture.world->pixel_float(128, 0).red, 0.2158605f, 1e-5f);
    EXPECT_NEAR(picture.world->pixel_float(255, 0).green, 1.0f, 1e-6f);

    for (const char* name : {"eight.png", "sixteen.png"}) {
        SCOPED_TRACE(name);
        pass_through(name, "back.png", cli::LightMode::linear);
        const Stored in = stored(path(name));
        const Stored back = stored(path("back.png"));
        EXPECT_EQ(back.layout.format, in.layout.format);
        ASSERT_EQ(back.pixels.size(), in.pixels.size());
        std::size_t differing = 0;
        for (std::size_t i = 0; i < in.pixels.size(); ++i) {
            differing += back.pixels[i] != in.pixels[i];
        }
        EXPECT_EQ(differing, 0u);
    }
    pass_through("eight.png", "light.exr", cli::LightMode::linear);
    const Stored exr = stored(path("light.exr"));
    EXPECT_EQ(exr.layout.format, oiio::TypeDesc::HALF);
    EXPECT_NEAR(exr.pixels[128 * 3], 0.2158605f, 1e-3f);
}

TEST_F(LightFiles, AFloatDistanceLayerGivesTheDistancesOfTheSameSixteenBitFile) {
    constexpr int kSide = 256;
    std::vector<std::uint16_t> levels(kSide * kSide);
    std::vector<float> floats(levels.size());
    for (std::size_t i = 0; i < levels.size(); ++i) {
        levels[i] = static_cast<std::uint16_t>(i);
        floats[i] = static_cast<float>(i) / 65535.0f;
    }
    write_file("d16.png", kSide, kSide, 1, oiio::TypeDesc::UINT16, levels);
    write_file("dfloat.exr", kSide, kSide, 1, oiio::TypeDesc::FLOAT, floats);
    const auto sixteen = cli::read_distance_layer(cli::read_header(path("d16.png")));
    const auto floating = cli::read_distance_layer(cli::read_header(path("dfloat.exr")));
    ASSERT_EQ(floating->depth(), host::World::Depth::k16);
    int differing = 0;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            differing += sixteen->pixel16(x, y).red != floating->pixel16(x, y).red;
        }
    }
    EXPECT_EQ(differing, 0);
}

// A small data window inside a larger display window, and one reaching beyond it (overscan):
// the pixels sit at their coordinates in the frame, and the output has the input's windows.
TEST_F(LightFiles, DataAndDisplayWindowsSurviveReadingAndWriting) {
    struct Case {
        const char* name;
        PixelWindow data;
        PixelWindow frame;
    };
    const Case cases[] = {{"crop.exr", {10, 5, 4, 2}, {0, 0, 20, 10}},
                          {"overscan.exr", {-2, -3, 24, 14}, {-2, -3, 24, 14}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cli::PictureLayout layout(c.data.width, c.data.height, 3, oiio::TypeDesc::HALF);
        layout.x = c.data.x;
        layout.y = c.data.y;
        layout.full_width = 20;
        layout.full_height = 10;
        std::vector<float> rgb(static_cast<std::size_t>(c.data.width) * c.data.height * 3, 0.1f);
        rgb[0] = 8.0f;  // a bright spot at the data window's corner
        write_file(c.name, layout, rgb);

        const cli::FrameLayers layers = frame_of(c.name);
        ASSERT_EQ(layers.input->width(), c.frame.width);
        ASSERT_EQ(layers.input->height(), c.frame.height);
        const int spot_x = c.data.x - c.frame.x;
        const int spot_y = c.data.y - c.frame.y;
        EXPECT_EQ(layers.input->pixel_float(spot_x, spot_y).red, 8.0f);
        if (spot_x > 0) {
            const PF_PixelFloat& empty = layers.input->pixel_float(spot_x - 1, spot_y);
            EXPECT_EQ(empty.red + empty.alpha, 0.0f);
        }
        cli::write_world(*layers.input, path("out.exr"), layers.output);
        const Stored in = stored(path(c.name));
        const Stored out = stored(path("out.exr"));
        EXPECT_EQ(data_of(out.layout), c.data);
        EXPECT_EQ(display_of(out.layout), (PixelWindow{0, 0, 20, 10}));
        EXPECT_EQ(out.pixels, in.pixels);
    }
}

TEST_F(LightFiles, ASequenceWhoseDataWindowsMoveRendersFramesOfOneSize) {
    for (const auto& [name, x] : {std::pair{"f1.exr", 0}, std::pair{"f2.exr", 12}}) {
        cli::PictureLayout layout(4, 4, 3, oiio::TypeDesc::HALF);
        layout.x = x;
        layout.full_width = 8;
        layout.full_height = 8;
        write_file(name, layout, std::vector<float>(4 * 4 * 3, 0.5f));
    }
    const cli::FrameGeometry geometry =
        cli::sequence_geometry({path("f1.exr"), path("missing.exr"), path("f2.exr")}, 1);
    EXPECT_EQ(geometry.frame, (PixelWindow{0, 0, 16, 8}));
    EXPECT_EQ(geometry.display, (PixelWindow{0, 0, 8, 8}));
    for (const char* name : {"f1.exr", "f2.exr"}) {
        const cli::FrameLayers layers =
            cli::read_frame_layers(path(name), "", {{}, {}, geometry.frame, 1});
        EXPECT_EQ(layers.input->width(), 16) << name;
        EXPECT_EQ(layers.output.geometry.data.x, std::string(name) == "f1.exr" ? 0 : 12);
    }
    EXPECT_THROW(cli::sequence_geometry({path("missing.exr")}, 1), session::SessionError);
}

}  // namespace
