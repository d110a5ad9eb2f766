// The shape library as the build generates it into the plug-in folder, read back through the
// loader the way a render reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "platform/allocation.h"
#include "shape_test_support.h"
#include "shapes/shape_catalogue.h"
#include "shapes/shape_loader.h"

namespace {

const std::string kPatternFolder = QB_PLUGIN_DIR "/pattern";
constexpr int kSizes[] = {15, 31, 63, 127, 255, 511};
constexpr int kLargestBokehAmountEffect = 301;

struct LibraryShape {
    const char* name;
    int blades;  // 0 for a round shape
    bool colour;
};

constexpr LibraryShape kShapes[] = {
    {"05", 5, false}, {"06", 6, false},     {"07", 7, false},    {"08", 8, false},
    {"09", 9, false}, {"circle", 0, false}, {"fringe", 0, true},
};

// One channel of a loaded shape image, as floats for resampling.
struct Channel {
    int size = 0;
    std::vector<double> values;

    double at(int x, int y) const {
        if (x < 0 || y < 0 || x >= size || y >= size) {
            return 0.0;
        }
        return values[static_cast<std::size_t>(y) * size + x];
    }

    double bilinear(double x, double y) const {
        const int x0 = static_cast<int>(std::floor(x));
        const int y0 = static_cast<int>(std::floor(y));
        const double fx = x - x0;
        const double fy = y - y0;
        return (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0)) +
               fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1));
    }
};

class ShapeLibraryTest : public ::testing::Test {
  protected:
    void TearDown() override { shape_->release(); }

    std::string file_of(const LibraryShape& shape, int size) const {
        return kPatternFolder + "/" + shape.name + "/" + std::to_string(size) + ".tif";
    }

    // Loads the file and answers its red channel (byte 2 of each blue, green, red pixel).
    Channel load_red(const LibraryShape& shape, int size) {
        shape_->load(file_of(shape, size).c_str());
        Channel red{size, {}};
        if (!shape_->image) {
            ADD_FAILURE() << file_of(shape, size) << " did not load";
            return red;
        }
        for (int i = 0; i < size * size; ++i) {
            red.values.push_back(shape_->image[i * 3 + 2]);
        }
        return red;
    }

    std::unique_ptr<shape_tests::LoadedShape> shape_ = std::make_unique<shape_tests::LoadedShape>();
};

double centre_of(const Channel& c) {
    return (c.size - 1) / 2.0;
}

// Resampling a turned image blurs its anti-aliased rim, which costs about a third of full scale
// along the rim; a shape that is truly symmetric stays within this of itself once turned.
double symmetry_tolerance(const Channel& c) {
    return 0.6 / c.size;
}

// Mean difference, in parts of full scale, between the shape and itself turned by `degrees`
// about the image's centre.
double rotation_difference(const Channel& c, double degrees) {
    const double angle = degrees * std::numbers::pi / 180.0;
    const double centre = centre_of(c);
    double sum = 0.0;
    for (int y = 0; y < c.size; ++y) {
        for (int x = 0; x < c.size; ++x) {
            const double dx = x - centre;
            const double dy = y - centre;
            const double turned = c.bilinear(centre + dx * std::cos(angle) - dy * std::sin(angle),
                                             centre + dx * std::sin(angle) + dy * std::cos(angle));
            sum += std::fabs(c.at(x, y) - turned);
        }
    }
    return sum / (255.0 * c.size * c.size);
}

TEST_F(ShapeLibraryTest, EveryShapeComesAtEverySizeAsItsFileSays) {
    for (const LibraryShape& shape : kShapes) {
        for (const int size : kSizes) {
            SCOPED_TRACE(file_of(shape, size));
            shape_->load(file_of(shape, size).c_str());
            ASSERT_NE(shape_->image, nullptr);
            EXPECT_EQ(shape_->file.width, static_cast<uint32_t>(size));
            EXPECT_EQ(shape_->file.height, static_cast<uint32_t>(size));
            EXPECT_EQ(shape_->file.samples_per_pixel, shape.colour ? 3 : 1);
        }
    }
}

TEST_F(ShapeLibraryTest, ShapesAreCentredAndReachTheTopOfTheirImage) {
    for (const LibraryShape& shape : kShapes) {
        for (const int size : kSizes) {
            SCOPED_TRACE(file_of(shape, size));
            const Channel red = load_red(shape, size);
            double mass = 0.0, mx = 0.0, my = 0.0;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    mass += red.at(x, y);
                    mx += red.at(x, y) * x;
                    my += red.at(x, y) * y;
                }
            }
            ASSERT_GT(mass, 0.0);
            EXPECT_NEAR(mx / mass, centre_of(red), 0.05);
            EXPECT_NEAR(my / mass, centre_of(red), 0.05);
            // The engine scales the image to the blur's diameter, so a shape short of its frame
            // would blur less than asked. Every shape has a corner or its rim at the top.
            const int middle = size / 2;
            EXPECT_GT(red.at(middle, 0) + red.at(middle, 1), 0.0);
        }
    }
}

TEST_F(ShapeLibraryTest, BladedShapesRepeatAfterOneBladeAndOnlyThen) {
    // Sizes where a pixel is small against the shape; at 15 pixels the grid dominates.
    for (const int size : {63, 255, 511}) {
        for (const LibraryShape& shape : kShapes) {
            if (shape.blades == 0) {
                continue;
            }
            SCOPED_TRACE(file_of(shape, size));
            const Channel red = load_red(shape, size);
            const double blade = 360.0 / shape.blades;
            const double symmetric = rotation_difference(red, blade);
            EXPECT_LT(symmetric, symmetry_tolerance(red));
            EXPECT_LT(rotation_difference(red, 2 * blade), symmetry_tolerance(red));
            // Half a blade turns corners onto edges, which must show well above resampling.
            EXPECT_GT(rotation_difference(red, blade / 2), 3 * symmetric);
        }
    }
}

TEST_F(ShapeLibraryTest, RoundShapesLookTheSameTurnedByAnyAngle) {
    for (const int size : {63, 255, 511}) {
        for (const LibraryShape& shape : kShapes) {
            if (shape.blades != 0) {
                continue;
            }
            SCOPED_TRACE(file_of(shape, size));
            const Channel red = load_red(shape, size);
            for (const double degrees : {17.0, 45.0, 90.0, 133.0, 180.0}) {
                EXPECT_LT(rotation_difference(red, degrees), symmetry_tolerance(red)) << degrees;
            }
        }
    }
}

TEST_F(ShapeLibraryTest, GreyShapesAreGreyAndTheFringeShapeSpreadsRedFurthest) {
    for (const LibraryShape& shape : kShapes) {
        SCOPED_TRACE(shape.name);
        shape_->load(file_of(shape, 127).c_str());
        ASSERT_NE(shape_->image, nullptr);
        int differing = 0;
        int misordered = 0;
        for (int i = 0; i < 127 * 127; ++i) {
            const uint8_t* pixel = shape_->image + i * 3;
            const uint8_t blue = pixel[0], green = pixel[1], red = pixel[2];
            differing += red != green || green != blue;
            misordered += red < green || green < blue;
        }
        if (shape.colour) {
            // Enough for the engine to keep the shape's colour rather than fold it to grey.
            EXPECT_GT(differing, 127);
            EXPECT_EQ(misordered, 0);
        } else {
            EXPECT_EQ(differing, 0);
        }
    }
}

TEST_F(ShapeLibraryTest, CatalogueListsEveryShapeInAStableOrderWithSixBladesAsDefault) {
    for (int listing = 0; listing < 2; ++listing) {
        char names[kMaxShapeFolders][platform::kPathBufferSize] = {};
        char choices[platform::kPathBufferSize] = {};
        int preferred = -1;
        const int16_t count =
            list_shape_folders(kPatternFolder.c_str(), "06", names, choices, &preferred);
        EXPECT_STREQ(choices, "05|06|07|08|09|circle|fringe");
        ASSERT_EQ(count, static_cast<int16_t>(std::size(kShapes)));
        for (int i = 0; i < count; ++i) {
            EXPECT_STREQ(names[i], kShapes[i].name);
        }
        ASSERT_GE(preferred, 0);
        EXPECT_STREQ(names[preferred], "06");
    }
}

TEST_F(ShapeLibraryTest, EveryRequestUpToTheLargestBokehAmountFindsALargeEnoughFile) {
    for (const LibraryShape& shape : kShapes) {
        const std::string folder = kPatternFolder + "/" + shape.name;
        for (int max_effect = 1; max_effect <= kLargestBokehAmountEffect; max_effect += 2) {
            char chosen[platform::kPathBufferSize] = {};
            find_shape_size_file(folder.c_str(), max_effect, chosen);
            const int* size = std::lower_bound(std::begin(kSizes), std::end(kSizes), max_effect);
            ASSERT_EQ(std::string(chosen), file_of(shape, *size)) << max_effect;
        }
        char chosen[platform::kPathBufferSize] = {};
        find_shape_size_file(folder.c_str(), kLargestBokehAmountEffect, chosen);
        shape_->load(chosen);
        ASSERT_NE(shape_->image, nullptr) << shape.name;
        EXPECT_GE(shape_->file.width, static_cast<uint32_t>(kLargestBokehAmountEffect));
    }
}

}  // namespace
