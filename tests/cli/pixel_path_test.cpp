// The pixel path each kind of file takes under --light.
#include <gtest/gtest.h>

#include "cli/pixel_path.h"

namespace {

TEST(PixelPath, FloatFilesAreLightUnlessReadForDisplayAndIntegersOnlyWhenAskedFor) {
    using cli::LightMode;
    using cli::PixelPath;
    using cli::SampleKind;
    for (const SampleKind integer : {SampleKind::k8, SampleKind::k16}) {
        EXPECT_EQ(cli::pixel_path_for(integer, LightMode::automatic), PixelPath::stored);
        EXPECT_EQ(cli::pixel_path_for(integer, LightMode::display), PixelPath::stored);
        EXPECT_EQ(cli::pixel_path_for(integer, LightMode::linear), PixelPath::light);
        EXPECT_TRUE(cli::decodes_srgb(integer, PixelPath::light));
        EXPECT_FALSE(cli::decodes_srgb(integer, PixelPath::stored));
    }
    for (const SampleKind floating : {SampleKind::kHalf, SampleKind::kFloat}) {
        EXPECT_EQ(cli::pixel_path_for(floating, LightMode::automatic), PixelPath::light);
        EXPECT_EQ(cli::pixel_path_for(floating, LightMode::linear), PixelPath::light);
        EXPECT_EQ(cli::pixel_path_for(floating, LightMode::display), PixelPath::display);
        EXPECT_FALSE(cli::decodes_srgb(floating, PixelPath::light));
    }
}

}  // namespace
