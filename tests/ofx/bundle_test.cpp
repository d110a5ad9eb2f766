// The OpenFX bundle as a compositor loads it: its binary opened with dlopen by a host of our
// own, described in both contexts, and rendered on the demo scene and its Distance Layer at the
// three pixel depths, compared with the tool's renders of the same pixels and settings.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/tool_runner.h"
#include "tests/ofx/ofx_test_host.h"

namespace {

namespace fs = std::filesystem;
using ofx_test::Effect;
using ofx_test::OfxTestHost;
using ofx_test::Picture;
// The image library's description of a picture, under the name the tool gives it.
using PictureLayout = OIIO::ImageSpec;

// A part of the demo scene with a light near, the target halfway and the sky far away, small
// enough for quick renders.
constexpr int kCropX = 900;
constexpr int kCropY = 150;
constexpr int kWidth = 240;
constexpr int kHeight = 140;
constexpr double kAmount = 18.0;
constexpr double kFocus = 150.0;
constexpr double kShortTop = 65535.0;
constexpr double kByteTop = 255.0;
// Scene-linear light: the bright lights of the scene are worth this many times white.
constexpr double kHighlightGain = 12.0;

const std::vector<std::string> kEffectControls = {
    "Iris Shape", "On-Focus Distance", "Bokeh Amount",       "Hardness",
    "Brightness", "Quality",           "Distance Precision",
};

class BundleTest : public ::testing::Test {
  protected:
    BundleTest() {
        folder_ = fs::temp_directory_path() /
                  ("qb_ofx_test_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    ~BundleTest() override { fs::remove_all(folder_); }

    fs::path at(const std::string& name) const { return folder_ / name; }

    // The demo scene's colour and distance, cropped, in `depth`.
    void make_scene(const std::string& depth) {
        const qb_test::ToolRun run =
            qb_test::run_tool(folder_, {"demo", "--amount", "0", "--save-scene", "scene"});
        ASSERT_EQ(run.status, 0) << run.err;
        const OIIO::ROI crop(kCropX, kCropX + kWidth, kCropY, kCropY + kHeight);
        colour_ =
            OIIO::ImageBufAlgo::cut(OIIO::ImageBuf(at("scene/demo-scene.png").string()), crop);
        distance_ =
            OIIO::ImageBufAlgo::cut(OIIO::ImageBuf(at("scene/demo-distance.png").string()), crop);
        source_ = to_picture(colour_, depth, /*light=*/depth == kOfxBitDepthFloat);
        depth_ = to_picture(distance_, depth, /*light=*/false);
        ASSERT_TRUE(write_for_tool(source_, depth, "layer"));
        ASSERT_TRUE(write_for_tool(depth_, depth, "distance"));
    }

    // The picture as the tool reads it: PNG at 8 or 16 bits, EXR for float light.
    bool write_for_tool(const Picture& picture, const std::string& depth, const std::string& stem) {
        const bool light = depth == kOfxBitDepthFloat;
        PictureLayout layout(
            picture.width, picture.height, picture.channels,
            light ? OIIO::TypeDesc::FLOAT
                  : (depth == kOfxBitDepthShort ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8));
        OIIO::ImageBuf out(layout);
        const double top = light ? 1.0 : (depth == kOfxBitDepthShort ? kShortTop : kByteTop);
        std::vector<float> pixel(static_cast<std::size_t>(picture.channels));
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                for (int c = 0; c < picture.channels; ++c) {
                    pixel[static_cast<std::size_t>(c)] =
                        static_cast<float>(picture.sample(x, y, c) / top);
                }
                out.setpixel(x, y, pixel);
            }
        }
        return out.write(at(stem + (light ? ".exr" : ".png")).string());
    }

    static Picture to_picture(const OIIO::ImageBuf& buffer, const std::string& depth, bool light) {
        const PictureLayout& layout = buffer.spec();
        Picture picture = Picture::blank(depth, 4, layout.width, layout.height);
        for (int y = 0; y < layout.height; ++y) {
            for (int x = 0; x < layout.width; ++x) {
                for (int c = 0; c < 4; ++c) {
                    const int from = std::min(c, layout.nchannels - 1);
                    double value = c == 3 && layout.nchannels < 4
                                       ? 1.0
                                       : buffer.getchannel(x + layout.x, y + layout.y, 0, from);
                    if (light && c < 3 && value > 0.9) {
                        value *= kHighlightGain;
                    }
                    const double top = depth == kOfxBitDepthFloat   ? 1.0
                                       : depth == kOfxBitDepthShort ? kShortTop
                                                                    : kByteTop;
                    picture.set_sample(
                        x, y, c, depth == kOfxBitDepthFloat ? value : std::round(value * top));
                }
            }
        }
        return picture;
    }

    // The tool's render of the layer and distance files with the test's settings, read back in
    // the picture's depth.
    Picture tool_render(const std::string& depth, const std::vector<std::string>& extra = {}) {
        const bool light = depth == kOfxBitDepthFloat;
        const std::string layer = light ? "layer.exr" : "layer.png";
        const std::string output = light ? "tool.exr" : "tool.png";
        const std::string distance = light ? "distance.exr" : "distance.png";
        std::vector<std::string> args = {"render",     layer,
                                         "-o",         output,
                                         "--distance", distance,
                                         "--amount",   std::to_string(kAmount),
                                         "--focus",    std::to_string(kFocus),
                                         "--shape",    "circle"};
        if (light) {
            args.insert(args.end(), {"-d", "float"});
        }
        args.insert(args.end(), extra.begin(), extra.end());
        const qb_test::ToolRun run = qb_test::run_tool(folder_, args);
        EXPECT_EQ(run.status, 0) << run.err;
        OIIO::ImageBuf read(at(output).string());
        read.read();
        return to_picture(read, depth, false);
    }

    // The test's settings on `instance`, with `source` and, when given, `depth` connected.
    static void prepare(OfxTestHost& host, Effect& instance, const Picture* source,
                        const Picture* depth = nullptr) {
        host.set_choice(instance, "Iris Shape", "circle");
        host.set_double(instance, "Bokeh Amount", kAmount);
        host.set_double(instance, "On-Focus Distance", kFocus);
        host.connect(instance, kOfxImageEffectSimpleSourceClipName, source);
        if (depth) {
            host.connect(instance, "Depth", depth);
        }
    }

    fs::path folder_;
    OIIO::ImageBuf colour_;
    OIIO::ImageBuf distance_;
    Picture source_;
    Picture depth_;
};

std::set<std::string> strings_of(const ofx_test::PropertySet& props, const std::string& name) {
    std::set<std::string> values;
    for (int i = 0; i < props.dimension(name); ++i) {
        values.insert(props.get_string(name, i));
    }
    return values;
}

// Compares two pictures channel by channel: exactly, or within `relative` of the larger value.
::testing::AssertionResult same_pixels(const Picture& got, const Picture& want, double relative) {
    if (got.width != want.width || got.height != want.height) {
        return ::testing::AssertionFailure() << "sizes differ: " << got.width << "x" << got.height
                                             << " and " << want.width << "x" << want.height;
    }
    for (int y = 0; y < got.height; ++y) {
        for (int x = 0; x < got.width; ++x) {
            for (int c = 0; c < 4; ++c) {
                const double a = got.sample(x, y, c);
                const double b = want.sample(x, y, c);
                if (std::abs(a - b) > relative * std::max({std::abs(a), std::abs(b), 1.0})) {
                    return ::testing::AssertionFailure() << "at " << x << "," << y << " channel "
                                                         << c << ": " << a << " against " << b;
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(BundleTest, DescribesItselfInBothContextsWithEveryParameterAndClip) {
    OfxTestHost host(QB_OFX_BINARY);
    ASSERT_EQ(host.error(), "");
    EXPECT_STREQ(host.plugin()->pluginApi, kOfxImageEffectPluginApi);
    EXPECT_EQ(host.plugin()->pluginVersionMajor, QB_VERSION_MAJOR);
    EXPECT_EQ(host.plugin()->pluginVersionMinor, QB_VERSION_MINOR);
    const ofx_test::PropertySet& described = host.descriptor().props;
    EXPECT_NE(described.get_string(kOfxPropLabel), "");
    EXPECT_EQ(described.get_int(kOfxPropVersion, 0), QB_VERSION_MAJOR);
    EXPECT_EQ(described.get_int(kOfxPropVersion, 1), QB_VERSION_MINOR);
    EXPECT_EQ(described.get_string(kOfxPropVersionLabel), QB_VERSION);
    EXPECT_NE(described.get_string(kOfxImageEffectPluginPropGrouping).find("Blur"),
              std::string::npos);
    EXPECT_EQ(strings_of(described, kOfxImageEffectPropSupportedContexts),
              (std::set<std::string>{kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral}));
    EXPECT_EQ(strings_of(described, kOfxImageEffectPropSupportedPixelDepths),
              (std::set<std::string>{kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat}));
    EXPECT_EQ(described.get_int(kOfxImageEffectPropSupportsTiles), 0);

    for (const std::string context :
         {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral}) {
        SCOPED_TRACE(context);
        Effect* effect = host.describe_in_context(context);
        ASSERT_NE(effect, nullptr);
        const bool general = context == kOfxImageEffectContextGeneral;
        std::vector<std::string> clips = {kOfxImageEffectSimpleSourceClipName,
                                          kOfxImageEffectOutputClipName};
        if (general) {
            clips.insert(clips.begin() + 1, "Depth");
        }
        std::vector<std::string> declared = effect->clip_order;
        std::sort(declared.begin(), declared.end());
        std::sort(clips.begin(), clips.end());
        EXPECT_EQ(declared, clips);
        if (general) {
            EXPECT_EQ(effect->clips.at("Depth")->props.get_int(kOfxImageClipPropOptional), 1);
        }
        for (const std::string& control : kEffectControls) {
            EXPECT_EQ(effect->params.params.count(control), 1u) << control;
        }
        const ofx_test::Param& shape = *effect->params.params.at("Iris Shape");
        EXPECT_EQ(shape.type, kOfxParamTypeChoice);
        EXPECT_EQ(strings_of(shape.props, kOfxParamPropChoiceOption).count("circle"), 1u);
        const ofx_test::Param& amount = *effect->params.params.at("Bokeh Amount");
        EXPECT_EQ(amount.type, kOfxParamTypeDouble);
        // A focus point the host draws on the canvas.
        const bool has_point = std::any_of(
            effect->params.params.begin(), effect->params.params.end(), [](const auto& entry) {
                return entry.second->type == kOfxParamTypeDouble2D &&
                       entry.second->props.get_string(kOfxParamPropDoubleType) ==
                           kOfxParamDoubleTypeXYAbsolute;
            });
        EXPECT_TRUE(has_point);
    }
    EXPECT_TRUE(ofx_test::PropertySet::refused_names().empty())
        << "the plug-in set a property no host has, such as "
        << *ofx_test::PropertySet::refused_names().begin();
}

class DepthRender : public BundleTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DepthRender, EqualsTheToolsRenderOfTheSamePixels) {
    const std::string depth = GetParam();
    make_scene(depth);
    OfxTestHost host(QB_OFX_BINARY);
    ASSERT_EQ(host.error(), "");
    Effect* instance = host.create_instance(kOfxImageEffectContextGeneral);
    ASSERT_NE(instance, nullptr);
    prepare(host, *instance, &source_, &depth_);
    const OfxTestHost::RenderOutcome outcome = host.render(*instance);
    ASSERT_EQ(outcome.status, kOfxStatOK);
    EXPECT_EQ(host.live_images(), 0);
    EXPECT_EQ(outcome.source_roi.x2 - outcome.source_roi.x1, kWidth) << "the whole source";
    EXPECT_EQ(outcome.rod.x2, kWidth);
    EXPECT_EQ(outcome.rod.y2, kHeight);
    const bool light = depth == kOfxBitDepthFloat;
    EXPECT_TRUE(same_pixels(outcome.output, tool_render(depth), light ? 1e-5 : 0.0));
    EXPECT_FALSE(same_pixels(outcome.output, source_, 0.0)) << "nothing was blurred";
}

INSTANTIATE_TEST_SUITE_P(AtEveryDepth, DepthRender,
                         ::testing::Values(kOfxBitDepthByte, kOfxBitDepthShort, kOfxBitDepthFloat));

// Proxy renders: the host hands the picture at half size; the blur is halved with it, as the
// tool's --downsample 2 does. Blocks of 2x2 equal pixels reduce to the same half-size pixels in
// the tool as in the host, so the two agree exactly.
TEST_F(BundleTest, RenderScaleOneHalfEqualsTheToolsDownsampleTwo) {
    make_scene(kOfxBitDepthByte);
    Picture blocky = source_;
    Picture blocky_depth = depth_;
    Picture half = Picture::blank(kOfxBitDepthByte, 4, kWidth / 2, kHeight / 2);
    Picture half_depth = half;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 4; ++c) {
                blocky.set_sample(x, y, c, source_.sample(x & ~1, y & ~1, c));
                blocky_depth.set_sample(x, y, c, depth_.sample(x & ~1, y & ~1, c));
                half.set_sample(x / 2, y / 2, c, source_.sample(x & ~1, y & ~1, c));
                half_depth.set_sample(x / 2, y / 2, c, depth_.sample(x & ~1, y & ~1, c));
            }
        }
    }
    ASSERT_TRUE(write_for_tool(blocky, kOfxBitDepthByte, "layer"));
    ASSERT_TRUE(write_for_tool(blocky_depth, kOfxBitDepthByte, "distance"));

    OfxTestHost host(QB_OFX_BINARY);
    Effect* instance = host.create_instance(kOfxImageEffectContextGeneral);
    ASSERT_NE(instance, nullptr);
    prepare(host, *instance, &half, &half_depth);
    const OfxTestHost::RenderOutcome outcome = host.render(*instance, 0.5);
    ASSERT_EQ(outcome.status, kOfxStatOK);
    EXPECT_TRUE(
        same_pixels(outcome.output, tool_render(kOfxBitDepthByte, {"--downsample", "2"}), 0.0));
}

TEST_F(BundleTest, AnAbortStopsTheRenderWithNothingWrittenAndNothingHeld) {
    make_scene(kOfxBitDepthShort);
    OfxTestHost host(QB_OFX_BINARY);
    Effect* instance = host.create_instance(kOfxImageEffectContextGeneral);
    ASSERT_NE(instance, nullptr);
    prepare(host, *instance, &source_, &depth_);
    host.abort_at_progress(3);
    const OfxTestHost::RenderOutcome outcome = host.render(*instance);
    EXPECT_NE(outcome.status, kOfxStatOK);
    EXPECT_EQ(host.live_images(), 0);
    const Picture untouched = Picture::blank(kOfxBitDepthShort, 4, kWidth, kHeight);
    EXPECT_TRUE(same_pixels(outcome.output, untouched, 0.0)) << "the output was written";
    EXPECT_LE(host.progress_updates(), 4) << "the render went on after the abort";
}

TEST_F(BundleTest, FailuresPostTheEffectsMessageAndFailTheRender) {
    make_scene(kOfxBitDepthByte);
    OfxTestHost host(QB_OFX_BINARY);
    Effect* instance = host.create_instance(kOfxImageEffectContextGeneral);
    ASSERT_NE(instance, nullptr);
    Picture narrow = Picture::blank(kOfxBitDepthByte, 4, kWidth - 1, kHeight);
    prepare(host, *instance, &source_, &narrow);
    const OfxTestHost::RenderOutcome outcome = host.render(*instance);
    EXPECT_NE(outcome.status, kOfxStatOK);
    EXPECT_EQ(host.live_images(), 0);
    const std::vector<OfxTestHost::Message> messages = host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, kOfxMessageError);
    EXPECT_NE(messages[0].text.find("Distance layer and target layer have different image sizes"),
              std::string::npos)
        << messages[0].text;
}

// A plug-in folder of the test's own, named by the variable the bundle reads, holding the module
// and two shape folders.
class OwnPluginFolder {
  public:
    explicit OwnPluginFolder(const fs::path& root) : root_(root) {
        fs::create_directories(root_ / "pattern");
        fs::create_symlink(fs::path(QB_PLUGIN_DIR) / "QuilAE.aex", root_ / "QuilAE.aex");
        for (const char* shape : {"circle", "06"}) {
            fs::copy(fs::path(QB_PLUGIN_DIR) / "pattern" / shape, root_ / "pattern" / shape);
        }
        setenv(kVariable, root_.c_str(), 1);
    }
    ~OwnPluginFolder() { unsetenv(kVariable); }
    OwnPluginFolder(const OwnPluginFolder&) = delete;
    OwnPluginFolder& operator=(const OwnPluginFolder&) = delete;

    void remove_shape(const std::string& shape) const { fs::remove_all(root_ / "pattern" / shape); }

  private:
    static constexpr char kVariable[] = "QUILLBLOOM_PLUGIN_DIR";
    fs::path root_;
};

TEST_F(BundleTest, AShapeFolderGoneSinceTheEffectWasLoadedFailsTheRenderWithItsMessage) {
    make_scene(kOfxBitDepthByte);
    const OwnPluginFolder folder(at("plugin"));
    OfxTestHost host(QB_OFX_BINARY);
    ASSERT_EQ(host.error(), "");
    Effect* instance = host.create_instance(kOfxImageEffectContextFilter);
    ASSERT_NE(instance, nullptr);
    prepare(host, *instance, &source_);
    folder.remove_shape("circle");
    const OfxTestHost::RenderOutcome outcome = host.render(*instance);
    EXPECT_NE(outcome.status, kOfxStatOK);
    EXPECT_EQ(host.live_images(), 0);
    const std::vector<OfxTestHost::Message> messages = host.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, kOfxMessageError);
    EXPECT_NE(messages[0].text.find("circle"), std::string::npos) << messages[0].text;
}

#if !defined(__SANITIZE_ADDRESS__)
// The address space the process has now, from the kernel's own count.
std::size_t address_space_bytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmSize:", 0) == 0) {
            return std::stoull(line.substr(line.find_first_of("0123456789"))) * 1024;
        }
    }
    return 0;
}
#endif

// A render that cannot have the memory it needs, in a child process whose address space is
// capped a little above what it holds: whatever allocation is refused, the plug-in posts a message
// and fails the render, and the host goes on. The sanitizers reserve address space of their own
// and cannot run under such a cap.
TEST_F(BundleTest, ARefusedAllocationPostsItsMessageAndFailsTheRender) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer cannot run under an address-space cap";
#else
    constexpr int kSide = 4000;
    constexpr std::size_t kRoom = std::size_t{256} << 20;
    const Picture big = Picture::blank(kOfxBitDepthByte, 4, kSide, kSide);
    OfxTestHost host(QB_OFX_BINARY);
    ASSERT_EQ(host.error(), "");
    Effect* instance = host.create_instance(kOfxImageEffectContextFilter);
    ASSERT_NE(instance, nullptr);
    host.connect(*instance, kOfxImageEffectSimpleSourceClipName, &big);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit cap{address_space_bytes() + kRoom, address_space_bytes() + kRoom};
        setrlimit(RLIMIT_AS, &cap);
        const OfxTestHost::RenderOutcome outcome = host.render(*instance);
        const std::vector<OfxTestHost::Message> messages = host.messages();
        const bool told = messages.size() == 1 && messages[0].kind == kOfxMessageError &&
                          messages[0].text.find("memory") != std::string::npos;
        if (!told) {
            for (const auto& message : messages) {
                std::fprintf(stderr, "message: %s %s\n", message.kind.c_str(),
                             message.text.c_str());
            }
        }
        _exit(outcome.status != kOfxStatOK && told && host.live_images() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the child ended with status " << status;
#endif
}

// Instances share nothing: two rendering at once give what each gives alone.
TEST_F(BundleTest, TwoInstancesRenderingAtOnceGiveTheirOwnPixels) {
    make_scene(kOfxBitDepthFloat);
    OfxTestHost host(QB_OFX_BINARY);
    Effect* near = host.create_instance(kOfxImageEffectContextGeneral);
    Effect* far = host.create_instance(kOfxImageEffectContextGeneral);
    ASSERT_TRUE(near && far);
    for (Effect* instance : {near, far}) {
        prepare(host, *instance, &source_, &depth_);
    }
    host.set_double(*far, "On-Focus Distance", 40.0);
    const Picture near_alone = host.render(*near).output;
    const Picture far_alone = host.render(*far).output;
    OfxTestHost::RenderOutcome near_together;
    OfxTestHost::RenderOutcome far_together;
    std::thread other([&] { far_together = host.render(*far); });
    near_together = host.render(*near);
    other.join();
    ASSERT_EQ(near_together.status, kOfxStatOK);
    ASSERT_EQ(far_together.status, kOfxStatOK);
    EXPECT_TRUE(same_pixels(near_together.output, near_alone, 0.0));
    EXPECT_TRUE(same_pixels(far_together.output, far_alone, 0.0));
    EXPECT_FALSE(same_pixels(near_alone, far_alone, 0.0)) << "the focus changed nothing";
}

}  // namespace
