#include "shapes/shape_loader.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/allocation.h"
#include "shape_test_support.h"

namespace {

namespace fs = std::filesystem;
using shape_tests::sample_at;
using tiff_writer::TiffLayout;

class ShapeLoaderTest : public shape_tests::ShapeFileTest {
  protected:
    // Every pixel of the loaded image against the file's own samples: blue, green, red taken
    // from samples 2, 1, 0 of a colour file, or three copies of a grey file's one sample.
    void expect_bgr_image_of(const TiffLayout& layout) {
        ASSERT_NE(shape_->image, nullptr);
        ASSERT_EQ(shape_->file.width, layout.width);
        ASSERT_EQ(shape_->file.height, layout.height);
        ASSERT_EQ(shape_->file.rowbytes, static_cast<int>(layout.width * 3));
        const bool grey = layout.samples_per_pixel == 1;
        int mismatches = 0;
        for (uint32_t y = 0; y < layout.height; ++y) {
            const uint8_t* row = shape_->image + y * shape_->file.rowbytes;
            for (uint32_t x = 0; x < layout.width; ++x) {
                for (uint32_t c = 0; c < 3; ++c) {
                    const uint8_t expected = sample_at(x, y, grey ? 0 : 2 - c);
                    mismatches += row[x * 3 + c] != expected;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }

    void expect_no_image_and_no_message() {
        EXPECT_EQ(shape_->image, nullptr);
        EXPECT_TRUE(message_boxes().empty());
    }

    void load_valid_image() {
        const TiffLayout layout{.width = 5, .height = 4, .samples_per_pixel = 3};
        shape_->load(write_patterned("previous.tif", layout).c_str());
        ASSERT_NE(shape_->image, nullptr);
    }
};

// ---- Layouts the conversion serves ----

TEST_F(ShapeLoaderTest, RgbFileBecomesBgrRowsWithRedAndBlueExchanged) {
    for (const bool deflate : {false, true}) {
        SCOPED_TRACE(deflate ? "deflate" : "uncompressed");
        const TiffLayout layout{
            .width = 63, .height = 63, .samples_per_pixel = 3, .deflate = deflate};
        const std::string path = write_patterned(deflate ? "rgb_z.tif" : "rgb.tif", layout);
        shape_->load(path.c_str());
        EXPECT_EQ(shape_->file.rowbytes, 189);
        EXPECT_EQ(shape_->file.samples_per_pixel, 3);
        EXPECT_EQ(shape_->file.bits_per_sample, 8);
        EXPECT_STREQ(shape_->file.path, path.c_str());
        expect_bgr_image_of(layout);
    }
    EXPECT_TRUE(message_boxes().empty());
}

TEST_F(ShapeLoaderTest, GreyFileGivesThreeEqualBytesAPixel) {
    const TiffLayout layout{.width = 31, .height = 17, .samples_per_pixel = 1};
    shape_->load(write_patterned("grey.tif", layout).c_str());
    expect_bgr_image_of(layout);
}

TEST_F(ShapeLoaderTest, RgbaFileLosesItsAlpha) {
    const TiffLayout layout{.width = 20, .height = 9, .samples_per_pixel = 4, .deflate = true};
    shape_->load(write_patterned("rgba.tif", layout).c_str());
    expect_bgr_image_of(layout);
}

TEST_F(ShapeLoaderTest, OneSampleInSeparatePlanesIsStillChunkyGrey) {
    const TiffLayout layout{.width = 8, .height = 8, .separate_planes = true};
    shape_->load(write_patterned("grey_planar.tif", layout).c_str());
    expect_bgr_image_of(layout);
}

TEST_F(ShapeLoaderTest, WidthOrHeightOfOnePixelLoads) {
    for (const TiffLayout layout : {TiffLayout{.width = 1, .height = 40, .samples_per_pixel = 3},
                                    TiffLayout{.width = 40, .height = 1, .samples_per_pixel = 3}}) {
        shape_->load(write_patterned("thin.tif", layout).c_str());
        expect_bgr_image_of(layout);
    }
}

// ---- Layouts it cannot serve ----

struct RejectedLayout {
    const char* name;
    TiffLayout layout;
    const char* message;
};

TEST_F(ShapeLoaderTest, LayoutsTheConversionCannotServeAreShownAndGiveNoImage) {
    const RejectedLayout rejected[] = {
        {"16-bit RGB",
         {.width = 6, .height = 6, .samples_per_pixel = 3, .bits_per_sample = 16},
         "Unsupported format ( 16 bits per pixel )"},
        {"16-bit grey",
         {.width = 6, .height = 6, .bits_per_sample = 16},
         "Unsupported format ( 16 bits per pixel )"},
        {"1-bit",
         {.width = 13, .height = 6, .bits_per_sample = 1},
         "Unsupported format ( 1 bits per pixel )"},
        {"4-bit",
         {.width = 13, .height = 6, .bits_per_sample = 4},
         "Unsupported format ( 4 bits per pixel )"},
        {"planar RGB",
         {.width = 6, .height = 6, .samples_per_pixel = 3, .separate_planes = true},
         "Unsupported format ( separate sample planes )"},
        {"grey and alpha",
         {.width = 6, .height = 6, .samples_per_pixel = 2},
         "Unsupported format ( 2 samples per pixel )"},
        {"five samples",
         {.width = 6, .height = 6, .samples_per_pixel = 5},
         "Unsupported format ( 5 samples per pixel )"},
    };
    for (const RejectedLayout& c : rejected) {
        SCOPED_TRACE(c.name);
        host::desktop_record().message_boxes.clear();
        load_valid_image();
        const std::vector<uint8_t> samples(tiff_writer::image_bytes(c.layout), 0x5A);
        shape_->load(write_file("rejected.tif", c.layout, samples).c_str());
        EXPECT_EQ(shape_->image, nullptr);
        EXPECT_EQ(message_boxes(), std::vector<std::string>{c.message});
    }
}

TEST_F(ShapeLoaderTest, TiledFileIsShownAndGivesNoImage) {
    // Scanline reading cannot serve a file stored in tiles; libtiff alone would refuse it quietly.
    const std::string path = (folder_ / "tiled.tif").string();
    {
        TIFF* tiff = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tiff, nullptr);
        constexpr uint32_t kSide = 16;
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, kSide);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, kSide);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, kSide);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, kSide);
        std::vector<uint8_t> tile(kSide * kSide, 200);
        ASSERT_GT(TIFFWriteTile(tiff, tile.data(), 0, 0, 0, 0), 0);
        TIFFClose(tiff);
    }
    host::desktop_record().message_boxes.clear();
    load_valid_image();
    shape_->load(path.c_str());
    EXPECT_EQ(shape_->image, nullptr);
    EXPECT_EQ(message_boxes(), std::vector<std::string>{"Unsupported format ( tiled image )"});
}

// ---- Files that cannot be read ----

TEST_F(ShapeLoaderTest, MissingFileOrFolderIsSilentAndDropsThePreviousImage) {
    for (const std::string& path : {(folder_ / "absent.tif").string(), folder_.string()}) {
        load_valid_image();
        shape_->load(path.c_str());
        expect_no_image_and_no_message();
    }
}

TEST_F(ShapeLoaderTest, TruncatedFilesGiveNoImage) {
    const TiffLayout layout{.width = 40, .height = 40, .samples_per_pixel = 3};
    for (const bool deflate : {false, true}) {
        TiffLayout variant = layout;
        variant.deflate = deflate;
        const std::vector<uint8_t> whole =
            shape_tests::read_bytes(write_patterned("whole.tif", variant));
        // The pixels sit between the header and the directory, so cutting anywhere loses either
        // rows or the directory that describes them.
        for (const std::size_t length :
             {std::size_t{0}, std::size_t{7}, whole.size() / 2, whole.size() - 1}) {
            SCOPED_TRACE(testing::Message()
                         << (deflate ? "deflate" : "plain") << " cut at " << length);
            load_valid_image();
            const fs::path cut = folder_ / "cut.tif";
            shape_tests::write_bytes(cut, {whole.begin(), whole.begin() + length});
            shape_->load(cut.c_str());
            expect_no_image_and_no_message();
        }
    }
}

TEST_F(ShapeLoaderTest, CorruptedCompressedRowsGiveNoImage) {
    const TiffLayout layout{.width = 64, .height = 64, .samples_per_pixel = 3, .deflate = true};
    std::vector<uint8_t> bytes = shape_tests::read_bytes(write_patterned("rgb.tif", layout));
    // The compressed stream starts right after the 8-byte header.
    constexpr std::size_t kStreamStart = 8;
    std::memset(bytes.data() + kStreamStart, 0xFF, 32);
    const fs::path corrupt = folder_ / "corrupt.tif";
    shape_tests::write_bytes(corrupt, bytes);
    load_valid_image();
    shape_->load(corrupt.c_str());
    EXPECT_EQ(shape_->file.width, 64u);  // the header was fine; the rows were not
    expect_no_image_and_no_message();
}

TEST_F(ShapeLoaderTest, FileThatVanishesBeforeThePixelsAreReadIsNotConverted) {
    const TiffLayout layout{.width = 4, .height = 4};
    const std::string path = write_patterned("vanishing.tif", layout);
    ASSERT_TRUE(shapes::read_shape_header(shape_->file, path.c_str()));
    fs::remove(path);
    std::vector<uint8_t> image(4 * 12 + shapes::kShapeImageTailBytes, 0xEE);
    shape_->file.rowbytes = 12;
    EXPECT_FALSE(shapes::read_shape_pixels(shape_->file, image.data()));
}

TEST_F(ShapeLoaderTest, ImageTooLargeToAddressIsRefusedBeforeAnyAllocation) {
    // Hand-made header: libtiff would not write a file this large, but a damaged one may claim it.
    const std::vector<uint8_t> huge =
        shape_tests::minimal_tiff({.width = 0x80000000u, .height = 2});
    const fs::path path = folder_ / "huge.tif";
    shape_tests::write_bytes(path, huge);
    platform::refuse_allocation_after(-1);
    shape_->load(path.c_str());
    EXPECT_EQ(platform::refuse_allocation_after(-1), 0);
    EXPECT_EQ(shape_->file.width, 0x80000000u);  // the header itself was read
    expect_no_image_and_no_message();
}

TEST_F(ShapeLoaderTest, RefusedImageAllocationGivesNoImage) {
    const TiffLayout layout{.width = 9, .height = 9, .samples_per_pixel = 3};
    const std::string path = write_patterned("rgb.tif", layout);
    platform::refuse_allocation_after(0);
    shape_->load(path.c_str());
    platform::refuse_allocation_after(-1);
    expect_no_image_and_no_message();
}

TEST_F(ShapeLoaderTest, ZeroRowFileGivesNoImage) {
    shape_->load(write_file("empty.tif", TiffLayout{.width = 5, .height = 0}, {}).c_str());
    expect_no_image_and_no_message();
}

// ---- Header values ----

TEST_F(ShapeLoaderTest, AbsentSampleTagsMeanOneSampleNotThePreviousFilesLayout) {
    load_valid_image();
    ASSERT_EQ(shape_->file.samples_per_pixel, 3);
    const shape_tests::MinimalTiff grey{.width = 6, .height = 3, .samples_per_pixel_tag = false};
    const fs::path path = folder_ / "untagged.tif";
    shape_tests::write_bytes(path, shape_tests::minimal_tiff(grey));
    shape_->load(path.c_str());
    EXPECT_EQ(shape_->file.samples_per_pixel, 1);
    expect_bgr_image_of({.width = 6, .height = 3});
}

TEST_F(ShapeLoaderTest, SubsampledColourIsNotReadPastItsScanlines) {
    // Subsampled luminance and chrominance pack fewer bytes a row than three a pixel.
    const shape_tests::MinimalTiff ycbcr{
        .width = 8, .height = 4, .samples_per_pixel = 3, .photometric = 6};
    const fs::path path = folder_ / "ycbcr.tif";
    shape_tests::write_bytes(path, shape_tests::minimal_tiff(ycbcr));
    shape_->load(path.c_str());
    EXPECT_EQ(shape_->file.samples_per_pixel, 3);
    expect_no_image_and_no_message();
}

// ---- Release ----

TEST_F(ShapeLoaderTest, ReleaseFreesTheLoadedImage) {
    load_valid_image();
    shape_->release();
    EXPECT_EQ(shape_->image, nullptr);
    shape_->release();
    EXPECT_EQ(shape_->image, nullptr);
}

}  // namespace
