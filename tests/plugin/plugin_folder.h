// A plug-in folder of a test's own: a private copy of the built module under a path no other
// test uses, so that every host loads it afresh with its statics as at module load, plus
// whatever option files and shape folders the test puts beside it.
#ifndef QB_TESTS_PLUGIN_PLUGIN_FOLDER_H
#define QB_TESTS_PLUGIN_PLUGIN_FOLDER_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace qb_test {

namespace fs = std::filesystem;

class PluginFolder {
  public:
    PluginFolder() {
        static int serial = 0;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::temp_directory_path() /
                ("qb_plugin_" + std::to_string(getpid()) + "_" + std::to_string(serial++) + "_" +
                 (test ? test->name() : "setup"));
        fs::remove_all(root_);
        fs::create_directories(root_);
        fs::copy_file(fs::path(QB_PLUGIN_DIR) / "QuilAE.aex", module());
    }
    ~PluginFolder() { fs::remove_all(root_); }
    PluginFolder(const PluginFolder&) = delete;
    PluginFolder& operator=(const PluginFolder&) = delete;

    const fs::path& root() const { return root_; }
    fs::path module() const { return root_ / "QuilAE.aex"; }
    fs::path pattern() const { return root_ / "pattern"; }

    void touch(const fs::path& relative) const {
        fs::create_directories((root_ / relative).parent_path());
        std::ofstream(root_ / relative) << "";
    }
    void add_shape_folder(const std::string& name) const {
        fs::create_directories(pattern() / name);
    }
    // The shape library the build generated, as a user's plug-in folder holds it.
    void link_shape_library() const {
        fs::create_directory_symlink(fs::path(QB_PLUGIN_DIR) / "pattern", pattern());
    }

  private:
    fs::path root_;
};

}  // namespace qb_test

#endif
