#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class FileSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("qb_fs_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
    void touch(const std::string& name) { std::ofstream(root_ / name) << ""; }

    fs::path root_;
};

TEST_F(FileSystemTest, ListingIsSortedBytewiseAndMarksFolders) {
    fs::create_directory(root_ / "circle");
    fs::create_directory(root_ / "06");
    fs::create_directory(root_ / "Zeta");
    touch("readme.txt");
    const auto entries = platform::list_folder(root_.c_str());
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 4u);
    EXPECT_EQ((*entries)[0].name, "06");
    EXPECT_EQ((*entries)[1].name, "Zeta");  // upper case sorts before lower case
    EXPECT_EQ((*entries)[2].name, "circle");
    EXPECT_EQ((*entries)[3].name, "readme.txt");
    EXPECT_TRUE((*entries)[0].is_folder);
    EXPECT_FALSE((*entries)[3].is_folder);
}

TEST_F(FileSystemTest, MissingFolderIsNoListingAndEmptyFolderIsAnEmptyOne) {
    EXPECT_FALSE(platform::list_folder((root_ / "absent").c_str()).has_value());
    const auto entries = platform::list_folder(root_.c_str());
    ASSERT_TRUE(entries.has_value());
    EXPECT_TRUE(entries->empty());
}

TEST_F(FileSystemTest, OnlyReadableRegularFilesCountAsPresent) {
    touch("no_simd");
    fs::create_directory(root_ / "more_param");
    EXPECT_TRUE(platform::file_readable((root_ / "no_simd").c_str()));
    EXPECT_FALSE(platform::file_readable((root_ / "more_param").c_str()));
    EXPECT_FALSE(platform::file_readable((root_ / "use_micro").c_str()));
}

}  // namespace
