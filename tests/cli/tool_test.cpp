// The built quillbloom program, run on small files as a person would run it: what each flag
// does, sequences and chunks, cancellation, and one clear line and status for each mistake.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <OpenImageIO/deepdata.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

#include "cli/demo_scene.h"
#include "tests/cli/test_images.h"
#include "tests/cli/tool_runner.h"

namespace {

namespace fs = std::filesystem;
using qb_test::run_tool;
using qb_test::ToolRun;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Dim ground with a few bright points, so that shape, hardness and brightness all show.
float scene_sample(int x, int y, int c) {
    const bool light = (x % 16 == 8) && (y % 16 == 8);
    if (light) {
        return c == 2 ? 0.8f : 1.0f;
    }
    return 0.15f + 0.3f * static_cast<float>((x + 2 * y + 5 * c) % 11) / 11.0f;
}

// Near on the left, far on the right.
float distance_sample(int x, int, int) {
    return x < kWidth / 2 ? 200.0f / 255.0f : 40.0f / 255.0f;
}

class ToolTest : public ::testing::Test {
  protected:
    ToolTest() {
        folder_ = fs::temp_directory_path() /
                  ("qb_tool_test_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    ~ToolTest() override { fs::remove_all(folder_); }

    fs::path at(const std::string& name) const { return folder_ / name; }

    void make_scene(const std::string& name = "in.png", const std::string& distance = "d.png") {
        ASSERT_TRUE(qb_test::write_image(at(name), kWidth, kHeight, 3, OIIO::TypeDesc::UINT8,
                                         scene_sample));
        ASSERT_TRUE(qb_test::write_image(at(distance), kWidth, kHeight, 1, OIIO::TypeDesc::UINT8,
                                         distance_sample));
    }

    ToolRun tool(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& environment = {}) const {
        return run_tool(folder_, args, environment);
    }

    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    fs::path folder_;
};

std::string read_bytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool same_pixels(const qb_test::ReadBack& a, const qb_test::ReadBack& b) {
    return a.width == b.width && a.height == b.height && a.channels == b.channels &&
           !a.pixels.empty() && a.pixels == b.pixels;
}

// The help is also the man page's source, made in the build folder for the installed program:
// it names the program as installed and no folder of the machine it ran on.
TEST_F(ToolTest, VersionAndHelpAreTheProgramsWhereverItRuns) {
    const ToolRun version = tool({"--version"});
    EXPECT_EQ(version.status, 0) << version.err;
    EXPECT_EQ(version.out, "quillbloom " QB_VERSION "\n");
    const std::string program_folder = fs::path(QB_TOOL_PATH).parent_path().string();
    for (const char* command : {"", "render", "demo", "shapes", "controls", "about"}) {
        const ToolRun help = tool(*command ? std::vector<std::string>{command, "--help"}
                                           : std::vector<std::string>{"--help"});
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_NE(help.out.find(std::string("\nUsage: quillbloom ") + command), std::string::npos)
            << help.out;
        EXPECT_EQ(help.out.find(program_folder), std::string::npos) << help.out;
    }
}

// --- The demo --------------------------------------------------------------------------------

// The demo's picture with the scene and distances it was rendered from.
struct DemoRender {
    qb_test::ReadBack picture, scene, distance;

    float channel(const qb_test::ReadBack& image, int x, int y, int c) const {
        return image.pixels[(static_cast<std::size_t>(y) * image.width + x) * image.channels + c];
    }
    int distance_at(int x, int y) const {
        return static_cast<int>(std::lround(channel(distance, x, y, 0) * 255.0f));
    }
    // How far the render moved the pixel from the scene, in its most changed channel.
    float change_at(int x, int y) const {
        float change = 0.0f;
        for (int c = 0; c < 3; ++c) {
            change =
                std::max(change, std::abs(channel(picture, x, y, c) - channel(scene, x, y, c)));
        }
        return change;
    }
};

// The demo at its own settings shows what the effect is for: the lights near the camera and far
// away open into large discs, while the target between them stays as sharp as it was made.
TEST_F(ToolTest, TheDemoOpensLightsNearAndFarIntoLargeDiscsAroundASharpTarget) {
    const ToolRun run = tool({"demo", "-o", "demo.png", "--save-scene", "scene"});
    ASSERT_EQ(run.status, 0) << run.err;
    const DemoRender demo{qb_test::read_image(at("demo.png")),
                          qb_test::read_image(at("scene/demo-scene.png")),
                          qb_test::read_image(at("scene/demo-distance.png"))};
    const int width = demo.picture.width;
    const int height = demo.picture.height;
    ASSERT_EQ(width, cli::kDemoWidth);
    ASSERT_EQ(height, cli::kDemoHeight);
    constexpr int kNear = 255;
    constexpr int kFar = 0;
    constexpr float kLit = 0.5f;       // a light in the scene, against the night
    constexpr float kChanged = 0.02f;  // the light of a disc, against the scene it covers
    constexpr int kLargeDisc = 50;     // pixels across, at HD, a hexagon's flats

    // The widest run of near pixels in the upper half passes through a bulb's middle. Along it the
    // bulb's light must reach a large disc further than the bulb itself.
    int bulb_row = 0, bulb_left = 0, bulb_width = 0;
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0, run_left = 0; x < width; ++x) {
            if (demo.distance_at(x, y) != kNear) {
                run_left = x + 1;
            } else if (x + 1 - run_left > bulb_width) {
                bulb_row = y, bulb_left = run_left, bulb_width = x + 1 - run_left;
            }
        }
    }
    ASSERT_GT(bulb_width, 0) << "no string light in the scene";
    const auto lit_by_bulb = [&](int x) {
        return demo.distance_at(x, bulb_row) == kNear || demo.change_at(x, bulb_row) > kChanged;
    };
    int disc_left = bulb_left;
    while (disc_left > 0 && lit_by_bulb(disc_left - 1)) {
        --disc_left;
    }
    int disc_right = bulb_left + bulb_width;
    while (disc_right < width && lit_by_bulb(disc_right)) {
        ++disc_right;
    }
    EXPECT_GE(disc_right - disc_left - bulb_width, kLargeDisc)
        << "a string light " << bulb_width << " pixels wide";

    // Far away, the light of the highest lit window must reach half a large disc above it, into
    // the sky the scene left dark, where nothing else could have lit it.
    int highest_far_light = height;
    for (int y = 0; y < height && highest_far_light == height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (demo.distance_at(x, y) == kFar && demo.channel(demo.scene, x, y, 0) > kLit) {
                highest_far_light = y;
                break;
            }
        }
    }
    ASSERT_LT(highest_far_light, height) << "no far light in the scene";
    const int above = highest_far_light - kLargeDisc / 2;
    int glowing = 0;
    for (int x = 0; x < width; ++x) {
        glowing += demo.distance_at(x, above) == kFar && demo.change_at(x, above) > kChanged;
    }
    EXPECT_GT(glowing, 0) << "row " << above;

    // The target's middle, where no disc reaches: at most one level in a thousand pixels moved.
    const session::PointXY subject = cli::make_demo_scene().subject;
    const auto target_x = static_cast<int>(subject.x);
    const auto target_y = static_cast<int>(subject.y);
    const int target_distance = demo.distance_at(target_x, target_y);
    int target_pixels = 0, moved = 0;
    for (int y = target_y - height / 10; y <= target_y + height / 10; ++y) {
        for (int x = target_x - height / 10; x <= target_x + height / 10; ++x) {
            ASSERT_EQ(demo.distance_at(x, y), target_distance) << x << "," << y;
            ++target_pixels;
            moved += demo.change_at(x, y) > 1.5f / 255.0f;
        }
    }
    EXPECT_LE(moved, target_pixels / 1000);
}

// --- Mistakes: one line, its status, nothing written ----------------------------------------

struct Mistake {
    const char* what;
    std::vector<std::string> args;
    int status;
    const char* says;
    std::map<std::string, std::string> environment = {};
};

TEST_F(ToolTest, EachMistakeGivesOneLineAndItsStatusAndWritesNothing) {
    make_scene();
    make_scene("small.png", "small-d.png");
    std::ofstream(at("text.png")) << "this is not a picture";
    fs::copy_file(at("in.png"), at("cut.png"));
    fs::resize_file(at("cut.png"), fs::file_size(at("in.png")) / 2);
    for (int f = 1; f <= 3; ++f) {
        fs::copy_file(at("in.png"), at("seq." + std::to_string(f) + ".png"));
    }
    // One pixel wider than the host's 16-bit coordinates reach.
    ASSERT_TRUE(
        qb_test::write_image(at("wide.png"), 32768, 1, 3, OIIO::TypeDesc::UINT8, scene_sample));
    const std::set<std::string> inputs = files();

    const Mistake mistakes[] = {
        {"missing input", {"render", "missing.png", "-o", "out.png"}, 2, "missing.png"},
        {"unreadable input", {"render", "text.png", "-o", "out.png"}, 2, "text.png"},
        {"truncated PNG", {"render", "cut.png", "-o", "out.png"}, 2, "cut.png"},
        {"unknown shape", {"render", "in.png", "-o", "out.png", "--shape", "nope"}, 2, "--shape"},
        {"bad frame range",
         {"render", "seq.#.png", "--frames", "3-1", "-o", "out.#.png"},
         2,
         "--frames"},
        {"frames without a pattern",
         {"render", "in.png", "--frames", "1-3", "-o", "out.png"},
         2,
         "frame"},
        {"output folder missing",
         {"render", "in.png", "-o", "nowhere/out.png"},
         2,
         "does not exist"},
        {"unknown output format",
         {"render", "in.png", "-o", "out.nosuchformat"},
         2,
         "out.nosuchformat"},
        {"a format the image library reads but does not write",
         {"render", "in.png", "-o", "out.pfm"},
         2,
         "format writer"},
        {"unknown way of taking values",
         {"render", "in.png", "-o", "out.png", "--light", "hdr"},
         2,
         "--light"},
        {"amount out of range",
         {"render", "in.png", "-o", "out.png", "--amount", "1000"},
         2,
         "Bokeh Amount"},
        {"quality not in the menu",
         {"render", "in.png", "-o", "out.png", "--quality", "Best"},
         2,
         "--quality"},
        {"focus point without distance",
         {"render", "in.png", "-o", "out.png", "--focus-at", "3,4"},
         2,
         "--focus-at"},
        {"focus point outside the picture",
         {"render", "in.png", "--distance", "d.png", "-o", "out.png", "--focus-at", "64,4"},
         2,
         "outside"},
        {"depth channel without range",
         {"render", "in.png", "-o", "out.png", "--distance-channel", "Z"},
         2,
         "--near"},
        {"depth pass without a depth channel",
         {"render", "in.png", "-o", "out.png", "--near", "1", "--far", "9"},
         2,
         "depth channel"},
        {"chunk auto outside an array",
         {"render", "seq.#.png", "--frames", "1-3", "--chunk", "auto", "-o", "out.#.png"},
         2,
         "SLURM_ARRAY_TASK_ID"},
        {"picture too wide for the host", {"render", "wide.png", "-o", "out.png"}, 2, "32767"},
        {"unknown flag", {"render", "in.png", "-o", "out.png", "--blur", "3"}, 2, "--blur"},
        {"no subcommand", {}, 2, "subcommand"},
    };
    for (const Mistake& mistake : mistakes) {
        const ToolRun run = tool(mistake.args, mistake.environment);
        EXPECT_EQ(run.status, mistake.status) << mistake.what << ": " << run.err;
        const std::vector<std::string> lines = run.err_lines();
        ASSERT_EQ(lines.size(), 1u) << mistake.what << ": " << run.err;
        EXPECT_NE(lines[0].find(mistake.says), std::string::npos)
            << mistake.what << ": " << lines[0];
        EXPECT_EQ(files(), inputs) << mistake.what;
    }
}

TEST_F(ToolTest, EffectErrorsPassOnTheModulesMessageAsItStands) {
    make_scene();
    ASSERT_TRUE(qb_test::write_image(at("other-size.png"), kWidth / 2, kHeight, 1,
                                     OIIO::TypeDesc::UINT8, distance_sample));
    const ToolRun sizes =
        tool({"render", "in.png", "--distance", "other-size.png", "-o", "out.png"});
    EXPECT_EQ(sizes.status, 3);
    EXPECT_EQ(sizes.err_lines(),
              std::vector<std::string>{"quillbloom: [Quillbloom8.0] Distance layer and target "
                                       "layer have different image sizes  "});
    const ToolRun preview = tool({"render", "in.png", "-o", "out.png", "--preview", "0,10"});
    EXPECT_EQ(preview.status, 3);
    EXPECT_EQ(preview.err_lines(),
              std::vector<std::string>{"quillbloom: [Quillbloom8.0] Preview Outside of Image  "});
    EXPECT_FALSE(fs::exists(at("out.png")));
}

// --- What each flag does ---------------------------------------------------------------------

TEST_F(ToolTest, EachFlagChangesThePicture) {
    make_scene();
    // Every distance value occurs, so that the number of distance steps matters too.
    ASSERT_TRUE(qb_test::write_image(at("ramp.png"), kWidth, kHeight, 1, OIIO::TypeDesc::UINT8,
                                     [](int x, int, int) { return x * 4.0f / 255.0f; }));
    const std::vector<std::string> base = {"render",   "in.png",   "--distance",
                                           "ramp.png", "--amount", "40"};
    std::vector<std::string> reference_args = base;
    reference_args.insert(reference_args.end(), {"-o", "base.png"});
    ASSERT_EQ(tool(reference_args).status, 0);
    const qb_test::ReadBack reference = qb_test::read_image(at("base.png"));
    const std::vector<std::vector<std::string>> variations = {
        {"--shape", "circle"},   {"--focus", "200"},    {"--amount", "30"},
        {"--hardness", "2"},     {"--brightness", "4"}, {"--preview", "20,20,30"},
        {"--quality", "High"},   {"--precision", "1"},  {"--downsample", "2"},
        {"--focus-at", "10,10"},
    };
    for (const auto& flag : variations) {
        std::vector<std::string> args = base;
        args.insert(args.end(), flag.begin(), flag.end());
        args.insert(args.end(), {"-o", "varied.png"});
        const ToolRun run = tool(args);
        ASSERT_EQ(run.status, 0) << flag[0] << ": " << run.err;
        const qb_test::ReadBack varied = qb_test::read_image(at("varied.png"));
        EXPECT_FALSE(same_pixels(varied, reference)) << flag[0];
        if (flag[0] == "--downsample") {
            EXPECT_EQ(varied.width, kWidth / 2);
            EXPECT_EQ(varied.height, kHeight / 2);
        }
    }
}

TEST_F(ToolTest, AlphaBokehAndItsValueChangeThePicture) {
    const auto patchy_alpha = [](int x, int y, int c) {
        return c == 3 ? ((x / 8 + y / 8) % 2 ? 1.0f : 0.2f) : scene_sample(x, y, c);
    };
    ASSERT_TRUE(qb_test::write_image(at("cut-out.png"), kWidth, kHeight, 4, OIIO::TypeDesc::UINT8,
                                     patchy_alpha));
    make_scene("unused.png", "d.png");
    const std::vector<std::string> base = {"render", "cut-out.png", "--distance",
                                           "d.png",  "--amount",    "30"};
    // The option files go into a private plug-in folder under TMPDIR, which must be gone again.
    fs::create_directories(at("tmp"));
    std::vector<qb_test::ReadBack> pictures;
    for (const std::vector<std::string>& flag :
         {std::vector<std::string>{}, {"--alpha-bokeh"}, {"--alpha-bokeh=0.9"}}) {
        std::vector<std::string> args = base;
        args.insert(args.end(), flag.begin(), flag.end());
        args.insert(args.end(), {"-o", "alpha.png"});
        const ToolRun run = tool(args, {{"TMPDIR", at("tmp").string()}});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::is_empty(at("tmp")));
        pictures.push_back(qb_test::read_image(at("alpha.png")));
        EXPECT_EQ(pictures.back().channels, 4);
    }
    EXPECT_FALSE(same_pixels(pictures[0], pictures[1]));
    EXPECT_FALSE(same_pixels(pictures[1], pictures[2]));
}

TEST_F(ToolTest, NoBlurGivesTheInputBack) {
    make_scene();
    ASSERT_EQ(tool({"render", "in.png", "--amount", "0", "-o", "sharp.png"}).status, 0);
    EXPECT_TRUE(
        same_pixels(qb_test::read_image(at("sharp.png")), qb_test::read_image(at("in.png"))));
    // Partly transparent pixels keep their colour: nothing multiplies it by alpha on the way.
    for (const char* name : {"soft.png", "soft.tif"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(qb_test::write_image(
            at(name), kWidth, kHeight, 4, OIIO::TypeDesc::UINT8,
            [](int x, int y, int c) { return c == 3 ? (x % 5) / 4.0f : scene_sample(x, y, c); }));
        const std::string out = std::string("soft-out") + fs::path(name).extension().string();
        ASSERT_EQ(tool({"render", name, "--amount", "0", "-o", out}).status, 0);
        EXPECT_TRUE(same_pixels(qb_test::read_image(at(out)), qb_test::read_image(at(name))));
    }
}

TEST_F(ToolTest, FocusAtGivesThePictureOfFocusAtTheDistanceUnderThePoint) {
    make_scene();
    // The point lies on the near half, whose distance is 200.
    ASSERT_EQ(
        tool({"render", "in.png", "--distance", "d.png", "--focus-at", "5,30", "-o", "picked.png"})
            .status,
        0);
    ASSERT_EQ(tool({"render", "in.png", "--distance", "d.png", "--focus", "200", "-o", "typed.png"})
                  .status,
              0);
    EXPECT_TRUE(
        same_pixels(qb_test::read_image(at("picked.png")), qb_test::read_image(at("typed.png"))));
}

TEST_F(ToolTest, SixteenBitPngStaysSixteenBit) {
    const auto fine = [](int x, int y, int c) {
        return static_cast<float>((x * 977 + y * 131 + c * 17) % 65536) / 65535.0f;
    };
    ASSERT_TRUE(qb_test::write_image(at("deep.png"), 16, 16, 3, OIIO::TypeDesc::UINT16, fine));
    const ToolRun run = tool({"render", "deep.png", "--amount", "0", "-o", "deep-out.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    const qb_test::ReadBack in = qb_test::read_image(at("deep.png"));
    const qb_test::ReadBack out = qb_test::read_image(at("deep-out.png"));
    EXPECT_EQ(out.format, OIIO::TypeDesc::UINT16);
    ASSERT_EQ(out.pixels.size(), in.pixels.size());
    bool finer_than_8_bits = false;
    for (std::size_t i = 0; i < in.pixels.size(); ++i) {
        ASSERT_NEAR(out.pixels[i], in.pixels[i], 1.5 / 65535.0) << i;
        const float eight = std::round(out.pixels[i] * 255.0f) / 255.0f;
        finer_than_8_bits |= std::abs(eight - out.pixels[i]) > 1.0f / 65535.0f;
    }
    EXPECT_TRUE(finer_than_8_bits);
}

TEST_F(ToolTest, AnExrDepthChannelWorksLikeTheSameDistancesInAFile) {
    // Depth 1 (near) on the left, 3 (far) on the right: with near 1 and far 3 that is 255 and 0.
    const auto with_depth = [](int x, int y, int c) {
        return c < 3 ? scene_sample(x, y, c) : (x < kWidth / 2 ? 1.0f : 3.0f);
    };
    ASSERT_TRUE(qb_test::write_image(at("render.exr"), kWidth, kHeight, 4, OIIO::TypeDesc::FLOAT,
                                     with_depth, {"R", "G", "B", "Z"}));
    ASSERT_TRUE(qb_test::write_image(at("d.png"), kWidth, kHeight, 1, OIIO::TypeDesc::UINT8,
                                     [](int x, int, int) { return x < kWidth / 2 ? 1.0f : 0.0f; }));
    const ToolRun depth = tool({"render", "render.exr", "--distance-channel", "Z", "--near", "1",
                                "--far", "3", "--focus", "255", "-o", "from-depth.exr"});
    ASSERT_EQ(depth.status, 0) << depth.err;
    const ToolRun file = tool(
        {"render", "render.exr", "--distance", "d.png", "--focus", "255", "-o", "from-file.exr"});
    ASSERT_EQ(file.status, 0) << file.err;
    EXPECT_TRUE(same_pixels(qb_test::read_image(at("from-depth.exr")),
                            qb_test::read_image(at("from-file.exr"))));
}

// --- Float pictures --------------------------------------------------------------------------

// Float tests run as a display-referred picture through 16 bits, where the values allow it, and
// the default way, as float worlds through the module.
const std::vector<std::string> kLightModes = {"display", "auto"};

qb_test::PictureLayout exr_layout(int width, int height, int channels, OIIO::TypeDesc type,
                                  const std::vector<std::string>& names = {}) {
    qb_test::PictureLayout layout(width, height, channels, type);
    if (!names.empty()) {
        layout.channelnames = names;
    }
    return layout;
}

// The image library's writer of a format it reads but cannot write is never reached: the
// refusal comes first, before the effect would have refused the Distance Layer's size.
TEST_F(ToolTest, AnUnwritableFormatIsRefusedBeforeAnyRender) {
    make_scene();
    ASSERT_TRUE(qb_test::write_image(at("other-size.png"), kWidth / 2, kHeight, 1,
                                     OIIO::TypeDesc::UINT8, distance_sample));
    const std::set<std::string> before = files();
    const ToolRun run = tool({"render", "in.png", "--distance", "other-size.png", "-o", "out.pfm"});
    EXPECT_EQ(run.status, 2) << run.err;
    ASSERT_EQ(run.err_lines().size(), 1u) << run.err;
    EXPECT_NE(run.err.find("cannot write out.pfm"), std::string::npos) << run.err;
    EXPECT_EQ(files(), before);
}

TEST_F(ToolTest, PixelsThatAreNotLightAreCleanedAndCountedOncePerFile) {
    const auto with_bad_values = [](int x, int y, int c) {
        if (y == 0 && x < 3) {
            return std::array{NAN, -INFINITY, INFINITY}[x];
        }
        return c == 1 && x == 5 && y == 5 ? -0.5f : scene_sample(x, y, c);
    };
    for (const char* name : {"bad.1.exr", "bad.2.exr"}) {
        ASSERT_TRUE(qb_test::write_image(
            at(name), exr_layout(kWidth, kHeight, 3, OIIO::TypeDesc::FLOAT), with_bad_values));
    }
    for (const std::string& mode : kLightModes) {
        const ToolRun run = tool({"render", "bad.#.exr", "--frames", "1-2", "--amount", "4",
                                  "--light", mode, "-o", "out.#.exr"});
        EXPECT_EQ(run.status, 0) << mode << ": " << run.err;
        std::vector<std::string> notes;
        for (const std::string& line : run.err_lines()) {
            if (line.find("cleaned") != std::string::npos) {
                notes.push_back(line);
            }
        }
        EXPECT_EQ(notes, (std::vector<std::string>{
                             "quillbloom: bad.1.exr: 4 pixels with NaN, infinite or negative "
                             "values were cleaned",
                             "quillbloom: bad.2.exr: 4 pixels with NaN, infinite or negative "
                             "values were cleaned"}))
            << mode << ": " << run.err;
    }
}

// A small data window inside the display window: the output keeps both windows, and the bright
// spot stays where it was, also in a render at a quarter of the resolution.
TEST_F(ToolTest, AnExrCropWindowKeepsItsWindowsAndItsPixelsInPlace) {
    qb_test::PictureLayout layout = exr_layout(16, 12, 3, OIIO::TypeDesc::HALF);
    layout.x = 40;
    layout.y = 20;
    layout.full_width = kWidth;
    layout.full_height = kHeight;
    const auto spot = [](int x, int y, int) { return x == 45 && y == 25 ? 0.9f : 0.05f; };
    ASSERT_TRUE(qb_test::write_image(at("crop.exr"), layout, spot));
    for (const std::string& mode : kLightModes) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(
            tool({"render", "crop.exr", "--amount", "0", "--light", mode, "-o", "copy.exr"}).status,
            0);
        const qb_test::ReadBack copy = qb_test::read_image(at("copy.exr"));
        EXPECT_EQ(copy.layout.x, 40);
        EXPECT_EQ(copy.layout.y, 20);
        EXPECT_EQ(copy.layout.full_width, kWidth);
        EXPECT_EQ(copy.layout.full_height, kHeight);
        EXPECT_TRUE(same_pixels(copy, qb_test::read_image(at("crop.exr"))));

        ASSERT_EQ(tool({"render", "crop.exr", "--amount", "3", "--downsample", "4", "--light", mode,
                        "-o", "small.exr"})
                      .status,
                  0);
        const qb_test::ReadBack small = qb_test::read_image(at("small.exr"));
        EXPECT_EQ(small.layout.x, 10);
        EXPECT_EQ(small.layout.y, 5);
        EXPECT_EQ(small.layout.width, 4);
        EXPECT_EQ(small.layout.full_width, kWidth / 4);
        ASSERT_EQ(small.pixels.size(), 4u * 3u * 3u);
        // The spot (45,25) lies in the block at (11,6) of the reduced picture.
        const auto brightest = std::max_element(small.pixels.begin(), small.pixels.end());
        EXPECT_EQ((brightest - small.pixels.begin()) / 3, (6 - 5) * 4 + (11 - 10));
    }
}

// Overscan reaches left of the display window; the point is given in display coordinates and
// lies on the far half, left of which (in the file's pixel columns) all is near.
TEST_F(ToolTest, FocusAtTakesDisplayWindowCoordinatesAroundOverscan) {
    qb_test::PictureLayout layout =
        exr_layout(kWidth + 16, kHeight + 16, 4, OIIO::TypeDesc::HALF, {"R", "G", "B", "Z"});
    layout.x = layout.y = -8;
    layout.full_width = kWidth;
    layout.full_height = kHeight;
    ASSERT_TRUE(qb_test::write_image(at("overscan.exr"), layout, [](int x, int y, int c) {
        return c < 3 ? scene_sample(x + 8, y + 8, c) : (x < 8 ? 1.0f : 3.0f);
    }));
    for (const std::string& mode : kLightModes) {
        SCOPED_TRACE(mode);
        const std::vector<std::string> depth = {"render", "overscan.exr", "--near", "1", "--far",
                                                "3",      "--light",      mode,     "-o"};
        std::vector<std::string> picked = depth;
        picked.insert(picked.end(), {"picked.exr", "--focus-at", "10,30"});
        std::vector<std::string> typed = depth;
        typed.insert(typed.end(), {"typed.exr", "--focus", "0"});
        ASSERT_EQ(tool(picked).status, 0);
        ASSERT_EQ(tool(typed).status, 0);
        EXPECT_TRUE(same_pixels(qb_test::read_image(at("picked.exr")),
                                qb_test::read_image(at("typed.exr"))));
        EXPECT_EQ(qb_test::read_image(at("picked.exr")).layout.x, -8);
    }
}

// Colour multiplied by alpha, with a glow (colour without alpha) in one pixel, copied through.
TEST_F(ToolTest, APremultipliedExrWithAGlowComesBackUnchanged) {
    ASSERT_TRUE(qb_test::write_image(at("glow.exr"),
                                     exr_layout(kWidth, kHeight, 4, OIIO::TypeDesc::HALF),
                                     [](int x, int y, int c) {
                                         const float alpha = (x % 5) / 4.0f;
                                         if (x == 10 && y == 10) {
                                             return c == 3 ? 0.0f : 3.0f;
                                         }
                                         return c == 3 ? alpha : scene_sample(x, y, c) * alpha;
                                     }));
    ASSERT_EQ(tool({"render", "glow.exr", "--amount", "0", "-o", "copy.exr"}).status, 0);
    EXPECT_TRUE(
        same_pixels(qb_test::read_image(at("copy.exr")), qb_test::read_image(at("glow.exr"))));
}

TEST_F(ToolTest, ADepthInASecondPartIsFoundWithoutBeingNamed) {
    qb_test::PictureLayout parts[2] = {
        exr_layout(kWidth, kHeight, 3, OIIO::TypeDesc::HALF),
        exr_layout(kWidth, kHeight, 1, OIIO::TypeDesc::FLOAT, {"Z"})};
    parts[0].attribute("name", "beauty");
    parts[1].attribute("name", "depth");
    std::vector<float> colour;
    std::vector<float> depth;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                colour.push_back(scene_sample(x, y, c));
            }
            depth.push_back(x < kWidth / 2 ? 1.0f : 3.0f);
        }
    }
    auto out = OIIO::ImageOutput::create(at("parts.exr").string());
    ASSERT_TRUE(out && out->open(at("parts.exr").string(), 2, parts) &&
                out->write_image(OIIO::TypeDesc::FLOAT, colour.data()) &&
                out->open(at("parts.exr").string(), parts[1], OIIO::ImageOutput::AppendSubimage) &&
                out->write_image(OIIO::TypeDesc::FLOAT, depth.data()) && out->close());
    ASSERT_TRUE(qb_test::write_image(at("d.png"), kWidth, kHeight, 1, OIIO::TypeDesc::UINT8,
                                     [](int x, int, int) { return x < kWidth / 2 ? 1.0f : 0.0f; }));
    for (const std::string& mode : kLightModes) {
        SCOPED_TRACE(mode);
        const ToolRun found = tool({"render", "parts.exr", "--near", "1", "--far", "3", "--focus",
                                    "255", "--light", mode, "-o", "found.exr"});
        ASSERT_EQ(found.status, 0) << found.err;
        const ToolRun named =
            tool({"render", "parts.exr", "--distance-channel", "depth", "--near", "1", "--far", "3",
                  "--focus", "255", "--light", mode, "-o", "named.exr"});
        ASSERT_EQ(named.status, 0) << named.err;
        ASSERT_EQ(tool({"render", "parts.exr", "--distance", "d.png", "--focus", "255", "--light",
                        mode, "-o", "file.exr"})
                      .status,
                  0);
        EXPECT_TRUE(
            same_pixels(qb_test::read_image(at("found.exr")), qb_test::read_image(at("file.exr"))));
        EXPECT_TRUE(
            same_pixels(qb_test::read_image(at("named.exr")), qb_test::read_image(at("file.exr"))));
    }
    const ToolRun missing = tool({"render", "parts.exr", "--distance-channel", "N", "--near", "1",
                                  "--far", "3", "-o", "never.exr"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("beauty: R, G, B; depth: Z"), std::string::npos) << missing.err;
}

// One deep pixel of two samples: the render sees them composited, as the image library flattens.
TEST_F(ToolTest, ADeepExrIsRenderedFlattened) {
    qb_test::PictureLayout layout = exr_layout(2, 1, 4, OIIO::TypeDesc::HALF);
    layout.deep = true;
    OIIO::DeepData samples(layout);
    samples.set_samples(0, 1);
    samples.set_samples(1, 2);
    for (int c = 0; c < 4; ++c) {
        samples.set_deep_value(0, c, 0, 0.5f);
        samples.set_deep_value(1, c, 0, 0.5f);
        samples.set_deep_value(1, c, 1, c == 0 ? 0.0f : 1.0f);
    }
    auto out = OIIO::ImageOutput::create(at("deep.exr").string());
    ASSERT_TRUE(out && out->open(at("deep.exr").string(), layout) &&
                out->write_deep_image(samples) && out->close());
    for (const std::string& mode : kLightModes) {
        SCOPED_TRACE(mode);
        const ToolRun run =
            tool({"render", "deep.exr", "--amount", "0", "--light", mode, "-o", "flat.exr"});
        ASSERT_EQ(run.status, 0) << run.err;
        const qb_test::ReadBack flat = qb_test::read_image(at("flat.exr"));
        // Red 0.5 over nothing; green 0.5 + 0.5 * 1 over alpha 1.
        EXPECT_EQ(flat.pixels,
                  (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1.0f, 1.0f, 1.0f}));
    }
}

// Light above white and float files of every kind the library writes come back as floats of
// their own kind, unless -d says otherwise.
TEST_F(ToolTest, FloatFilesComeBackAsFloatsOfTheirOwnKind) {
    const auto bright = [](int x, int y, int c) { return 8.0f * scene_sample(x, y, c); };
    struct Case {
        const char* in;
        OIIO::TypeDesc type;
        std::vector<std::string> flags;
        const char* out;
        OIIO::TypeDesc written;
    };
    const Case cases[] = {
        {"half.exr", OIIO::TypeDesc::HALF, {}, "half-out.exr", OIIO::TypeDesc::HALF},
        {"float.exr", OIIO::TypeDesc::FLOAT, {}, "float-out.exr", OIIO::TypeDesc::FLOAT},
        {"half.exr", OIIO::TypeDesc::HALF, {"-d", "float"}, "chosen.exr", OIIO::TypeDesc::FLOAT},
        {"float.tif", OIIO::TypeDesc::FLOAT, {}, "float-out.tif", OIIO::TypeDesc::FLOAT},
        {"light.hdr", OIIO::TypeDesc::FLOAT, {}, "light-out.hdr", OIIO::TypeDesc::FLOAT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        ASSERT_TRUE(qb_test::write_image(at(c.in), exr_layout(kWidth, kHeight, 3, c.type), bright));
        std::vector<std::string> args = {"render", c.in, "--amount", "0", "-o", c.out};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const ToolRun run = tool(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const qb_test::ReadBack in = qb_test::read_image(at(c.in));
        const qb_test::ReadBack out = qb_test::read_image(at(c.out));
        EXPECT_EQ(out.format, c.written);
        EXPECT_TRUE(same_pixels(out, in));
    }
}

TEST_F(ToolTest, LinearLightTakesAPngThroughItsCurveAndBack) {
    make_scene();
    ASSERT_EQ(
        tool({"render", "in.png", "--light", "linear", "--amount", "0", "-o", "copy.png"}).status,
        0);
    EXPECT_TRUE(
        same_pixels(qb_test::read_image(at("copy.png")), qb_test::read_image(at("in.png"))));
    // Blurred in light, bright points spread brighter than blurred in sRGB values.
    ASSERT_EQ(
        tool({"render", "in.png", "--light", "linear", "--amount", "20", "-o", "light.png"}).status,
        0);
    ASSERT_EQ(tool({"render", "in.png", "--amount", "20", "-o", "values.png"}).status, 0);
    EXPECT_FALSE(
        same_pixels(qb_test::read_image(at("light.png")), qb_test::read_image(at("values.png"))));
}

// --- Sequences -------------------------------------------------------------------------------

TEST_F(ToolTest, ASequenceOfThreeAndAChunkOfIt) {
    for (int f = 1; f <= 3; ++f) {
        make_scene("shot." + std::to_string(1000 + f) + ".png",
                   "depth." + std::to_string(1000 + f) + ".png");
    }
    const ToolRun all = tool({"render", "shot.####.png", "--distance", "depth.%04d.png", "--frames",
                              "1001-1003", "-o", "out.####.png"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.err_lines().size(), 3u) << all.err;
    for (int f = 1001; f <= 1003; ++f) {
        EXPECT_TRUE(fs::exists(at("out." + std::to_string(f) + ".png"))) << f;
    }
    const ToolRun chunk = tool({"render", "shot.####.png", "--distance", "depth.####.png",
                                "--frames", "1001-1003", "--chunk", "2/3", "-o", "part.####.png"});
    ASSERT_EQ(chunk.status, 0) << chunk.err;
    EXPECT_FALSE(fs::exists(at("part.1001.png")));
    EXPECT_FALSE(fs::exists(at("part.1003.png")));
    EXPECT_TRUE(same_pixels(qb_test::read_image(at("part.1002.png")),
                            qb_test::read_image(at("out.1002.png"))));

    const auto written = fs::last_write_time(at("out.1002.png"));
    const ToolRun again = tool({"render", "shot.####.png", "--distance", "depth.####.png",
                                "--frames", "1001-1003", "--skip-existing", "-o", "out.####.png"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(fs::last_write_time(at("out.1002.png")), written);
    EXPECT_NE(again.err.find("skipped"), std::string::npos);
}

TEST_F(ToolTest, AFailingFrameDoesNotStopTheOthers) {
    for (int f = 1; f <= 3; ++f) {
        make_scene("s." + std::to_string(f) + ".png", "d." + std::to_string(f) + ".png");
    }
    fs::resize_file(at("s.2.png"), fs::file_size(at("s.2.png")) / 2);
    const ToolRun run =
        tool({"render", "s.#.png", "--distance", "d.#.png", "--frames", "1-3", "-o", "o.#.png"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(fs::exists(at("o.1.png")));
    EXPECT_FALSE(fs::exists(at("o.2.png")));
    EXPECT_TRUE(fs::exists(at("o.3.png")));
    const std::vector<std::string> lines = run.err_lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("failed: 2"), std::string::npos) << run.err;
}

// A sequence answers the status of its first failed frame, whatever fails after it: an
// unreadable file (2) before an effect error (3), and the other way round.
TEST_F(ToolTest, ASequenceAnswersTheStatusOfItsFirstFailedFrame) {
    // Frames 1-3 of `prefix`: frame `unreadable` is cut short, and frame `other_size` has a
    // Distance Layer of another size than its picture, which the module refuses.
    const auto sequence = [&](const std::string& prefix, int unreadable, int other_size) {
        const auto frame = [&](const char* part, int f) {
            return prefix + part + std::to_string(f) + ".png";
        };
        for (int f = 1; f <= 3; ++f) {
            make_scene(frame(".", f), frame("-d.", f));
        }
        fs::resize_file(at(frame(".", unreadable)), fs::file_size(at(frame(".", unreadable))) / 2);
        EXPECT_TRUE(qb_test::write_image(at(frame("-d.", other_size)), kWidth / 2, kHeight, 1,
                                         OIIO::TypeDesc::UINT8, distance_sample));
        const ToolRun run = tool({"render", prefix + ".#.png", "--distance", prefix + "-d.#.png",
                                  "--frames", "1-3", "-o", prefix + "-out.#.png"});
        EXPECT_TRUE(fs::exists(at(frame("-out.", 2)))) << prefix << ": " << run.err;
        EXPECT_NE(run.err.find("failed: 1 3"), std::string::npos) << prefix << ": " << run.err;
        return run.status;
    };
    EXPECT_EQ(sequence("unreadable-first", 1, 3), 2);
    EXPECT_EQ(sequence("effect-error-first", 3, 1), 3);
}

// --- Cancelling --------------------------------------------------------------------------------

// The render is made slow on purpose (a large frame, a Distance Layer ramp that cuts it into many
// steps, one thread), so the Ctrl-C lands during it whatever this machine's speed; it is sent
// once the tool catches it, since before that it would end the process by default.
TEST_F(ToolTest, CtrlCDuringARenderGives130AndNoFile) {
    constexpr int kLarge = 1600;
    ASSERT_TRUE(qb_test::write_image(at("big.png"), kLarge, kLarge, 3, OIIO::TypeDesc::UINT8,
                                     scene_sample));
    ASSERT_TRUE(qb_test::write_image(at("ramp.png"), kLarge, kLarge, 1, OIIO::TypeDesc::UINT8,
                                     [](int x, int, int) { return float(x) / float(kLarge); }));
    std::ofstream(at("out.png")) << "an earlier result";
    qb_test::ToolProcess render(folder_,
                                {"render", "big.png", "--distance", "ramp.png", "--focus", "0",
                                 "--amount", "300", "--quality", "High", "-o", "out.png"},
                                {{"OMP_NUM_THREADS", "1"}});
    ASSERT_TRUE(render.wait_until_catching(SIGINT));
    // Time to read the picture and begin the render.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(kill(render.pid(), SIGINT), 0);
    const ToolRun run = render.wait();
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("cancelled"), std::string::npos) << run.err;
    EXPECT_EQ(files(), (std::set<std::string>{"big.png", "ramp.png", "out.png"}));
    std::ifstream earlier(at("out.png"));
    std::string text;
    std::getline(earlier, text);
    EXPECT_EQ(text, "an earlier result");
}

// A write that cannot finish (a file-size limit, as on a full disk; a folder nobody may write in,
// even root) is reported, leaves no part of a file and keeps the earlier output. One image
// library used to report a cut-short PNG as written, another ended the process.
TEST_F(ToolTest, AWriteThatCannotFinishKeepsTheEarlierOutput) {
    make_scene();
    for (const char* name : {"out.png", "out.tif", "out.jpg", "out.exr"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(tool({"render", "in.png", "--amount", "2", "-o", name}).status, 0);
        const std::string earlier = read_bytes(at(name));
        const std::set<std::string> before = files();
        // The shell's limit is in blocks of 512 or 1024 bytes: far below any of these files.
        const ToolRun limited = run_tool(folder_,
                                         {"-c", "ulimit -f 1; exec \"$0\" \"$@\"", QB_TOOL_PATH,
                                          "render", "in.png", "--amount", "4", "-o", name},
                                         {}, "/bin/sh");
        EXPECT_EQ(limited.status, 2) << limited.err;
        EXPECT_NE(limited.err.find("File too large"), std::string::npos) << limited.err;
        EXPECT_EQ(files(), before);
        EXPECT_EQ(read_bytes(at(name)), earlier);
    }
    const ToolRun refused = tool({"render", "in.png", "-o", "/proc/quillbloom-out.png"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err_lines().size(), 1u) << refused.err;
    EXPECT_NE(refused.err.find("cannot write /proc/quillbloom-out.png"), std::string::npos);
}

}  // namespace
