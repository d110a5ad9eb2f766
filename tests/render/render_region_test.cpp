// Which rectangle a render computes: full renders grown by the blur, previews around a point,
// and requests that leave nothing to compute.
#include <gtest/gtest.h>

#include "render/render_region.h"

namespace {

using render::full_render_region;
using render::preview_render_region;
using render::RenderRegion;

void expect_region(const RenderRegion& r, int x0, int y0, int width, int height) {
    EXPECT_EQ(r.x0, x0);
    EXPECT_EQ(r.y0, y0);
    EXPECT_EQ(r.width, width);
    EXPECT_EQ(r.height, height);
}

TEST(RenderRegion, PreviewSquaresAroundThePoint) {
    expect_region(*preview_render_region(400, 300, 100, 1920, 1080), 350, 250, 100, 100);
    expect_region(*preview_render_region(10, 10, 100, 1920, 1080), 0, 0, 60, 60);
    // An odd size loses its last pixel to the integer half.
    expect_region(*preview_render_region(400, 300, 21, 1920, 1080), 390, 290, 20, 20);
    // Clipped at the far edges, the square stops before the last column and row.
    expect_region(*preview_render_region(1915, 1075, 100, 1920, 1080), 1865, 1025, 54, 54);
}

TEST(RenderRegion, PreviewPointMustLieStrictlyInside) {
    EXPECT_FALSE(preview_render_region(0, 5, 100, 64, 48));
    EXPECT_FALSE(preview_render_region(5, 0, 100, 64, 48));
    EXPECT_FALSE(preview_render_region(64, 5, 100, 64, 48));
    EXPECT_FALSE(preview_render_region(5, 48, 100, 64, 48));
    EXPECT_FALSE(preview_render_region(-3, 5, 100, 64, 48));
    EXPECT_TRUE(preview_render_region(1, 1, 100, 64, 48));
    EXPECT_TRUE(preview_render_region(63, 47, 100, 64, 48));
}

TEST(RenderRegion, PreviewSizesThatLeaveNothing) {
    EXPECT_TRUE(preview_render_region(30, 20, 0, 64, 48)->empty());
    EXPECT_TRUE(preview_render_region(30, 20, 1, 64, 48)->empty());
    EXPECT_TRUE(preview_render_region(30, 20, -40, 64, 48)->empty());
}

TEST(RenderRegion, FullRenderGrowsTheExtentByHalfTheDisc) {
    const RenderRegion whole = full_render_region(0, 0, 1920, 1080, 21, 1920, 1080);
    expect_region(whole, 0, 0, 1920, 1080);
    EXPECT_TRUE(whole.covers(1920, 1080));
    const RenderRegion part = full_render_region(100, 50, 300, 90, 21, 1920, 1080);
    expect_region(part, 90, 40, 220, 60);
    EXPECT_FALSE(part.covers(1920, 1080));
}

TEST(RenderRegion, ExtentsOutsideTheLayerOrInvertedLeaveNothing) {
    EXPECT_TRUE(full_render_region(500, 0, 600, 48, 4, 64, 48).empty());
    EXPECT_TRUE(full_render_region(0, 0, -30, 48, 4, 64, 48).empty());
    EXPECT_TRUE(full_render_region(40, 10, 10, 30, 4, 64, 48).empty());
    EXPECT_TRUE(full_render_region(0, 30, 64, 10, 4, 64, 48).empty());
    EXPECT_TRUE(full_render_region(0, 0, 64, 48, 4, 0, 0).empty());
    // Growth can reach back into the layer from just outside it.
    expect_region(full_render_region(66, 0, 80, 48, 10, 64, 48), 61, 0, 3, 48);
}

}  // namespace
