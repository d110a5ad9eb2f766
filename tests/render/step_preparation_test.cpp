// Each step's source, work counts and blur mask: the hand-checkable example, and agreement with
// a plain whole-region transcription of the rules on random layers, step after step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "platform/allocation.h"
#include "render/step_mask.h"
#include "render/step_preparation.h"

namespace {

using render::ChannelDepth;
using render::DistanceStep;
using render::StepSource;
using render::StepWorkspace;

struct Layer {
    int width;
    int height;
    ChannelDepth depth;
    std::vector<uint8_t> pixels;  // ARGB, rows packed
    std::vector<uint8_t> distances;

    Layer(int w, int h, ChannelDepth d)
        : width(w),
          height(h),
          depth(d),
          pixels(static_cast<size_t>(w) * h * render::pixel_bytes(d), 0),
          distances(static_cast<size_t>(w) * h, 0) {}

    std::ptrdiff_t rowbytes() const {
        return static_cast<std::ptrdiff_t>(width * render::pixel_bytes(depth));
    }
    void set_alpha(int x, int y, int alpha) {
        uint8_t* p = &pixels[static_cast<size_t>(y) * rowbytes() + x * render::pixel_bytes(depth)];
        p[0] = static_cast<uint8_t>(alpha);
    }
    StepSource source(int step_count) const {
        StepSource s;
        s.input = render::ConstPixelRows{pixels.data(), rowbytes(), depth};
        s.distances = distances.data();
        s.distance_stride = width;
        s.width = width;
        s.height = height;
        s.step_count = step_count;
        return s;
    }
};

struct Prepared {
    std::vector<uint8_t> buffer;
    std::vector<uint8_t> mask;
    std::vector<int32_t> row_work;
};

// Prepares the steps in order on one workspace, as a render does, and keeps each step's result.
std::vector<Prepared> prepare_all(const Layer& layer, const std::vector<DistanceStep>& steps,
                                  int disc, bool with_distances = true) {
    StepWorkspace workspace;
    const char* failure = nullptr;
    EXPECT_TRUE(workspace.allocate(layer.width, layer.height, &failure));
    StepSource source = layer.source(static_cast<int>(steps.size()));
    if (!with_distances) {
        source.distances = nullptr;
    }
    render::measure_step_source(source, workspace);
    std::vector<uint8_t> buffer(layer.pixels.size(), 0xCD);
    std::vector<uint8_t> mask(static_cast<size_t>(layer.width) * layer.height, 0xCD);
    std::vector<Prepared> out;
    for (const DistanceStep& step : steps) {
        render::prepare_step(source, step, disc,
                             render::PixelRows{buffer.data(), layer.rowbytes(), layer.depth},
                             mask.data(), workspace);
        out.push_back(
            {buffer, mask,
             std::vector<int32_t>(workspace.row_work, workspace.row_work + layer.height)});
    }
    return out;
}

TEST(StepPreparation, OnePixelGrowsIntoTheMaskAndTheWorkCounts) {
    Layer layer(24, 20, ChannelDepth::k8);
    layer.set_alpha(10, 10, 255);
    layer.distances[10 * 24 + 10] = 5;
    const std::vector<DistanceStep> steps = {{0, 5, 2.0, 1.0}, {5, 6, 5.0, 7.0}};
    const Prepared p = prepare_all(layer, steps, 7)[1];
    // Before smoothing the mask is rows 7..13 of columns 7..14; smoothing keeps the core full.
    EXPECT_EQ(p.mask[10 * 24 + 10], 255);
    EXPECT_EQ(p.mask[8 * 24 + 8], 255);
    EXPECT_EQ(p.mask[10 * 24 + 16], 0);
    EXPECT_EQ(p.mask[10 * 24 + 15], 255 * 3 / 9);  // one column of three beside the block
    for (int y = 0; y < 20; ++y) {
        const int expected = y == 10 ? 1 : (y >= 7 && y <= 13 ? 8 : 0);
        EXPECT_EQ(p.row_work[y], expected) << "row " << y;
    }
}

TEST(StepPreparation, GrowthBeforeSmoothing) {
    std::vector<uint8_t> pixels(24 * 4, 0);
    pixels[10 * 4] = 255;
    std::vector<uint8_t> row(24, 0);
    render::grow_mask_row(pixels.data(), ChannelDepth::k8, 24, 3, render::Span{0, 24}, row.data());
    for (int x = 0; x < 24; ++x) {
        EXPECT_EQ(row[x], x >= 7 && x <= 14 ? 255 : 0) << x;
    }
    // Runs closer than their growth merge; a run touching the row's end grows only left.
    std::fill(pixels.begin(), pixels.end(), 0);
    pixels[2 * 4] = pixels[6 * 4] = pixels[23 * 4] = 9;
    std::fill(row.begin(), row.end(), 0);
    render::grow_mask_row(pixels.data(), ChannelDepth::k8, 24, 2, render::Span{0, 24}, row.data());
    for (int x = 0; x < 24; ++x) {
        EXPECT_EQ(row[x], x <= 9 || x >= 21 ? 255 : 0) << x;
    }
}

// Long runs, crossed many pixels at a time, end exactly where they end, in every depth, and
// alpha counts when only its last byte is set.
TEST(StepPreparation, GrowthFindsTheEdgesOfLongRunsInEveryDepth) {
    std::mt19937 rng(5);
    constexpr int32_t kWidth = 301;
    for (const ChannelDepth depth : {ChannelDepth::k8, ChannelDepth::k16, ChannelDepth::kFloat}) {
        const size_t pixel = render::pixel_bytes(depth);
        const size_t alpha_bytes = pixel / 4;
        for (const int32_t half : {0, 2, 40}) {
            SCOPED_TRACE(testing::Message()
                         << render::pixel_bytes(depth) << " bytes, half " << half);
            std::vector<uint8_t> pixels(kWidth * pixel, 0);
            std::vector<bool> occupied(kWidth, false);
            // Runs and gaps of 1 to 80 pixels between columns 5 and 290.
            const render::Span columns{5, 290};
            for (int32_t x = columns.first; x < columns.end;) {
                const int32_t run = 1 + static_cast<int32_t>(rng() % 80);
                const bool opaque = rng() % 2 == 0;
                for (int32_t i = x; i < std::min(x + run, columns.end); ++i) {
                    occupied[i] = opaque;
                    // Colour everywhere, alpha only where occupied.
                    pixels[i * pixel + alpha_bytes] = 200;
                    pixels[i * pixel + alpha_bytes - 1] = opaque ? 1 : 0;
                }
                x += run;
            }
            std::vector<uint8_t> expected(kWidth, 0);
            for (int32_t x = 0; x < kWidth; ++x) {
                if (occupied[x]) {
                    std::fill(expected.begin() + std::max(0, x - half),
                              expected.begin() + std::min(x + half + 2, kWidth), 255);
                }
            }
            std::vector<uint8_t> row(kWidth, 0);
            render::grow_mask_row(pixels.data(), depth, kWidth, half, columns, row.data());
            EXPECT_EQ(row, expected);
        }
    }
}

TEST(StepPreparation, TransparentPixelsAreCopiedButDoNotOccupy) {
    Layer layer(8, 4, ChannelDepth::k8);
    uint8_t* p = &layer.pixels[(1 * 8 + 3) * 4];
    p[0] = 0;
    p[1] = 90;
    p[2] = 91;
    p[3] = 92;
    layer.distances[1 * 8 + 3] = 1;
    const Prepared prepared = prepare_all(layer, {{0, 1, 0.0, 1.0}, {1, 2, 1.0, 5.0}}, 5)[1];
    EXPECT_EQ(std::vector<uint8_t>(prepared.buffer.begin() + (1 * 8 + 3) * 4,
                                   prepared.buffer.begin() + (1 * 8 + 4) * 4),
              (std::vector<uint8_t>{0, 90, 91, 92}));
    EXPECT_EQ(prepared.row_work[1], 1);
    EXPECT_TRUE(
        std::all_of(prepared.mask.begin(), prepared.mask.end(), [](uint8_t m) { return m == 0; }));
}

TEST(StepPreparation, OneStepTakesEveryPixelAtFullWeight) {
    Layer layer(9, 5, ChannelDepth::k16);
    std::mt19937 rng(3);
    for (uint8_t& b : layer.pixels) {
        b = static_cast<uint8_t>(rng() & 0x7F);
    }
    const Prepared p = prepare_all(layer, {{0, 256, 128.0, 21.0}}, 21, false)[0];
    EXPECT_EQ(p.buffer, layer.pixels);
    EXPECT_TRUE(std::all_of(p.mask.begin(), p.mask.end(), [](uint8_t m) { return m == 255; }));
    EXPECT_TRUE(
        std::all_of(p.row_work.begin(), p.row_work.end(), [](int32_t w) { return w == 9; }));
}

TEST(StepPreparation, SixteenBitChannelsAboveWhiteCountAsWhite) {
    Layer layer(2, 1, ChannelDepth::k16);
    const uint16_t bright[4] = {65535, 40000, 32768, 7};
    std::memcpy(layer.pixels.data(), bright, sizeof bright);
    const Prepared p = prepare_all(layer, {{0, 256, 128.0, 3.0}}, 3, false)[0];
    uint16_t copied[4];
    std::memcpy(copied, p.buffer.data(), sizeof copied);
    EXPECT_EQ(copied[0], 32768);
    EXPECT_EQ(copied[1], 32768);
    EXPECT_EQ(copied[2], 32768);
    EXPECT_EQ(copied[3], 7);
}

// The rules of step extraction, growth and smoothing over the whole region, column by column,
// as plainly as they can be written.
Prepared plain_step(const Layer& layer, const DistanceStep& step, int disc, int step_count) {
    const int w = layer.width;
    const int h = layer.height;
    const size_t bytes = render::pixel_bytes(layer.depth);
    Prepared p{std::vector<uint8_t>(layer.pixels.size(), 0), std::vector<uint8_t>(w * h, 0),
               std::vector<int32_t>(h, 0)};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (step.contains(layer.distances[y * w + x])) {
                std::memcpy(&p.buffer[(y * w + x) * bytes], &layer.pixels[(y * w + x) * bytes],
                            bytes);
                ++p.row_work[y];
            }
        }
    }
    if (step_count == 1) {
        std::fill(p.mask.begin(), p.mask.end(), 255);
        return p;
    }
    const int half = disc / 2;
    const auto occupied = [&](int x, int y) {
        const uint8_t* a = &p.buffer[(y * w + x) * bytes];
        return a[0] != 0 || (bytes == 8 && a[1] != 0);
    };
    for (int y = 0; y < h; ++y) {
        bool inside = false;
        int countdown = 0;
        uint8_t* m = &p.mask[y * w];
        for (int x = 0; x < w; ++x) {
            const bool occ = occupied(x, y);
            if (occ && inside) {
                m[x] = 255;
            } else if (occ) {
                inside = true;
                if (countdown == 0) {
                    for (int i = x; i >= std::max(0, x - half); --i)
                        m[i] = 255;
                }
            } else if (inside) {
                inside = false;
                const int end = std::min(x + half + 1, w);
                for (int i = x; i < end; ++i)
                    m[i] = 255;
                countdown = end - x;
            }
            if (countdown > 0)
                --countdown;
        }
    }
    std::vector<int> scratch(h);
    for (int c = 0; c < w; ++c) {
        std::fill(scratch.begin(), scratch.end(), 0);
        bool inside = false;
        int countdown = 0;
        for (int y = 0; y < h; ++y) {
            const bool full = p.mask[y * w + c] == 255;
            if (full && !inside) {
                inside = true;
                if (countdown == 0) {
                    for (int i = y - 1; i >= std::max(0, y - half); --i) {
                        scratch[i] = 255;
                        ++p.row_work[i];
                    }
                }
            } else if (!full && inside) {
                inside = false;
                const int end = std::min(y + half, h);
                for (int i = y; i < end; ++i) {
                    scratch[i] = 255;
                    ++p.row_work[i];
                }
                countdown = end - y;
            }
            if (countdown > 0)
                --countdown;
        }
        for (int y = 0; y < h; ++y) {
            if (scratch[y] == 255)
                p.mask[y * w + c] = 255;
        }
    }
    std::vector<uint8_t> smoothed(p.mask.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int sum = 0, count = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    if (y + dy >= 0 && y + dy < h && x + dx >= 0 && x + dx < w) {
                        sum += p.mask[(y + dy) * w + x + dx];
                        ++count;
                    }
                }
            }
            smoothed[y * w + x] = static_cast<uint8_t>(sum / count);
        }
    }
    p.mask = smoothed;
    return p;
}

// What the engine reads of a step: the mask of rows with work, and the buffer within half a
// disc of them.
void expect_same_where_read(const Layer& layer, const Prepared& fast, const Prepared& plain,
                            int half) {
    const size_t row_bytes = layer.width * render::pixel_bytes(layer.depth);
    ASSERT_EQ(fast.row_work, plain.row_work);
    for (int y = 0; y < layer.height; ++y) {
        bool near_work = false;
        for (int r = std::max(0, y - half); r <= std::min(layer.height - 1, y + half); ++r) {
            near_work = near_work || plain.row_work[r] > 0;
        }
        if (!near_work) {
            continue;
        }
        SCOPED_TRACE(y);
        EXPECT_TRUE(std::equal(fast.buffer.begin() + y * row_bytes,
                               fast.buffer.begin() + (y + 1) * row_bytes,
                               plain.buffer.begin() + y * row_bytes));
        if (plain.row_work[y] == 0) {
            continue;
        }
        EXPECT_TRUE(std::equal(fast.mask.begin() + y * layer.width,
                               fast.mask.begin() + (y + 1) * layer.width,
                               plain.mask.begin() + y * layer.width));
    }
}

TEST(StepPreparation, StepsAgreeWithThePlainRulesOnRandomLayers) {
    std::mt19937 rng(11);
    struct Shape {
        int width, height, disc;
        ChannelDepth depth;
    };
    const std::vector<Shape> shapes = {
        {37, 29, 7, ChannelDepth::k8},
        {23, 41, 11, ChannelDepth::k16},
        {1, 17, 5, ChannelDepth::k8},
        {19, 1, 9, ChannelDepth::k8},
        {2, 2, 3, ChannelDepth::k16},
        {30, 30, 1, ChannelDepth::k8},
        {41, 23, 5, ChannelDepth::k8},
        {45, 33, 9, ChannelDepth::k8},
        {31, 37, 3, ChannelDepth::k16},
        // Boxes large enough to be shared among threads, one for each layout.
        {600, 130, 9, ChannelDepth::k8},
        {300, 260, 15, ChannelDepth::k16},
        {520, 140, 7, ChannelDepth::k8}};
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(testing::Message()
                     << shape.width << "x" << shape.height << " D " << shape.disc);
        Layer layer(shape.width, shape.height, shape.depth);
        for (size_t i = 0; i < layer.pixels.size(); ++i) {
            layer.pixels[i] = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng());
            // 16-bit channels stay at or below white (the high byte of each below 0x80).
            if (shape.depth == ChannelDepth::k16 && i % 2 == 1) {
                layer.pixels[i] &= 0x7F;
            }
        }
        // Bands of rows with noise (steps reach every column of some rows), bands of columns
        // (steps reach some columns of every row), and blocks (steps hold boxes).
        const auto layout = static_cast<int>(&shape - shapes.data()) % 3;
        for (int y = 0; y < layer.height; ++y) {
            for (int x = 0; x < layer.width; ++x) {
                int distance = ((x / 7 + y / 5) % 4) * 60 + 30;
                if (layout == 0) {
                    distance =
                        rng() % 5 == 0 ? static_cast<int>(rng() % 256) : (y * 256) / layer.height;
                } else if (layout == 1) {
                    distance = (x * 256) / layer.width;
                }
                layer.distances[y * layer.width + x] = static_cast<uint8_t>(distance);
            }
        }
        const std::vector<DistanceStep> steps = {{0, 40, 20.0, 3.0},
                                                 {40, 41, 40.0, 5.0},
                                                 {41, 41, 0.0, 0.0},
                                                 {41, 200, 120.0, 9.0},
                                                 {200, 256, 227.5, 4.0}};
        const std::vector<Prepared> fast = prepare_all(layer, steps, shape.disc);
        for (size_t s = 0; s < steps.size(); ++s) {
            SCOPED_TRACE(s);
            expect_same_where_read(
                layer, fast[s],
                plain_step(layer, steps[s], shape.disc, static_cast<int>(steps.size())),
                shape.disc / 2);
        }
    }
}

void smooth_alone(std::vector<uint8_t>& mask, int32_t width, int32_t height,
                  StepWorkspace& workspace) {
    platform::run_team(1, [&](platform::RowTeam& team) {
        const render::BandParts parts({0, height}, 1, workspace.part_owners());
        parts.take(team, [](render::Span) {});
        render::smooth_mask(team, parts, mask.data(), width, height, width, {0, height}, {0, width},
                            workspace);
    });
}

TEST(StepPreparation, SmoothingIsTheMeanOfTheNeighboursInside) {
    StepWorkspace workspace;
    const char* failure = nullptr;
    ASSERT_TRUE(workspace.allocate(3, 3, &failure));
    std::vector<uint8_t> mask = {255, 0, 0, 0, 0, 0, 0, 0, 90};
    smooth_alone(mask, 3, 3, workspace);
    EXPECT_EQ(mask, (std::vector<uint8_t>{63, 42, 0, 42, 38, 15, 0, 15, 22}));
    // A region of one pixel keeps it; one row averages along it.
    std::vector<uint8_t> one = {200};
    smooth_alone(one, 1, 1, workspace);
    EXPECT_EQ(one[0], 200);
    std::vector<uint8_t> row = {255, 0, 255};
    smooth_alone(row, 3, 1, workspace);
    EXPECT_EQ(row, (std::vector<uint8_t>{127, 170, 127}));
}

TEST(StepPreparation, EachRefusedWorkspaceTableIsNamedAndNothingIsHeld) {
    const char* const texts[] = {"QB8.0(Render): not enough memory for row work",
                                 "QB8.0(Render): not enough memory for row distances",
                                 "QB8.0(Render): not enough memory for column distances",
                                 "QB8.0(Render): not enough memory for row marks",
                                 "QB8.0(Render): not enough memory for mask scratch",
                                 "QB8.0(Render): not enough memory for column scratch",
                                 "QB8.0(Render): not enough memory for column sums"};
    for (int refused = 0; refused < 7; ++refused) {
        SCOPED_TRACE(refused);
        StepWorkspace workspace;
        const char* failure = nullptr;
        platform::refuse_allocation_after(refused);
        EXPECT_FALSE(workspace.allocate(5, 4, &failure));
        platform::refuse_allocation_after(-1);
        EXPECT_STREQ(failure, texts[refused]);
        EXPECT_EQ(workspace.row_work, nullptr);
        EXPECT_EQ(workspace.column_sums, nullptr);
        EXPECT_EQ(workspace.mask_scratch, nullptr);
    }
}

}  // namespace
