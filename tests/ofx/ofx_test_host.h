// A minimal OpenFX host for tests: it loads a plug-in bundle's binary with dlopen, as a
// compositor does, answers the suites an image effect uses, and drives the actions in the
// standard's order: load, describe, describe in a context, create an instance, and per frame the
// regions, the sequence brackets and the render.
//
// Pictures travel as top-down rows of four (or three) channels; the host hands them to the
// plug-in bottom-up, as the standard lays images out, the source with negative row bytes and the
// output with positive ones, so that both ways of walking rows are used. Properties are strict
// (property_store.h); every image the plug-in fetches is counted until it is released.
#ifndef QB_TESTS_OFX_OFX_TEST_HOST_H
#define QB_TESTS_OFX_OFX_TEST_HOST_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ofx/api/ofx_api.h"
#include "tests/ofx/property_store.h"

namespace ofx_test {

// A picture in one of the standard's pixel depths, rows top-down, channels interleaved.
struct Picture {
    std::string depth = kOfxBitDepthByte;  // byte, short or float
    int channels = 4;                      // 4: RGBA, 3: RGB
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bytes;

    std::size_t sample_bytes() const;
    std::size_t row_bytes() const {
        return static_cast<std::size_t>(width) * channels * sample_bytes();
    }
    // Sample c of pixel (x, y), y counted from the top, as a double.
    double sample(int x, int y, int c) const;
    void set_sample(int x, int y, int c, double value);
    static Picture blank(const std::string& depth, int channels, int width, int height);
};

struct Param {
    std::string type;
    PropertySet props;
    std::vector<int> ints;        // integer, boolean and choice values
    std::vector<double> doubles;  // double values, one a dimension
    std::string text;
};

struct ParamSet {
    PropertySet props;
    std::map<std::string, std::unique_ptr<Param>> params;
    std::vector<std::string> order;
};

struct Clip {
    std::string name;
    PropertySet props;
    const Picture* picture = nullptr;  // what the clip holds; null: not connected
    Picture* output = nullptr;         // the output clip's picture
    double scale = 1.0;                // the render scale the picture is at
};

class OfxTestHost;

struct Effect {
    OfxTestHost* host = nullptr;
    PropertySet props;
    ParamSet params;
    std::map<std::string, std::unique_ptr<Clip>> clips;
    std::vector<std::string> clip_order;
    bool instance = false;
};

// One host with one plug-in binary loaded.
class OfxTestHost {
  public:
    // Loads `binary` (Contents/Linux-x86-64/NAME.ofx of a bundle), finds its first plug-in,
    // gives it the host, and sends load and describe. Failures are recorded in `error()`.
    explicit OfxTestHost(const std::string& binary);
    ~OfxTestHost();
    OfxTestHost(const OfxTestHost&) = delete;
    OfxTestHost& operator=(const OfxTestHost&) = delete;

    const std::string& error() const { return error_; }
    const OfxPlugin* plugin() const { return plugin_; }
    Effect& descriptor() { return descriptor_; }

    // The descriptor of the effect in `context`, made by describe-in-context; null when it fails.
    Effect* describe_in_context(const std::string& context);

    // An instance of the effect in `context`, its parameters at their defaults.
    Effect* create_instance(const std::string& context);
    OfxStatus destroy_instance(Effect* instance);

    void set_int(Effect& effect, const std::string& param, int value);
    void set_double(Effect& effect, const std::string& param, double value);
    void set_double2d(Effect& effect, const std::string& param, double x, double y);
    // A choice by the text of its option.
    void set_choice(Effect& effect, const std::string& param, const std::string& option);
    void connect(Effect& effect, const std::string& clip, const Picture* picture);

    struct RenderOutcome {
        OfxStatus status = kOfxStatOK;
        Picture output;
        OfxRectD source_roi{};  // what the plug-in asked of the Source clip
        OfxRectD rod{};         // the output's region of definition
    };
    // Renders frame 0 of `instance` at `scale`, the source pictures being at that scale already.
    RenderOutcome render(Effect& instance, double scale = 1.0);

    // Makes the progress suite answer "stop" from the `n`th update on (0: never), and the image
    // effect suite's abort likewise.
    void abort_at_progress(int n) { abort_at_ = n; }
    int progress_updates() const { return progress_updates_; }

    // Messages the plug-in posted: kind and text.
    struct Message {
        std::string kind;
        std::string text;
    };
    std::vector<Message> messages() const;
    // Images fetched and not yet released.
    int live_images() const { return live_images_; }
    // Memory-suite blocks not yet freed.
    int live_blocks() const { return live_blocks_; }

    // Suites answer for any host through these.
    static OfxTestHost& of(const Effect* effect) { return *effect->host; }
    OfxStatus call(const char* action, const void* handle, PropertySet* in, PropertySet* out);
    void post(const std::string& kind, const std::string& text);
    bool abort_requested();
    void count_image(int change) { live_images_ += change; }
    void count_block(int change) { live_blocks_ += change; }

  private:
    std::unique_ptr<Effect> new_effect(const Effect& from, bool instance);

    void* library_ = nullptr;
    OfxPlugin* plugin_ = nullptr;
    OfxHost host_{};
    PropertySet host_props_;
    Effect descriptor_;
    std::map<std::string, std::unique_ptr<Effect>> contexts_;
    std::vector<std::unique_ptr<Effect>> instances_;
    std::string error_;
    std::atomic<int> abort_at_{0};
    std::atomic<int> progress_updates_{0};
    std::atomic<int> live_images_{0};
    std::atomic<int> live_blocks_{0};
    mutable std::mutex messages_lock_;
    std::vector<Message> messages_;
};

}  // namespace ofx_test

#endif
