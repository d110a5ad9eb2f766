// What the shape tests share: a scratch folder of their own, TIFF files written on the spot, and
// a plug-in object whose shape image is released whatever a test does.
#ifndef QB_TESTS_SHAPES_SHAPE_TEST_SUPPORT_H
#define QB_TESTS_SHAPES_SHAPE_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "host/desktop_recorder.h"
#include "platform/allocation.h"
#include "shapes/shape_loader.h"
#include "tools/tiff_writer.h"

namespace shape_tests {

// A shape file's record and the image loaded from it, released with the test.
struct LoadedShape {
    shapes::ShapeFile file;
    uint8_t* image = nullptr;

    LoadedShape() = default;
    LoadedShape(const LoadedShape&) = delete;
    LoadedShape& operator=(const LoadedShape&) = delete;
    ~LoadedShape() { release(); }

    void load(const char* path) { shapes::load_shape_image(path, file, image); }
    void release() { platform::release_array(image); }
};

namespace fs = std::filesystem;

// Sample value of (x, y, channel) that differs between neighbouring pixels and channels, so a
// swapped channel or a shifted row shows.
inline uint8_t sample_at(uint32_t x, uint32_t y, uint32_t channel) {
    return static_cast<uint8_t>(x * 7 + y * 13 + channel * 101 + 1);
}

// Interleaved samples of sample_at for every pixel of `layout` (8-bit, chunky).
inline std::vector<uint8_t> patterned_samples(const tiff_writer::TiffLayout& layout) {
    std::vector<uint8_t> samples;
    for (uint32_t y = 0; y < layout.height; ++y) {
        for (uint32_t x = 0; x < layout.width; ++x) {
            for (uint32_t c = 0; c < layout.samples_per_pixel; ++c) {
                samples.push_back(sample_at(x, y, c));
            }
        }
    }
    return samples;
}

// A TIFF file put together byte by byte, for headers libtiff would not write itself: 8-bit
// samples, uncompressed, one strip holding sample_at values, little-endian.
struct MinimalTiff {
    uint32_t width = 1;
    uint32_t height = 1;
    uint16_t samples_per_pixel = 1;
    bool samples_per_pixel_tag = true;
    uint16_t photometric = 1;  // black is zero
};

inline std::vector<uint8_t> minimal_tiff(const MinimalTiff& file) {
    enum : uint16_t { kShort = 3, kLong = 4 };
    struct Entry {
        uint16_t tag, type;
        uint32_t value;
    };
    const uint64_t pixels = uint64_t{file.width} * file.height;
    // A damaged header may claim more than the file holds; only a small image gets its pixels.
    constexpr uint64_t kLargestStoredImage = 1 << 16;
    const uint32_t stored =
        pixels <= kLargestStoredImage ? static_cast<uint32_t>(pixels * file.samples_per_pixel) : 0;
    std::vector<Entry> entries = {{256, kLong, file.width},
                                  {257, kLong, file.height},
                                  {258, kShort, 8},
                                  {259, kShort, 1},
                                  {262, kShort, file.photometric},
                                  {273, kLong, 0},
                                  {278, kLong, file.height},
                                  {279, kLong, stored}};
    if (file.samples_per_pixel_tag) {
        entries.insert(entries.begin() + 6, {277, kShort, file.samples_per_pixel});
    }
    constexpr uint32_t kHeaderBytes = 8;
    const uint32_t data_offset = kHeaderBytes + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    entries[5].value = data_offset;

    std::vector<uint8_t> bytes;
    const auto put = [&bytes](uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    };
    put('I' | 'I' << 8, 2);
    put(42, 2);
    put(kHeaderBytes, 4);
    put(entries.size(), 2);
    for (const Entry& e : entries) {
        put(e.tag, 2);
        put(e.type, 2);
        put(1, 4);
        put(e.value, 4);
    }
    put(0, 4);
    for (uint32_t i = 0; i < stored; ++i) {
        const uint32_t pixel = i / file.samples_per_pixel;
        bytes.push_back(
            sample_at(pixel % file.width, pixel / file.width, i % file.samples_per_pixel));
    }
    return bytes;
}

inline std::vector<uint8_t> read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class ShapeFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / ("qb_shapes_" + std::to_string(getpid()) + "_" +
                                               test->test_suite_name() + "_" + test->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        host::desktop_record().message_boxes.clear();
    }

    void TearDown() override {
        shape_->release();
        fs::remove_all(folder_);
    }

    // Writes `samples` with libtiff and answers the file's path.
    std::string write_file(const std::string& name, const tiff_writer::TiffLayout& layout,
                           const std::vector<uint8_t>& samples) {
        const fs::path path = folder_ / name;
        EXPECT_TRUE(tiff_writer::write_tiff(path.c_str(), layout, samples)) << name;
        return path;
    }

    std::string write_patterned(const std::string& name, const tiff_writer::TiffLayout& layout) {
        return write_file(name, layout, patterned_samples(layout));
    }

    const std::vector<std::string>& message_boxes() const {
        return host::desktop_record().message_boxes;
    }

    fs::path folder_;
    std::unique_ptr<LoadedShape> shape_ = std::make_unique<LoadedShape>();
};

}  // namespace shape_tests

#endif
