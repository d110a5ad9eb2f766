// Files into worlds and back: depths, channel layouts, damaged files, and outputs that appear
// whole or not at all.
#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "cli/atomic_output.h"
#include "cli/exit_status.h"
#include "cli/image_library.h"
#include "cli/image_reader.h"
#include "cli/image_writer.h"
#include "session/session_error.h"
#include "tests/cli/scratch_files.h"

namespace {

namespace fs = std::filesystem;
namespace oiio = OIIO;

class PixelFiles : public qb_test::ScratchFiles {
  protected:
    void write_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    // Reading `name` fails as bad input with a message naming the file; answers the message.
    std::string unreadable(const std::string& name) {
        try {
            colour(name);
            ADD_FAILURE() << name << " was read";
        } catch (const session::SessionError& error) {
            EXPECT_EQ(cli::exit_status(error.kind()), cli::kExitBadInput);
            EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
            return error.what();
        }
        return "";
    }

    void write(const host::World& world, const std::string& name, bool with_alpha) {
        cli::OutputTraits traits = cli::plain_output(world);
        traits.with_alpha = with_alpha;
        cli::write_world(world, path(name), traits);
    }
};

TEST_F(PixelFiles, EightBitRgbBecomesAnOpaqueEightBitWorldAndWritesBackExactly) {
    const std::vector<std::uint8_t> rgb = {10, 20, 30, 200, 100, 0};
    write_file("in.png", 2, 1, 3, oiio::TypeDesc::UINT8, rgb);
    const auto world = colour("in.png").world;
    ASSERT_EQ(world->depth(), host::World::Depth::k8);
    const PF_Pixel8 second = world->pixel8(1, 0);
    EXPECT_EQ(second.alpha, 255);
    EXPECT_EQ(second.red, 200);
    EXPECT_EQ(second.green, 100);
    EXPECT_EQ(second.blue, 0);

    write(*world, "out.png", false);
    const cli::ImageHeader header = cli::read_header(path("out.png"));
    EXPECT_EQ(header.sample, cli::SampleKind::k8);
    EXPECT_EQ(header.channel_names.size(), 3u);
    const auto again = colour("out.png").world;
    EXPECT_EQ(again->pixel8(0, 0).red, 10);
    EXPECT_EQ(again->pixel8(0, 0).blue, 30);
}

TEST_F(PixelFiles, SixteenBitPngRoundTripsAtSixteenBits) {
    const std::vector<std::uint16_t> rgba = {0, 1, 32767, 65535, 40000, 12345, 65535, 30000};
    write_file("in.png", 2, 1, 4, oiio::TypeDesc::UINT16, rgba);
    const auto world = colour("in.png").world;
    ASSERT_EQ(world->depth(), host::World::Depth::k16);
    EXPECT_EQ(world->pixel16(0, 0).alpha, 32768);
    write(*world, "out.png", true);

    auto in = oiio::ImageInput::open(path("out.png"));
    ASSERT_TRUE(in);
    EXPECT_EQ(cli::layout_of(*in).format, oiio::TypeDesc::UINT16);
    EXPECT_EQ(cli::layout_of(*in).nchannels, 4);
    std::vector<std::uint16_t> back(8);
    // Read as stored: the file's alpha is full, so colours are what was written.
    ASSERT_TRUE(in->read_image(0, 0, 0, 4, oiio::TypeDesc::UINT16, back.data()));
    EXPECT_LE(std::abs(back[0] - 0), 1);
    EXPECT_LE(std::abs(back[2] - 32767), 1);
    EXPECT_EQ(back[3], 65535);
}

TEST_F(PixelFiles, ADisplayReadFloatExrIsClampedIntoASixteenBitWorldAndWrittenAsHalf) {
    const std::vector<float> rgb = {-1.0f, 0.25f, 4.0f};
    write_file("in.exr", 1, 1, 3, oiio::TypeDesc::HALF, rgb);
    const cli::ColourPicture picture = colour("in.exr", cli::LightMode::display);
    const auto& world = picture.world;
    EXPECT_EQ(picture.path, cli::PixelPath::display);
    ASSERT_EQ(world->depth(), host::World::Depth::k16);
    EXPECT_EQ(world->pixel16(0, 0).red, 0);
    EXPECT_EQ(world->pixel16(0, 0).green, 8192);
    EXPECT_EQ(world->pixel16(0, 0).blue, 32768);
    EXPECT_EQ(world->pixel16(0, 0).alpha, 32768);
    write(*world, "out.exr", false);
    auto in = oiio::ImageInput::open(path("out.exr"));
    ASSERT_TRUE(in);
    EXPECT_EQ(cli::layout_of(*in).format, oiio::TypeDesc::HALF);
}

TEST_F(PixelFiles, GreyFillsEveryColourAndADistanceLayerTakesRedOrGrey) {
    const std::vector<std::uint8_t> grey = {77};
    write_file("grey.png", 1, 1, 1, oiio::TypeDesc::UINT8, grey);
    const auto grey_world = colour("grey.png").world;
    EXPECT_EQ(grey_world->pixel8(0, 0).green, 77);
    EXPECT_EQ(grey_world->pixel8(0, 0).alpha, 255);
    EXPECT_EQ(cli::read_distance_layer(cli::read_header(path("grey.png")))->pixel8(0, 0).red, 77);

    const std::vector<std::uint8_t> rgb = {200, 1, 2};
    write_file("rgb.png", 1, 1, 3, oiio::TypeDesc::UINT8, rgb);
    const auto distance = cli::read_distance_layer(cli::read_header(path("rgb.png")));
    EXPECT_EQ(distance->pixel8(0, 0).red, 200);
    EXPECT_EQ(distance->pixel8(0, 0).alpha, 255);
}

// The image library names the alpha of a GIF as a channel past the last one; read as stated it
// was a read beyond every pixel. The library writes no transparency into a GIF, so the file is
// spelt out: two pixels, the second transparent.
TEST_F(PixelFiles, AGifKeepsItsTransparencyAndColours) {
    const std::vector<std::uint8_t> gif = {
        'G',  'I',  'F',  '8',  '9', 'a', 2, 0, 1, 0, 0x80, 0, 0,  // screen 2x1, 2 colours
        200,  10,   20,   0,    0,   0,                            // the colours
        0x21, 0xF9, 4,    1,    0,   0,   1, 0,                    // colour 1 is transparent
        0x2C, 0,    0,    0,    0,   2,   0, 1, 0, 0,              // the image, 2x1
        2,    2,    0x44, 0x0A, 0,                                 // pixels 0, 1 compressed
        0x3B};
    write_bytes("in.gif", gif);
    const cli::ImageHeader header = cli::read_header(path("in.gif"));
    ASSERT_EQ(header.channel_names.size(), 4u);
    EXPECT_EQ(header.alpha_channel, 3);
    const auto world = colour("in.gif").world;
    EXPECT_EQ(world->pixel8(0, 0).alpha, 255);
    EXPECT_EQ(world->pixel8(0, 0).red, 200);
    EXPECT_EQ(world->pixel8(0, 0).blue, 20);
    EXPECT_EQ(world->pixel8(1, 0).alpha, 0);
}

TEST_F(PixelFiles, DamagedOrMissingFilesAreBadInputNamingTheFile) {
    std::vector<std::uint8_t> rgb(64 * 64 * 3);
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<std::uint8_t>(i * 7919 % 251);
    }
    write_file("whole.tif", 64, 64, 3, oiio::TypeDesc::UINT8, rgb);
    // A PNG cut short is tried by the tool's own tests: the image library loses a string on
    // it, which the sanitizers would count against this program.
    fs::copy_file(path("whole.tif"), path("cut.tif"));
    fs::resize_file(path("cut.tif"), fs::file_size(path("whole.tif")) / 2);
    std::ofstream(path("text.png")) << "not a picture";
    for (const char* name : {"cut.tif", "text.png", "missing.png"}) {
        const std::string message = unreadable(name);
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

// A header of a few bytes can claim any size: more rows than the effect takes is refused from
// the header, before its pixels are allocated; a GIF claiming 65533x65530 pixels makes the image
// library itself throw while opening it, which is the file's fault too, not the end of the tool.
TEST_F(PixelFiles, APictureLargerThanTheEffectTakesIsRefusedFromItsHeader) {
    std::ofstream(path("tall.ppm")) << "P6\n4 3333333\n255\n\x01\x02\x03";
    const std::vector<std::uint8_t> gif = {
        0x47, 0x49, 0x46, 0x38, 0x39, 0x95, 0xfd, 0xff, 0xfa, 0xff, 0x7f, 0xeb, 0xff, 0x00,
        0x00, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x01, 0x00, 0x2c, 0x00, 0x00, 0xc8, 0x0a,
        0x14, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x01, 0x00, 0x2c, 0x00,
        0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x0a, 0x00, 0x3b};
    write_bytes("wide.gif", gif);
    for (const char* name : {"tall.ppm", "wide.gif"}) {
        unreadable(name);
    }
    try {
        cli::read_header(path("tall.ppm"));
        ADD_FAILURE() << "the header was accepted";
    } catch (const session::SessionError& error) {
        EXPECT_NE(std::string(error.what()).find("4x3333333"), std::string::npos) << error.what();
    }
}

// PFM is a format the image library reads but does not write: its reason is the message.
TEST_F(PixelFiles, AnUnwritableFormatOrMissingFolderIsRefusedBeforeAnythingIsWritten) {
    host::World world(1, 1);
    for (const char* name : {"out.nosuchformat", "out.pfm"}) {
        try {
            cli::output_format_for(path(name));
            ADD_FAILURE() << name << " was accepted";
        } catch (const session::SessionError& error) {
            EXPECT_NE(std::string(error.what()).find("format writer"), std::string::npos)
                << error.what();
        }
    }
    EXPECT_THROW(write(world, "no/such/folder/out.png", false), session::SessionError);
    EXPECT_TRUE(files().empty());
}

TEST_F(PixelFiles, AnUncommittedOutputLeavesNoFileAndTheOldOneUntouched) {
    std::ofstream(path("out.png")) << "old";
    {
        cli::AtomicOutput output(path("out.png"));
        std::ofstream(output.temporary_path()) << "half-written";
        EXPECT_EQ(output.temporary_path().parent_path(), folder_);
        EXPECT_EQ(output.temporary_path().extension(), ".png");
    }
    EXPECT_EQ(files(), std::vector<std::string>{"out.png"});
    std::ifstream old(path("out.png"));
    std::string text;
    old >> text;
    EXPECT_EQ(text, "old");
    {
        cli::AtomicOutput output(path("out.png"));
        std::ofstream(output.temporary_path()) << "new";
        output.commit();
    }
    std::ifstream fresh(path("out.png"));
    fresh >> text;
    EXPECT_EQ(text, "new");
    EXPECT_EQ(files().size(), 1u);
}

}  // namespace
