// Where the tool looks for its module when no --module is given.
#include "cli/module_location.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(ModuleLocation, ThePluginFolderBesideTheProgramElseTheInstalledOne) {
    const fs::path root =
        fs::temp_directory_path() / ("qb_module_location_" + std::to_string(getpid()));
    const fs::path program_folder = root / "bin";
    fs::create_directories(program_folder);
    EXPECT_EQ(cli::default_module_path(program_folder),
              (program_folder / cli::kInstalledPluginFolder / "QuilAE.aex").lexically_normal());

    fs::create_directory(program_folder / cli::kBuildPluginFolder);
    EXPECT_EQ(cli::default_module_path(program_folder),
              program_folder / cli::kBuildPluginFolder / "QuilAE.aex");
    fs::remove_all(root);
}

}  // namespace
