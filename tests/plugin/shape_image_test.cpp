// The plug-in object's shape image: loaded through the shape library into its own fields, and
// handed back the way it came.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "plugin/bokeh_plugin.h"
#include "tools/tiff_writer.h"

namespace {

PF_ParamDef* checked_in_param = nullptr;

PF_Err record_checkin(PF_ProgPtr, PF_ParamDef* param) {
    checked_in_param = param;
    return PF_Err_NONE;
}

TEST(ShapeImage, LoadsIntoThePluginsFieldsAndKeepsThemWhenAFileCannotBeOpened) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "qb_shape_image_test.tif";
    tiff_writer::TiffLayout layout;
    layout.width = 5;
    layout.height = 3;
    layout.samples_per_pixel = 3;
    std::vector<uint8_t> samples(5 * 3 * 3, 40);
    ASSERT_TRUE(tiff_writer::write_tiff(path.c_str(), layout, samples));
    auto plugin = std::make_unique<BokehPlugin>();
    plugin->load_shape_image(path.c_str());
    ASSERT_NE(plugin->shape_image, nullptr);
    EXPECT_EQ(plugin->shape_width, 5u);
    EXPECT_EQ(plugin->shape_height, 3u);
    EXPECT_EQ(plugin->shape_rowbytes, 15);
    EXPECT_EQ(plugin->samples_per_pixel, 3);
    EXPECT_STREQ(plugin->shape_path, path.c_str());

    plugin->load_shape_image("/nonexistent/shape.tif");
    EXPECT_EQ(plugin->shape_image, nullptr);
    EXPECT_EQ(plugin->shape_width, 5u);
    EXPECT_STREQ(plugin->shape_path, path.c_str());
    std::filesystem::remove(path);
}

TEST(ShapeImage, IrisLayerPixelsGoBackToTheHostInsteadOfBeingFreed) {
    uint8_t layer_pixels[12] = {};
    PF_ParamDef iris_layer{};
    PF_InData in_data{};
    in_data.inter.checkin_param = record_checkin;
    auto plugin = std::make_unique<BokehPlugin>();
    plugin->iris_layer_enabled = 1;
    plugin->iris_layer_marker = 1;
    plugin->shape_image = layer_pixels;
    plugin->release_shape_image(&in_data, &iris_layer);
    EXPECT_EQ(checked_in_param, &iris_layer);
    EXPECT_EQ(plugin->shape_image, nullptr);
}

}  // namespace
