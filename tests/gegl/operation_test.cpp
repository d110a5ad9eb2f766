// The operation through GEGL's C API, as a GEGL host drives it: compared with the tool's
// renders of the same pixels, property by property, at 8 and 16 bits; failures that leave the
// layer as it came; progress, threads and mipmap levels as GEGL asks for them.
#include <gegl-plugin.h>
#include <gegl.h>
#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "tests/cli/tool_runner.h"
#include "tests/gegl/gegl_scene.h"

namespace {

namespace fs = std::filesystem;
using qb_test::Picture;

constexpr char kOperation[] = "quillbloom:depth-of-field";
constexpr char kLogDomain[] = "quillbloom";

class GeglRuntime : public ::testing::Environment {
  public:
    // GEGL loads its modules when an operation is first looked up; a host lists them all at
    // start, and the tests that change the plug-in folder rely on the catalogue listed then.
    void SetUp() override {
        gegl_init(nullptr, nullptr);
        ASSERT_TRUE(gegl_has_operation(kOperation));
    }
    void TearDown() override { gegl_exit(); }
};

[[maybe_unused]] ::testing::Environment* const gegl_runtime =
    ::testing::AddGlobalTestEnvironment(new GeglRuntime);

template <class Object>
struct Unref {
    void operator()(Object* object) const { g_object_unref(object); }
};
using BufferPtr = std::unique_ptr<GeglBuffer, Unref<GeglBuffer>>;
using NodePtr = std::unique_ptr<GeglNode, Unref<GeglNode>>;

template <class Sample>
const Babl* format_of(int channels) {
    if constexpr (std::is_floating_point_v<Sample>) {
        return babl_format(channels == 1 ? "Y float" : "RGBA float");
    }
    const bool eight = sizeof(Sample) == 1;
    if (channels == 1) {
        return babl_format(eight ? "Y' u8" : "Y' u16");
    }
    return babl_format(eight ? "R'G'B'A u8" : "R'G'B'A u16");
}

template <class Sample>
BufferPtr buffer_of(const Picture<Sample>& picture) {
    const GeglRectangle rect{0, 0, picture.width, picture.height};
    const Babl* format = format_of<Sample>(picture.channels);
    BufferPtr buffer(gegl_buffer_new(&rect, format));
    gegl_buffer_set(buffer.get(), &rect, 0, format, picture.values.data(), GEGL_AUTO_ROWSTRIDE);
    return buffer;
}

template <class Sample>
Picture<Sample> picture_of(GeglBuffer* buffer, const GeglRectangle& rect, double scale = 1.0) {
    constexpr int kChannels = 4;
    Picture<Sample> picture{rect.width, rect.height, kChannels, {}};
    picture.values.resize(static_cast<std::size_t>(rect.width) * rect.height * kChannels);
    gegl_buffer_get(buffer, &rect, scale, format_of<Sample>(kChannels), picture.values.data(),
                    GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    return picture;
}

int enum_value(const char* property, const char* nick) {
    GParamSpec* spec = gegl_operation_find_property(kOperation, property);
    const GEnumValue* value = g_enum_get_value_by_nick(G_PARAM_SPEC_ENUM(spec)->enum_class, nick);
    return value ? value->value : -1;
}

using Settings = std::function<void(GeglNode*)>;

constexpr const Picture<std::uint8_t>* kNoDistance = nullptr;

// Layer -> operation (Distance Layer on aux) -> nothing; rendered on demand.
class OperationGraph {
  public:
    template <class Sample, class DistanceSample = std::uint8_t>
    explicit OperationGraph(const Picture<Sample>& layer,
                            const Picture<DistanceSample>* distance = nullptr)
        : graph_(gegl_node_new()), layer_(buffer_of(layer)) {
        GeglNode* source = gegl_node_new_child(graph_.get(), "operation", "gegl:buffer-source",
                                               "buffer", layer_.get(), nullptr);
        operation_ = gegl_node_new_child(graph_.get(), "operation", kOperation, nullptr);
        gegl_node_link(source, operation_);
        if (distance) {
            distance_ = buffer_of(*distance);
            GeglNode* aux = gegl_node_new_child(graph_.get(), "operation", "gegl:buffer-source",
                                                "buffer", distance_.get(), nullptr);
            gegl_node_connect_to(aux, "output", operation_, "aux");
        }
    }

    GeglNode* operation() const { return operation_; }

    template <class Sample>
    Picture<Sample> render(const Settings& settings = {}) {
        if (settings) {
            settings(operation_);
        }
        const GeglRectangle extent = gegl_node_get_bounding_box(operation_);
        return blit<Sample>(1.0, extent);
    }

    template <class Sample>
    Picture<Sample> blit(double scale, const GeglRectangle& rect) const {
        constexpr int kChannels = 4;
        Picture<Sample> picture{rect.width, rect.height, kChannels, {}};
        picture.values.resize(static_cast<std::size_t>(rect.width) * rect.height * kChannels);
        gegl_node_blit(operation_, scale, &rect, format_of<Sample>(kChannels),
                       picture.values.data(), GEGL_AUTO_ROWSTRIDE, GEGL_BLIT_DEFAULT);
        return picture;
    }

  private:
    NodePtr graph_;
    BufferPtr layer_;
    BufferPtr distance_;
    GeglNode* operation_ = nullptr;
};

// The operation's warnings while it lives.
class LoggedWarnings {
  public:
    LoggedWarnings()
        : handler_(g_log_set_handler(kLogDomain, G_LOG_LEVEL_WARNING, record, &messages_)) {}
    ~LoggedWarnings() { g_log_remove_handler(kLogDomain, handler_); }
    LoggedWarnings(const LoggedWarnings&) = delete;
    LoggedWarnings& operator=(const LoggedWarnings&) = delete;

    const std::vector<std::string>& messages() const { return messages_; }

  private:
    static void record(const gchar*, GLogLevelFlags, const gchar* message, gpointer messages) {
        static_cast<std::vector<std::string>*>(messages)->push_back(message);
    }

    std::vector<std::string> messages_;
    guint handler_;
};

class OperationTest : public ::testing::Test {
  protected:
    OperationTest() {
        folder_ = fs::temp_directory_path() /
                  ("qb_gegl_test_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    ~OperationTest() override { fs::remove_all(folder_); }

    fs::path at(const std::string& name) const { return folder_ / name; }

    // The tool's render of `layer` (and `distance`, when given) with `flags`.
    template <class Sample, class DistanceSample = std::uint8_t>
    Picture<Sample> tool_render(const Picture<Sample>& layer,
                                const Picture<DistanceSample>* distance,
                                std::vector<std::string> flags) {
        EXPECT_TRUE(qb_test::write_picture(at("layer.png"), layer));
        std::vector<std::string> args = {"render", "layer.png", "-o", "tool.png"};
        if (distance) {
            EXPECT_TRUE(qb_test::write_picture(at("distance.png"), *distance));
            args.insert(args.end(), {"--distance", "distance.png"});
        }
        args.insert(args.end(), flags.begin(), flags.end());
        const qb_test::ToolRun run = qb_test::run_tool(folder_, args);
        EXPECT_EQ(run.status, 0) << run.err;
        return qb_test::read_picture<Sample>(at("tool.png"));
    }

    fs::path folder_;
};

TEST_F(OperationTest, SixteenBitLayerEqualsTheToolsSixteenBitRender) {
    const Picture<std::uint16_t> layer = qb_test::scene16();
    const Picture<std::uint16_t> distance = qb_test::distance16();
    OperationGraph graph(layer, &distance);
    const Picture<std::uint16_t> rendered = graph.render<std::uint16_t>([](GeglNode* node) {
        gegl_node_set(node, "focus-distance", 140.0, "bokeh-amount", 24.0, "shape",
                      enum_value("shape", "circle"), nullptr);
    });
    const Picture<std::uint16_t> tool =
        tool_render(layer, &distance, {"--focus", "140", "--amount", "24", "--shape", "circle"});
    EXPECT_EQ(qb_test::differences(rendered, tool), 0u);
    EXPECT_GT(qb_test::differences(rendered, layer), 0u) << "nothing was blurred";
}

// GIMP's 32-bit linear images are light: rendered as float frames, unclamped, as the tool
// renders an EXR.
TEST_F(OperationTest, FloatLayerEqualsTheToolsFloatRender) {
    const Picture<float> layer = qb_test::scene_light();
    const Picture<std::uint16_t> distance = qb_test::distance16();
    OperationGraph graph(layer, &distance);
    const Picture<float> rendered = graph.render<float>([](GeglNode* node) {
        gegl_node_set(node, "focus-distance", 140.0, "bokeh-amount", 24.0, "shape",
                      enum_value("shape", "circle"), nullptr);
    });
    ASSERT_TRUE(qb_test::write_picture(at("layer.exr"), layer));
    ASSERT_TRUE(qb_test::write_picture(at("distance.png"), distance));
    const qb_test::ToolRun run = qb_test::run_tool(
        folder_, {"render", "layer.exr", "-o", "tool.exr", "--distance", "distance.png", "--focus",
                  "140", "--amount", "24", "--shape", "circle"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture<float> tool = qb_test::read_picture<float>(at("tool.exr"));
    ASSERT_EQ(tool.values.size(), rendered.values.size());
    float brightest = 0.0f;
    for (std::size_t i = 0; i < tool.values.size(); ++i) {
        ASSERT_NEAR(rendered.values[i], tool.values[i], 1e-5f * std::max(tool.values[i], 1.0f))
            << "value " << i;
        brightest = std::max(brightest, rendered.values[i]);
    }
    EXPECT_GT(brightest, 1.5f) << "the highlights were clamped";
}

TEST_F(OperationTest, WithoutDistanceLayerEqualsTheToolsRenderWithoutDepth) {
    const Picture<std::uint8_t> layer = qb_test::scene8();
    OperationGraph graph(layer);
    const Picture<std::uint8_t> rendered = graph.render<std::uint8_t>(
        [](GeglNode* node) { gegl_node_set(node, "bokeh-amount", 9.0, nullptr); });
    EXPECT_EQ(qb_test::differences(rendered, tool_render(layer, kNoDistance, {"--amount", "9"})),
              0u);
}

struct PropertyCase {
    const char* name;
    Settings settings;
    std::vector<std::string> flags;
};

TEST_F(OperationTest, EachPropertyDoesWhatItsFlagDoesInTheTool) {
    const Picture<std::uint8_t> layer = qb_test::scene8();
    const Picture<std::uint8_t> distance = qb_test::distance8();
    const std::vector<PropertyCase> cases = {
        {"shape",
         [](GeglNode* n) { gegl_node_set(n, "shape", enum_value("shape", "circle"), nullptr); },
         {"--shape", "circle"}},
        {"focus-distance",
         [](GeglNode* n) { gegl_node_set(n, "focus-distance", 96.0, nullptr); },
         {"--focus", "96"}},
        {"focus point",
         [](GeglNode* n) { gegl_node_set(n, "focus-x", 61.0, "focus-y", 7.0, nullptr); },
         {"--focus-at", "61,7"}},
        {"bokeh-amount",
         [](GeglNode* n) { gegl_node_set(n, "bokeh-amount", 33.5, nullptr); },
         {"--amount", "33.5"}},
        {"hardness",
         [](GeglNode* n) { gegl_node_set(n, "hardness", 1.8, nullptr); },
         {"--hardness", "1.8"}},
        {"brightness",
         [](GeglNode* n) { gegl_node_set(n, "brightness", 2.5, nullptr); },
         {"--brightness", "2.5"}},
        {"quality",
         [](GeglNode* n) { gegl_node_set(n, "quality", enum_value("quality", "high"), nullptr); },
         {"--quality", "High"}},
        {"distance-precision",
         [](GeglNode* n) { gegl_node_set(n, "distance-precision", 60, nullptr); },
         {"--precision", "60"}},
    };
    OperationGraph standard_graph(layer, &distance);
    const Picture<std::uint8_t> standard = standard_graph.render<std::uint8_t>();
    ASSERT_EQ(qb_test::differences(standard, tool_render(layer, &distance, {})), 0u);
    for (const PropertyCase& property : cases) {
        SCOPED_TRACE(property.name);
        OperationGraph graph(layer, &distance);
        const Picture<std::uint8_t> rendered = graph.render<std::uint8_t>(property.settings);
        EXPECT_EQ(qb_test::differences(rendered, tool_render(layer, &distance, property.flags)),
                  0u);
        EXPECT_GT(qb_test::differences(rendered, standard), 0u) << "the property changed nothing";
    }
}

// The opacity of every pixel, row by row.
template <class Sample>
std::vector<Sample> alpha_of(const Picture<Sample>& picture) {
    std::vector<Sample> alpha;
    for (std::size_t i = 3; i < picture.values.size(); i += 4) {
        alpha.push_back(picture.values[i]);
    }
    return alpha;
}

// The tool reads and writes a partly transparent picture with premultiplied colour, so only
// its opacity can be compared exactly; the operation keeps colour and opacity apart, as GEGL
// does.
TEST_F(OperationTest, AlphaBokehSpreadsTheOpacityAsTheToolDoes) {
    const Picture<std::uint8_t> layer = qb_test::scene8(qb_test::Corner::fading);
    const Picture<std::uint8_t> distance = qb_test::distance8();
    const auto alpha_bokeh = [](double value) {
        return [value](GeglNode* n) {
            gegl_node_set(n, "alpha-bokeh", TRUE, "alpha-bokeh-value", value, nullptr);
        };
    };
    OperationGraph graph(layer, &distance);
    const std::vector<std::uint8_t> spread = alpha_of(graph.render<std::uint8_t>(alpha_bokeh(0.7)));
    EXPECT_EQ(spread, alpha_of(tool_render(layer, &distance, {"--alpha-bokeh=0.7"})));
    EXPECT_NE(spread, alpha_of(layer));

    OperationGraph other_value(layer, &distance);
    EXPECT_NE(alpha_of(other_value.render<std::uint8_t>(alpha_bokeh(0.3))), spread);
    OperationGraph kept(layer, &distance);
    EXPECT_EQ(alpha_of(kept.render<std::uint8_t>()), alpha_of(layer));
}

TEST_F(OperationTest, SettingsThatNeedAnotherOneChangeNothingAlone) {
    const Picture<std::uint8_t> layer = qb_test::scene8();
    const Picture<std::uint8_t> distance = qb_test::distance8();
    OperationGraph standard_graph(layer, &distance);
    const Picture<std::uint8_t> standard = standard_graph.render<std::uint8_t>();
    OperationGraph value_alone(layer, &distance);
    EXPECT_EQ(qb_test::differences(value_alone.render<std::uint8_t>([](GeglNode* n) {
                  gegl_node_set(n, "alpha-bokeh-value", 0.7, nullptr);
              }),
                                   standard),
              0u)
        << "the Alpha bokeh value counts only with Blur Opacity";

    OperationGraph without_depth(layer);
    const Picture<std::uint8_t> no_depth = without_depth.render<std::uint8_t>();
    OperationGraph point_without_depth(layer);
    EXPECT_EQ(qb_test::differences(point_without_depth.render<std::uint8_t>([](GeglNode* n) {
                  gegl_node_set(n, "focus-x", 61.0, "focus-y", 7.0, nullptr);
              }),
                                   no_depth),
              0u)
        << "without a Distance Layer there is no distance to pick";
}

// A plug-in folder whose pattern folder holds only the shape "06".
class ShrunkenPluginFolder {
  public:
    explicit ShrunkenPluginFolder(const fs::path& root) : root_(root) {
        fs::create_directories(root_ / "pattern");
        fs::create_symlink(fs::path(QB_PLUGIN_DIR) / "QuilAE.aex", root_ / "QuilAE.aex");
        fs::copy(fs::path(QB_PLUGIN_DIR) / "pattern" / "06", root_ / "pattern" / "06");
        g_setenv("QUILLBLOOM_PLUGIN_DIR", root_.c_str(), TRUE);
    }
    ~ShrunkenPluginFolder() { g_unsetenv("QUILLBLOOM_PLUGIN_DIR"); }
    ShrunkenPluginFolder(const ShrunkenPluginFolder&) = delete;
    ShrunkenPluginFolder& operator=(const ShrunkenPluginFolder&) = delete;

  private:
    fs::path root_;
};

TEST_F(OperationTest, FailuresAreLoggedWithTheEffectsMessageAndPassTheLayerUnchanged) {
    const Picture<std::uint16_t> layer = qb_test::scene16(qb_test::Corner::fading);
    const Picture<std::uint16_t> distance = qb_test::distance16();
    {
        SCOPED_TRACE("a shape that left the plug-in folder after GEGL listed it");
        const ShrunkenPluginFolder shrunken(at("plugin"));
        LoggedWarnings warnings;
        OperationGraph graph(layer, &distance);
        EXPECT_EQ(qb_test::differences(graph.render<std::uint16_t>([](GeglNode* n) {
                      gegl_node_set(n, "shape", enum_value("shape", "circle"), nullptr);
                  }),
                                       layer),
                  0u);
        ASSERT_EQ(warnings.messages().size(), 1u);
        EXPECT_NE(warnings.messages()[0].find("\"circle\" is not one of: 06"), std::string::npos)
            << warnings.messages()[0];
    }
    {
        SCOPED_TRACE("a Distance Layer of another size");
        const Picture<std::uint8_t> small_distance =
            qb_test::distance8(qb_test::kSceneWidth, qb_test::kSceneHeight - 1);
        LoggedWarnings warnings;
        OperationGraph graph(layer, &small_distance);
        EXPECT_EQ(qb_test::differences(graph.render<std::uint16_t>(), layer), 0u);
        ASSERT_EQ(warnings.messages().size(), 1u);
        EXPECT_EQ(warnings.messages()[0],
                  "[Quillbloom8.0] Distance layer and target layer have different image sizes  ");
    }
    {
        SCOPED_TRACE("a focus point outside the layer");
        LoggedWarnings warnings;
        OperationGraph graph(layer, &distance);
        EXPECT_EQ(qb_test::differences(graph.render<std::uint16_t>([](GeglNode* n) {
                      gegl_node_set(n, "focus-x", 80.0, "focus-y", 10.0, nullptr);
                  }),
                                       layer),
                  0u);
        ASSERT_EQ(warnings.messages().size(), 1u);
        EXPECT_EQ(warnings.messages()[0], "the focus point 80,10 lies outside the 80x60 layer");
    }
}

TEST_F(OperationTest, AskingForPartOfTheLayerGivesThatPartOfTheWholeRender) {
    const Picture<std::uint8_t> layer = qb_test::scene8();
    const Picture<std::uint8_t> distance = qb_test::distance8();
    OperationGraph whole_graph(layer, &distance);
    const Picture<std::uint8_t> whole = whole_graph.render<std::uint8_t>();
    OperationGraph part_graph(layer, &distance);
    const GeglRectangle part{30, 20, 17, 11};
    const Picture<std::uint8_t> rendered = part_graph.blit<std::uint8_t>(1.0, part);
    Picture<std::uint8_t> expected{part.width, part.height, 4, {}};
    for (int y = part.y; y < part.y + part.height; ++y) {
        const auto row =
            whole.values.begin() + (static_cast<std::ptrdiff_t>(y) * whole.width + part.x) * 4;
        expected.values.insert(expected.values.end(), row, row + part.width * 4);
    }
    EXPECT_EQ(qb_test::differences(rendered, expected), 0u);
}

template <class Sample>
double mean_difference(const Picture<Sample>& a, const Picture<Sample>& b) {
    double total = 0;
    for (std::size_t i = 0; i < a.values.size() && i < b.values.size(); ++i) {
        total += std::abs(static_cast<double>(a.values[i]) - b.values[i]);
    }
    return total / static_cast<double>(std::max<std::size_t>(a.values.size(), 1));
}

// GEGL reduces the layer for a zoomed-out view on its own terms, the tool by block means, so the
// two renders agree on the look, not on every value: their mean difference stays below 1.5% of
// the full scale, while the unblurred layer is more than twice that far from the render.
TEST_F(OperationTest, MipmapLevelRendersTheReducedLayerWithTheBlurScaledDown) {
    const Picture<std::uint8_t> layer = qb_test::scene8();
    const Picture<std::uint8_t> distance = qb_test::distance8();
    g_object_set(gegl_config(), "mipmap-rendering", TRUE, nullptr);
    OperationGraph graph(layer, &distance);
    const Picture<std::uint8_t> half = graph.blit<std::uint8_t>(
        0.5, GeglRectangle{0, 0, qb_test::kSceneWidth / 2, qb_test::kSceneHeight / 2});
    g_object_set(gegl_config(), "mipmap-rendering", FALSE, nullptr);
    const Picture<std::uint8_t> tool = tool_render(layer, &distance, {"--downsample", "2"});
    ASSERT_EQ(half.values.size(), tool.values.size());
    constexpr double kMeanTolerance = 0.015 * 255;
    EXPECT_LT(mean_difference(half, tool), kMeanTolerance);
    // The unblurred layer is far from both: the tolerance tells a render from a copy.
    const Picture<std::uint8_t> plain =
        tool_render(layer, &distance, {"--downsample", "2", "--amount", "0"});
    EXPECT_GT(mean_difference(plain, tool), 2 * kMeanTolerance);
}

// `picture` with each pixel made a block of `factor` x `factor` pixels.
template <class Sample>
Picture<Sample> enlarged(const Picture<Sample>& picture, int factor) {
    Picture<Sample> large{picture.width * factor, picture.height * factor, picture.channels, {}};
    for (int y = 0; y < large.height; ++y) {
        for (int x = 0; x < large.width; ++x) {
            const auto pixel =
                picture.values.begin() +
                (static_cast<std::ptrdiff_t>(y / factor) * picture.width + x / factor) *
                    picture.channels;
            large.values.insert(large.values.end(), pixel, pixel + picture.channels);
        }
    }
    return large;
}

// Mipmap level 2 is a quarter of the layer each way, rendered with a quarter of the blur: the
// tool's render at --downsample 4. A layer of 4x4 blocks of one value reduces to the same pixels
// in GEGL's mipmaps as in the tool's block means, so there the two agree exactly.
TEST_F(OperationTest, MipmapLevelTwoRendersAQuarterOfTheLayerWithAQuarterOfTheBlur) {
    constexpr int kReduction = 4;  // 2 to the power of the level
    const int width = qb_test::kSceneWidth / kReduction;
    const int height = qb_test::kSceneHeight / kReduction;
    const Picture<std::uint8_t> reduced_layer =
        qb_test::scene8(qb_test::Corner::opaque, width, height);
    const Picture<std::uint8_t> layer = enlarged(reduced_layer, kReduction);
    const Picture<std::uint8_t> distance = enlarged(qb_test::distance8(width, height), kReduction);
    g_object_set(gegl_config(), "mipmap-rendering", TRUE, nullptr);
    OperationGraph graph(layer, &distance);
    const Picture<std::uint8_t> quarter =
        graph.blit<std::uint8_t>(1.0 / kReduction, GeglRectangle{0, 0, width, height});
    g_object_set(gegl_config(), "mipmap-rendering", FALSE, nullptr);
    const Picture<std::uint8_t> tool = tool_render(layer, &distance, {"--downsample", "4"});
    ASSERT_EQ(tool.width, width);
    ASSERT_EQ(tool.height, height);
    EXPECT_EQ(qb_test::differences(quarter, tool), 0u);
    // A render, not the reduced layer passed through.
    EXPECT_GT(qb_test::differences(quarter, reduced_layer), 0u);
}

TEST_F(OperationTest, ProgressReachesGeglAndTheEffectTakesGeglsThreadCount) {
    const Picture<std::uint8_t> layer = qb_test::scene8();
    const Picture<std::uint8_t> distance = qb_test::distance8();
    for (const int threads : {1, 2}) {
        SCOPED_TRACE(threads);
        g_object_set(gegl_config(), "threads", threads, nullptr);
        OperationGraph graph(layer, &distance);
        std::vector<double> reports;
        g_signal_connect(graph.operation(), "progress",
                         G_CALLBACK(+[](GeglNode*, gdouble progress, gpointer seen) {
                             static_cast<std::vector<double>*>(seen)->push_back(progress);
                         }),
                         &reports);
        graph.render<std::uint8_t>();
        ASSERT_FALSE(reports.empty());
        EXPECT_GT(reports.back(), 0.5);
        for (const double report : reports) {
            EXPECT_GE(report, 0.0);
            EXPECT_LE(report, 1.0);
        }
        // The render ran on this thread, which keeps the count it set for the effect's loops.
        EXPECT_EQ(omp_get_max_threads(), threads);
    }
}

TEST_F(OperationTest, RendersAskedForFromTwoThreadsAtOnceEqualRendersOneAfterTheOther) {
    const Picture<std::uint8_t> layer = qb_test::scene8();
    const Picture<std::uint8_t> distance = qb_test::distance8();
    const Settings near = [](GeglNode* n) { gegl_node_set(n, "focus-distance", 224.0, nullptr); };
    const Settings far = [](GeglNode* n) { gegl_node_set(n, "focus-distance", 32.0, nullptr); };
    OperationGraph near_alone(layer, &distance);
    OperationGraph far_alone(layer, &distance);
    const Picture<std::uint8_t> expected_near = near_alone.render<std::uint8_t>(near);
    const Picture<std::uint8_t> expected_far = far_alone.render<std::uint8_t>(far);

    // Renders overlap differently each round; every one must be the picture it is alone.
    constexpr int kRounds = 4;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        OperationGraph near_graph(layer, &distance);
        OperationGraph far_graph(layer, &distance);
        Picture<std::uint8_t> rendered_near;
        Picture<std::uint8_t> rendered_far;
        std::thread first([&] { rendered_near = near_graph.render<std::uint8_t>(near); });
        std::thread second([&] { rendered_far = far_graph.render<std::uint8_t>(far); });
        first.join();
        second.join();
        EXPECT_EQ(qb_test::differences(rendered_near, expected_near), 0u);
        EXPECT_EQ(qb_test::differences(rendered_far, expected_far), 0u);
    }
}

TEST(OperationPropertiesTest, ControlsKeepTheirNamesRangesAndDefaultsFromTheModule) {
    GParamSpec* amount = gegl_operation_find_property(kOperation, "bokeh-amount");
    ASSERT_NE(amount, nullptr);
    EXPECT_STREQ(g_param_spec_get_nick(amount), "Bokeh Amount");
    EXPECT_EQ(G_PARAM_SPEC_DOUBLE(amount)->minimum, 0.0);
    EXPECT_EQ(G_PARAM_SPEC_DOUBLE(amount)->maximum, 300.0);
    EXPECT_EQ(G_PARAM_SPEC_DOUBLE(amount)->default_value, 20.0);

    GParamSpec* brightness = gegl_operation_find_property(kOperation, "brightness");
    EXPECT_EQ(G_PARAM_SPEC_DOUBLE(brightness)->minimum, 0x6664 / 65536.0);
    EXPECT_EQ(G_PARAM_SPEC_DOUBLE(brightness)->maximum, 10.0);
    EXPECT_EQ(GEGL_PARAM_SPEC_DOUBLE(brightness)->ui_maximum, 6.0);

    GParamSpec* alpha = gegl_operation_find_property(kOperation, "alpha-bokeh-value");
    EXPECT_STREQ(g_param_spec_get_nick(alpha), "Alpha bokeh");
    EXPECT_EQ(G_PARAM_SPEC_DOUBLE(alpha)->minimum, 0x1999 / 65536.0);

    GParamSpec* precision = gegl_operation_find_property(kOperation, "distance-precision");
    EXPECT_STREQ(g_param_spec_get_nick(precision), "Distance Precision");
    EXPECT_EQ(G_PARAM_SPEC_INT(precision)->minimum, 1);
    EXPECT_EQ(G_PARAM_SPEC_INT(precision)->maximum, 128);

    GParamSpec* quality = gegl_operation_find_property(kOperation, "quality");
    const GEnumValue* first = g_enum_get_value(G_PARAM_SPEC_ENUM(quality)->enum_class,
                                               G_PARAM_SPEC_ENUM(quality)->default_value);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->value_name, "Auto (Speed)");
    EXPECT_STREQ(first->value_nick, "auto-speed");

    // The shapes are the folders of the pattern folder, with "06" first chosen.
    GParamSpec* shape = gegl_operation_find_property(kOperation, "shape");
    GEnumClass* shapes = G_PARAM_SPEC_ENUM(shape)->enum_class;
    std::size_t folders = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(QB_PLUGIN_DIR) / "pattern")) {
        ++folders;
        EXPECT_NE(g_enum_get_value_by_nick(shapes, entry.path().filename().c_str()), nullptr)
            << entry.path();
    }
    EXPECT_EQ(shapes->n_values, folders);
    EXPECT_STREQ(g_enum_get_value(shapes, G_PARAM_SPEC_ENUM(shape)->default_value)->value_nick,
                 "06");
    EXPECT_STREQ(gegl_operation_get_key(kOperation, "categories"), "blur");
    EXPECT_STREQ(gegl_operation_get_key(kOperation, "version"), QB_VERSION);
}

}  // namespace
