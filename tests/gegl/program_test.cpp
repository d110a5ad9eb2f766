// The operation from the gegl program, as a person runs it from a shell: listed with its
// properties, a graph of picture files giving what the tool gives, a failure that leaves the
// picture as it was, and the installed module finding its shapes beside itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/tool_runner.h"
#include "tests/gegl/gegl_scene.h"

namespace {

namespace fs = std::filesystem;
using qb_test::Picture;
using qb_test::ToolRun;

constexpr char kOperation[] = "quillbloom:depth-of-field";
// 16-bit values of 8-bit levels: 255 * 257 = 65535.
constexpr std::uint16_t kEightToSixteen = 257;

// The gegl program is no sanitized program: a sanitized module needs the runtimes loaded before
// everything else, and the program's own allocations are not ours to check for leaks.
std::map<std::string, std::string> program_environment() {
    std::map<std::string, std::string> environment;
    if (const std::string runtimes = QB_SANITIZER_PRELOAD; !runtimes.empty()) {
        environment["LD_PRELOAD"] = runtimes;
        environment["ASAN_OPTIONS"] = "detect_leaks=0";
    }
    return environment;
}

class ProgramTest : public ::testing::Test {
  protected:
    ProgramTest() {
        folder_ = fs::temp_directory_path() /
                  ("qb_gegl_program_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    ~ProgramTest() override { fs::remove_all(folder_); }

    fs::path at(const std::string& name) const { return folder_ / name; }

    ToolRun gegl(const std::vector<std::string>& args,
                 std::map<std::string, std::string> environment = {}) const {
        environment.merge(program_environment());
        return qb_test::run_tool(folder_, args, environment, QB_GEGL_PROGRAM);
    }

    ToolRun tool(const std::vector<std::string>& args) const {
        return qb_test::run_tool(folder_, args);
    }

    // The layer and its Distance Layer as files.
    void write_scene(const Picture<std::uint8_t>& distance = qb_test::distance8()) {
        ASSERT_TRUE(qb_test::write_picture(at("layer.png"), qb_test::scene8()));
        ASSERT_TRUE(qb_test::write_picture(at("distance.png"), distance));
    }

    // The operation's output, written at 16 bits by GEGL, as 8-bit values; a value that is not
    // an 8-bit level comes out as 0 with a failure.
    Picture<std::uint8_t> eight_bit(const fs::path& path) const {
        const Picture<std::uint16_t> deep = qb_test::read_picture<std::uint16_t>(path);
        Picture<std::uint8_t> picture{deep.width, deep.height, deep.channels, {}};
        for (const std::uint16_t value : deep.values) {
            EXPECT_EQ(value % kEightToSixteen, 0) << "not an 8-bit level: " << value;
            picture.values.push_back(static_cast<std::uint8_t>(value / kEightToSixteen));
        }
        return picture;
    }

    fs::path folder_;
};

// The chain's properties follow the operation's name; after "aux=[ ... ]" they would go to the
// last node inside the brackets.
std::vector<std::string> graph_args(const std::vector<std::string>& properties) {
    std::vector<std::string> args = {"layer.png", "-o", "operation.png", "--", kOperation};
    args.insert(args.end(), properties.begin(), properties.end());
    args.insert(args.end(), {"aux=[", "gegl:load", "path=distance.png", "]"});
    return args;
}

TEST_F(ProgramTest, OperationIsListedWithItsProperties) {
    const ToolRun exists = gegl({"--exists", kOperation});
    EXPECT_EQ(exists.status, 0) << exists.err;
    const ToolRun info = gegl({"--info", kOperation});
    ASSERT_EQ(info.status, 0) << info.err;
    for (const char* property :
         {"shape", "focus-distance", "focus-x", "focus-y", "bokeh-amount", "hardness", "brightness",
          "quality", "distance-precision", "alpha-bokeh", "alpha-bokeh-value"}) {
        EXPECT_NE(info.out.find(std::string("\n") + property + " "), std::string::npos)
            << property << " is missing from:\n"
            << info.out;
    }
    EXPECT_NE(info.out.find("(default: 20.000000)"), std::string::npos) << info.out;
}

TEST_F(ProgramTest, GraphOfPictureFilesEqualsTheToolByteForByte) {
    write_scene();
    const ToolRun run = gegl(graph_args(
        {"shape=circle", "focus-distance=120", "bokeh-amount=24", "hardness=1.5", "quality=high"}));
    ASSERT_EQ(run.status, 0) << run.err;
    const ToolRun reference =
        tool({"render", "layer.png", "--distance", "distance.png", "--shape", "circle", "--focus",
              "120", "--amount", "24", "--hardness", "1.5", "--quality", "High", "-o", "tool.png"});
    ASSERT_EQ(reference.status, 0) << reference.err;
    const Picture<std::uint8_t> rendered = eight_bit(at("operation.png"));
    EXPECT_EQ(qb_test::differences(rendered, qb_test::read_picture<std::uint8_t>(at("tool.png"))),
              0u);
    EXPECT_GT(qb_test::differences(rendered, qb_test::scene8()), 0u) << "nothing was blurred";
}

TEST_F(ProgramTest, DistanceLayerOfAnotherSizeIsReportedAndThePictureStaysAsItWas) {
    write_scene(qb_test::distance8(qb_test::kSceneWidth / 2, qb_test::kSceneHeight));
    const ToolRun run = gegl(graph_args({}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("[Quillbloom8.0] Distance layer and target layer have different image "
                           "sizes"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(qb_test::differences(eight_bit(at("operation.png")), qb_test::scene8()), 0u);
}

// `cmake --install --component gegl` into a staging folder: the module finds the plug-in folder
// installed beside it, and says what is missing when it is not there.
TEST_F(ProgramTest, InstalledOperationFindsItsShapesBesideIt) {
    const ToolRun install =
        qb_test::run_tool(folder_, {"--install", QB_BUILD_DIR, "--component", "gegl"},
                          {{"DESTDIR", at("staging").string()}}, QB_CMAKE_COMMAND);
    ASSERT_EQ(install.status, 0) << install.err;
    const fs::path installed = at("staging").string() + QB_GEGL_INSTALL_DIR;
    ASSERT_TRUE(fs::exists(installed / "quillbloom" / "pattern" / "06"));
    const std::map<std::string, std::string> environment = {
        {"GEGL_PATH", installed.string() + ":" + QB_GEGL_SYSTEM_DIR}};

    write_scene();
    const ToolRun run = gegl(graph_args({"bokeh-amount=12"}), environment);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(tool({"render", "layer.png", "--distance", "distance.png", "--amount", "12", "-o",
                    "tool.png"})
                  .status,
              0);
    EXPECT_EQ(qb_test::differences(eight_bit(at("operation.png")),
                                   qb_test::read_picture<std::uint8_t>(at("tool.png"))),
              0u);

    fs::remove_all(installed / "quillbloom");
    const ToolRun missing = gegl({"--exists", kOperation}, environment);
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("quillbloom:depth-of-field is not available"), std::string::npos)
        << missing.err;
    EXPECT_NE(missing.err.find("QUILLBLOOM_PLUGIN_DIR"), std::string::npos) << missing.err;
}

}  // namespace
