// A folder of its own for each test of the tool's file reading and writing, removed afterwards,
// with ways to write files through the image library directly and to read the tool's worlds.
#ifndef QB_TESTS_CLI_SCRATCH_FILES_H
#define QB_TESTS_CLI_SCRATCH_FILES_H

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/image_library.h"
#include "cli/image_reader.h"

namespace qb_test {

class ScratchFiles : public ::testing::Test {
  protected:
    ScratchFiles() {
        folder_ = std::filesystem::temp_directory_path() /
                  ("qb_scratch_" + std::to_string(getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    ~ScratchFiles() override { std::filesystem::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    // Writes `samples` as they are, with `layout` giving the file's layout and type.
    template <class Sample>
    void write_file(const std::string& name, const cli::PictureLayout& layout,
                    const std::vector<Sample>& samples) {
        auto out = OIIO::ImageOutput::create(path(name));
        ASSERT_TRUE(out && out->open(path(name), layout)) << OIIO::geterror();
        ASSERT_TRUE(out->write_image(OIIO::BaseTypeFromC<Sample>::value, samples.data()));
        ASSERT_TRUE(out->close());
    }

    template <class Sample>
    void write_file(const std::string& name, int width, int height, int channels,
                    OIIO::TypeDesc type, const std::vector<Sample>& samples,
                    std::vector<std::string> names = {}) {
        cli::PictureLayout layout(width, height, channels, type);
        if (!names.empty()) {
            layout.channelnames = names;
        }
        write_file(name, layout, samples);
    }

    cli::ColourPicture colour(const std::string& name,
                              cli::LightMode mode = cli::LightMode::automatic) const {
        return cli::read_colour(cli::read_header(path(name)), mode);
    }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    std::filesystem::path folder_;
};

}  // namespace qb_test

#endif
