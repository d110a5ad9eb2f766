#include "render/kept_iris.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/allocation.h"
#include "tools/tiff_writer.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSide = 9;

class KeptIrisTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() /
                  ("qb_kept_iris_" + std::to_string(getpid()) + "_" + test->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        iris_.release();
        fs::remove_all(folder_);
    }

    // A grey iris every pixel of which is `level`.
    void write_iris(const std::string& name, uint8_t level) {
        const tiff_writer::TiffLayout layout{kSide, kSide};
        const std::vector<uint8_t> samples(kSide * kSide, level);
        ASSERT_TRUE(tiff_writer::write_tiff((folder_ / name).c_str(), layout, samples));
    }

    // A change on disk within the file system's clock tick would leave the time as it was.
    void mark_modified(const fs::path& path) {
        fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
    }

    render::KeptIris::Iris load(int max_effect) { return iris_.load(folder_.c_str(), max_effect); }

    fs::path folder_;
    render::KeptIris iris_;
};

TEST_F(KeptIrisTest, TheSameFolderAndSizeTakeTheKeptImageWhileNothingChanged) {
    write_iris("15.tif", 7);
    const render::KeptIris::Iris first = load(15);
    ASSERT_TRUE(first.found);
    ASSERT_NE(first.image, nullptr);
    EXPECT_EQ(first.file->width, kSide);
    EXPECT_EQ(first.image[0], 7);
    const int held = platform::live_allocations();
    // Counts the allocations asked for from here.
    platform::refuse_allocation_after(-1);
    const render::KeptIris::Iris kept = load(15);
    EXPECT_EQ(platform::refuse_allocation_after(-1), 0) << "read again while nothing changed";
    EXPECT_EQ(kept.image, first.image);
    // Another size reads again, and keeps that image instead.
    EXPECT_NE(load(13).image, nullptr);
    EXPECT_GT(platform::refuse_allocation_after(-1), 0);
    EXPECT_EQ(platform::live_allocations(), held);
    iris_.release();
    EXPECT_EQ(platform::live_allocations(), held - 1);
}

TEST_F(KeptIrisTest, AFileRewrittenOrAFolderChangedIsReadAgain) {
    write_iris("15.tif", 7);
    write_iris("31.tif", 9);
    EXPECT_EQ(load(15).image[0], 7);
    // The same file, new pixels of the same size.
    write_iris("15.tif", 8);
    mark_modified(folder_ / "15.tif");
    EXPECT_EQ(load(15).image[0], 8);
    // A file that fits better than the one kept.
    EXPECT_EQ(load(17).image[0], 9);
    write_iris("17.tif", 10);
    mark_modified(folder_);
    EXPECT_EQ(load(17).image[0], 10);
    // The kept file gone: none fits.
    fs::remove(folder_ / "17.tif");
    fs::remove(folder_ / "31.tif");
    mark_modified(folder_);
    EXPECT_FALSE(load(17).found);
}

TEST_F(KeptIrisTest, AFileThatGivesNoImageIsNotKept) {
    {
        std::FILE* file = std::fopen((folder_ / "15.tif").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fputs("not a picture", file);
        std::fclose(file);
    }
    const render::KeptIris::Iris broken = load(15);
    EXPECT_TRUE(broken.found);
    EXPECT_EQ(broken.image, nullptr);
    write_iris("15.tif", 7);
    mark_modified(folder_ / "15.tif");
    const render::KeptIris::Iris mended = load(15);
    ASSERT_NE(mended.image, nullptr);
    EXPECT_EQ(mended.image[0], 7);
}

TEST_F(KeptIrisTest, AnImageRefusedItsMemoryIsReadAgainNextTime) {
    write_iris("15.tif", 7);
    platform::refuse_allocation_after(0);
    const render::KeptIris::Iris refused = load(15);
    platform::refuse_allocation_after(-1);
    EXPECT_TRUE(refused.found);
    EXPECT_EQ(refused.image, nullptr);
    const render::KeptIris::Iris loaded = load(15);
    ASSERT_NE(loaded.image, nullptr);
    EXPECT_EQ(loaded.image[0], 7);
}

}  // namespace
