// A whole render called as a library function, with a host of the test's own: what it asks of
// the host, what it answers, and that it holds nothing once it returns.
#include "render/render_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_failures.h"
#include "platform/allocation.h"

namespace {

using render::LayerPicture;
using render::OutputPicture;
using render::RenderOutcome;
using render::RenderStatus;

constexpr int kWidth = 24;
constexpr int kHeight = 16;
constexpr int kPixelBytes = 4;

// 8-bit pictures in plain vectors, and a host that records what it was asked.
struct Frames {
    std::vector<uint8_t> layer = std::vector<uint8_t>(kWidth * kHeight * kPixelBytes);
    std::vector<uint8_t> distances = std::vector<uint8_t>(kWidth * kHeight * kPixelBytes);
    std::vector<uint8_t> output = std::vector<uint8_t>(kWidth * kHeight * kPixelBytes, 7);

    Frames() {
        for (std::size_t i = 0; i < layer.size(); ++i) {
            layer[i] = static_cast<uint8_t>(i % kPixelBytes == 0 ? 255 : (i * 37) % 251);
        }
        for (int p = 0; p < kWidth * kHeight; ++p) {
            distances[static_cast<std::size_t>(p) * kPixelBytes + 1] =
                static_cast<uint8_t>(p % 256);
        }
    }
    template <class Picture, class Bytes>
    static Picture picture(Bytes& bytes) {
        Picture picture;
        picture.pixels.data = bytes.data();
        picture.pixels.rowbytes = kWidth * kPixelBytes;
        picture.width = kWidth;
        picture.height = kHeight;
        return picture;
    }
};

class RecordingHost : public render::RenderHost {
  public:
    explicit RecordingHost(Frames& frames) : frames_(frames) {}

    int progress(int, int) override { return ++progress_calls == cancel_at ? 1 : 0; }
    int copy_layer_to_output() override {
        ++copies;
        if (copy_refusal == 0) {
            frames_.output = frames_.layer;
        }
        return copy_refusal;
    }
    std::optional<LayerPicture> lend_distance_layer() override {
        ++lends;
        if (!lend) {
            return std::nullopt;
        }
        return Frames::picture<LayerPicture>(std::as_const(frames_.distances));
    }
    void keep_distance_map(const uint8_t* map, int32_t width, int32_t height) override {
        kept_map = map != nullptr;
        kept_width = width;
        kept_height = height;
    }
    uint8_t kept_distance(int32_t, int32_t) override { return 0; }

    int cancel_at = -1;
    int copy_refusal = 0;
    bool lend = true;
    int progress_calls = 0;
    int copies = 0;
    int lends = 0;
    bool kept_map = false;
    int32_t kept_width = 0;
    int32_t kept_height = 0;

  private:
    Frames& frames_;
};

class RenderFrameTest : public ::testing::Test {
  protected:
    RenderFrameTest() {
        request_.bokeh_amount = 6.0;
        request_.quality = 2;
        request_.distance_layer = true;
        request_.focus_distance = 100.0;
    }

    RenderOutcome render(RecordingHost& host) {
        const render::ExtentHint extent{0, 0, kWidth, kHeight};
        return render::render_frame(request_,
                                    Frames::picture<LayerPicture>(std::as_const(frames_.layer)),
                                    extent, render::ShapeChoice{QB_PLUGIN_DIR "/pattern", "circle"},
                                    Frames::picture<OutputPicture>(frames_.output), host);
    }

    Frames frames_;
    render::RenderRequest request_;
};

TEST_F(RenderFrameTest, RendersWithTheLentDistanceLayerAndKeepsItsMapForTheHost) {
    const int held_before = platform::live_allocations();
    RecordingHost host(frames_);
    const RenderOutcome outcome = render(host);
    EXPECT_EQ(outcome.status, RenderStatus::kDone) << outcome.message;
    EXPECT_TRUE(outcome.message.empty());
    EXPECT_EQ(host.lends, 1);
    EXPECT_TRUE(host.kept_map);
    EXPECT_EQ(host.kept_width, kWidth);
    EXPECT_EQ(host.kept_height, kHeight);
    EXPECT_GT(host.progress_calls, 2);
    EXPECT_NE(frames_.output, frames_.layer);
    EXPECT_EQ(platform::live_allocations(), held_before);
}

TEST_F(RenderFrameTest, EveryWayOutLeavesNothingHeldAndSaysWhy) {
    const int held_before = platform::live_allocations();
    // A cancel at each of the first progress calls, inside the passes included.
    for (int cancel_at = 1; cancel_at <= 6; ++cancel_at) {
        SCOPED_TRACE(cancel_at);
        RecordingHost host(frames_);
        host.cancel_at = cancel_at;
        EXPECT_EQ(render(host).status, RenderStatus::kCancelled);
        EXPECT_EQ(platform::live_allocations(), held_before);
    }
    // A copy the host refuses comes back with the host's own code.
    request_.preview_only = true;
    request_.preview_x = kWidth / 2;
    request_.preview_y = kHeight / 2;
    request_.preview_size = 8;
    RecordingHost refusing(frames_);
    refusing.copy_refusal = 42;
    const RenderOutcome refused = render(refusing);
    EXPECT_EQ(refused.status, RenderStatus::kHostRefused);
    EXPECT_EQ(refused.host_code, 42);
    EXPECT_EQ(refused.message, "[Quillbloom8.0] The host could not copy the layer to the output");
    // A shape folder that does not exist.
    request_.preview_only = false;
    RecordingHost host(frames_);
    const RenderOutcome no_shape =
        render::render_frame(request_, Frames::picture<LayerPicture>(std::as_const(frames_.layer)),
                             render::ExtentHint{0, 0, kWidth, kHeight},
                             render::ShapeChoice{QB_PLUGIN_DIR "/pattern", "no such shape"},
                             Frames::picture<OutputPicture>(frames_.output), host);
    EXPECT_EQ(no_shape.status, RenderStatus::kRequestError);
    EXPECT_EQ(no_shape.message,
              "[Quillbloom8.0] Shape File for Requested MaxEffect NOT available  ");
    EXPECT_EQ(platform::live_allocations(), held_before);
}

TEST_F(RenderFrameTest, ALayerTheHostCannotLendRendersAsWithoutOne) {
    RecordingHost without(frames_);
    without.lend = false;
    ASSERT_EQ(render(without).status, RenderStatus::kDone);
    const std::vector<uint8_t> unlent = frames_.output;
    EXPECT_FALSE(without.kept_map);

    request_.distance_layer = false;
    RecordingHost none(frames_);
    ASSERT_EQ(render(none).status, RenderStatus::kDone);
    EXPECT_EQ(none.lends, 0);
    EXPECT_EQ(frames_.output, unlent);
}

TEST(EngineFailures, ReachTheRenderAsCancelMemoryOrRequestErrors) {
    EXPECT_EQ(render::status_of_engine_failure(0), RenderStatus::kDone);
    EXPECT_EQ(render::status_of_engine_failure(engine_failure::kCancelled),
              RenderStatus::kCancelled);
    for (const int32_t code :
         {engine_failure::kPatternMemory, engine_failure::kResizeMemory,
          engine_failure::kSmearMemory, engine_failure::kStampMemory, engine_failure::kStampHeld,
          engine_failure::kLightRowsMemory, engine_failure::kSourceMemory,
          engine_failure::kSourceHeld, engine_failure::kStampTooTall}) {
        EXPECT_EQ(render::status_of_engine_failure(code), RenderStatus::kOutOfMemory) << code;
    }
    for (const int32_t code : {engine_failure::kSourceGeometry, engine_failure::kIrisGeometry,
                               engine_failure::kLevelsOutOfRange, -3, 99}) {
        EXPECT_EQ(render::status_of_engine_failure(code), RenderStatus::kRequestError) << code;
    }
}

}  // namespace
