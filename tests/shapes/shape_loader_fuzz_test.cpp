// Damaged shape files, made by mutating valid ones with a fixed seed so that every run sees the
// same files. The loader has to survive each of them: no crash, no read outside a buffer (the
// sanitizer build catches those), no leak, and either no image or a complete one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "shape_test_support.h"

namespace {

using tiff_writer::TiffLayout;

constexpr uint32_t kSeed = 20261208;
// Enough to reach every part of a small file many times; a few seconds under the sanitizers.
constexpr int kMutantsPerSeedFile = 600;

class Mutator {
  public:
    explicit Mutator(uint32_t seed) : random_(seed) {}

    std::vector<uint8_t> mutate(std::vector<uint8_t> bytes) {
        const int edits = pick(1, 4);
        for (int i = 0; i < edits && !bytes.empty(); ++i) {
            switch (pick(0, 4)) {
                case 0:
                    bytes[position(bytes)] = static_cast<uint8_t>(pick(0, 255));
                    break;
                case 1:
                    put_boundary_value(bytes);
                    break;
                case 2:
                    bytes.resize(position(bytes));
                    break;
                case 3:
                    copy_chunk(bytes);
                    break;
                default:
                    bytes[position(bytes)] ^= static_cast<uint8_t>(1u << pick(0, 7));
                    break;
            }
        }
        return bytes;
    }

  private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }

    std::size_t position(const std::vector<uint8_t>& bytes) {
        return std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random_);
    }

    // Sizes, counts and offsets go wrong at their extremes.
    void put_boundary_value(std::vector<uint8_t>& bytes) {
        static constexpr uint32_t kBoundaries[] = {
            0, 1, 2, 0x7F, 0x80, 0xFF, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
        const uint32_t value = kBoundaries[pick(0, std::size(kBoundaries) - 1)];
        const std::size_t at = position(bytes);
        const std::size_t width = std::min<std::size_t>(pick(0, 1) ? 4 : 2, bytes.size() - at);
        for (std::size_t i = 0; i < width; ++i) {
            bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }

    void copy_chunk(std::vector<uint8_t>& bytes) {
        const std::size_t from = position(bytes);
        const std::size_t to = position(bytes);
        const std::size_t length = std::min<std::size_t>(
            {static_cast<std::size_t>(pick(1, 16)), bytes.size() - from, bytes.size() - to});
        std::copy_n(bytes.begin() + from, length, bytes.begin() + to);
    }

    std::mt19937 random_;
};

class ShapeLoaderFuzzTest : public shape_tests::ShapeFileTest {
  protected:
    std::vector<std::vector<uint8_t>> seed_files() {
        const TiffLayout layouts[] = {
            {.width = 15, .height = 15},
            {.width = 15, .height = 15, .deflate = true},
            {.width = 9, .height = 7, .samples_per_pixel = 3},
            {.width = 9, .height = 7, .samples_per_pixel = 3, .deflate = true},
            {.width = 6, .height = 5, .samples_per_pixel = 4},
            {.width = 6, .height = 5, .samples_per_pixel = 3, .separate_planes = true},
        };
        std::vector<std::vector<uint8_t>> files;
        for (const TiffLayout& layout : layouts) {
            files.push_back(shape_tests::read_bytes(write_patterned("seed.tif", layout)));
        }
        files.push_back(shape_tests::minimal_tiff(
            {.width = 5, .height = 3, .samples_per_pixel = 3, .photometric = 2}));
        return files;
    }

    // Either no image, or one whose rows the header fields describe.
    void expect_whole_or_no_image() {
        if (!shape_->image) {
            return;
        }
        EXPECT_EQ(shape_->file.rowbytes, static_cast<int>(shape_->file.width * 3));
        EXPECT_EQ(shape_->file.bits_per_sample, 8);
        const uint16_t samples = shape_->file.samples_per_pixel;
        EXPECT_TRUE(samples == 1 || samples == 3 || samples == 4) << samples;
    }
};

TEST_F(ShapeLoaderFuzzTest, MutatedFilesLoadWholeOrNotAtAll) {
    Mutator mutator(kSeed);
    const std::string path = folder_ / "mutant.tif";
    int loaded = 0;
    int total = 0;
    for (const std::vector<uint8_t>& seed : seed_files()) {
        for (int i = 0; i < kMutantsPerSeedFile; ++i, ++total) {
            shape_tests::write_bytes(path, mutator.mutate(seed));
            shape_->load(path.c_str());
            expect_whole_or_no_image();
            loaded += shape_->image != nullptr;
            shape_->release();
        }
    }
    // Guards against a mutator so harsh that nothing reaches the pixel conversion any more, and
    // one so mild that nothing is refused.
    EXPECT_GT(loaded, total / 20);
    EXPECT_LT(loaded, total);
}

}  // namespace
