// Whole renders through the emulated host from hostile requests: any frame size up to a few
// hundred pixels, 8 or 16 bits, rows longer than their pixels, extent hints anywhere, any
// downsample factor (a zero denominator too), preview points and sizes, every control across and
// beyond its range, Distance Layers of another size or depth, shape folders with sizes missing,
// and cancels at any progress call. Whatever the request, the render answers with a code, holds
// nothing afterwards and leaves every layer checked in.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "fuzz/scratch_file.h"
#include "host/desktop_recorder.h"
#include "host/emulated_host.h"
#include "platform/allocation.h"
#include "plugin/effect_entry.h"

namespace {

namespace fs = std::filesystem;
using host::EmulatedHost;
using host::World;

constexpr int kUsualSide = 48;
constexpr int kLargestSide = 300;
// Rows may run past their pixels by whole pixels, as hosts pad them (keeping channels aligned).
constexpr int kLargestPaddingPixels = 16;
constexpr int kReachBeyondLayer = 80;

// Two plug-in folders: one with the whole shape library, one whose shape folders miss sizes,
// hold a damaged file or nothing at all.
struct Folders {
    fs::path whole;
    fs::path sparse;

    Folders() {
        const fs::path root =
            fuzz::scratch_folder() / ("qb_render_fuzz_" + std::to_string(getpid()));
        fs::remove_all(root);
        whole = root / "whole";
        sparse = root / "sparse";
        const fs::path library = fs::path(QB_PLUGIN_DIR) / "pattern";
        // Without the library every render would stop at its shape, and nothing past it be fuzzed.
        if (!fs::is_directory(library / "05")) {
            std::fprintf(stderr, "render_fuzz: no shape library in %s\n", library.c_str());
            std::abort();
        }
        fs::create_directories(whole);
        fs::create_directory_symlink(library, whole / "pattern");
        fs::create_directories(sparse / "pattern" / "05");
        fs::create_directories(sparse / "pattern" / "empty");
        fs::create_directories(sparse / "pattern" / "damaged");
        for (const char* size : {"15.tif", "511.tif"}) {
            fs::create_symlink(library / "05" / size, sparse / "pattern" / "05" / size);
        }
        std::ofstream(sparse / "pattern" / "damaged" / "63.tif") << "II*\0garbage";
    }
};

const Folders& folders() {
    static const Folders made;
    return made;
}

World::Depth pick_depth(FuzzedDataProvider& in) {
    constexpr World::Depth kDepths[] = {World::Depth::k8, World::Depth::k16, World::Depth::kFloat};
    return kDepths[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kDepths) - 1)];
}

// Any 32 bits as a float: NaN, infinities, negative, tiny and huge values are all hostile input.
float any_float(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int pick_side(FuzzedDataProvider& in) {
    const bool large = in.ConsumeIntegralInRange(0, 31) == 0;
    return in.ConsumeIntegralInRange(1, large ? kLargestSide : kUsualSide);
}

// Pixels from a seed, so that a short input still paints a whole frame.
void paint(World& world, uint32_t seed) {
    uint32_t state = seed | 1u;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            if (world.depth() == World::Depth::k8) {
                const uint32_t v = next();
                world.pixel8(x, y) = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 3),
                                      static_cast<uint8_t>(v >> 7), static_cast<uint8_t>(v >> 11)};
            } else if (world.depth() == World::Depth::kFloat) {
                // Mostly ordinary light, now and then any bit pattern at all.
                const auto light = [&] {
                    const uint32_t v = next();
                    return (v & 7u) == 0 ? any_float(v * 2654435761u)
                                         : static_cast<float>(v & 0xffffu) / 4096.0f;
                };
                world.pixel_float(x, y) = {light(), light(), light(), light()};
            } else {
                // 16-bit channels above white (32768) are part of the hostile input.
                world.pixel16(x, y) = {static_cast<uint16_t>(next()), static_cast<uint16_t>(next()),
                                       static_cast<uint16_t>(next()),
                                       static_cast<uint16_t>(next())};
            }
        }
    }
}

int padding(FuzzedDataProvider& in, World::Depth depth) {
    const int pixel_bytes = static_cast<int>(World::pixel_size(depth));
    return in.ConsumeIntegralInRange(0, kLargestPaddingPixels) * pixel_bytes;
}

std::unique_ptr<World> make_world(FuzzedDataProvider& in, int width, int height) {
    const World::Depth depth = pick_depth(in);
    auto world = std::make_unique<World>(width, height, depth, padding(in, depth));
    paint(*world, in.ConsumeIntegral<uint32_t>());
    return world;
}

// A fixed slider either inside a plausible range or any 16.16 value at all.
void set_fixed(EmulatedHost& effect, const char* name, FuzzedDataProvider& in, double low,
               double high) {
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        effect.param(name).u.fd.value = in.ConsumeIntegral<int32_t>();
    } else {
        effect.set_value(name, in.ConsumeFloatingPointInRange(low, high));
    }
}

void set_usual_or_any(EmulatedHost& effect, const char* name, FuzzedDataProvider& in,
                      const std::array<double, 4>& usual, double low, double high) {
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        set_fixed(effect, name, in, low, high);
    } else {
        effect.set_value(name, usual[in.ConsumeIntegralInRange<size_t>(0, usual.size() - 1)]);
    }
}

void set_integer(EmulatedHost& effect, const char* name, FuzzedDataProvider& in, int low,
                 int high) {
    effect.set_value(name, in.ConsumeIntegralInRange(low, high));
}

void set_point(EmulatedHost& effect, const char* name, FuzzedDataProvider& in) {
    PF_ParamDef& point = effect.param(name);
    point.u.td.x_value = in.ConsumeIntegral<int32_t>();
    point.u.td.y_value = in.ConsumeIntegral<int32_t>();
}

// Large frames get small discs and few steps: a 300-pixel disc on a 300-pixel frame is a render
// of a minute under the sanitizers, and the fuzzer would spend its time there. Small frames take
// anything.
void set_controls(EmulatedHost& effect, FuzzedDataProvider& in, bool small_frame) {
    set_integer(effect, "Iris Shape", in, -1, 10);
    set_fixed(effect, "On-Focus Distance", in, -20.0, 300.0);
    if (small_frame) {
        set_fixed(effect, "Bokeh Amount", in, 0.0, 30.0);
    } else {
        effect.set_value("Bokeh Amount", in.ConsumeFloatingPointInRange(0.0, 30.0));
    }
    // The light tables are made per hardness and brightness and kept while they stay the same;
    // a few usual values most of the time keep the fuzzer from remaking them for every input.
    set_usual_or_any(effect, "Hardness", in, {0.4, 1.0, 1.5, 2.0}, 0.0, 3.0);
    set_usual_or_any(effect, "Brightness", in, {0.4, 1.0, 3.0, 10.0}, 0.0, 12.0);
    set_integer(effect, "Preview Only", in, 0, 1);
    set_point(effect, "Preview Point", in);
    set_integer(effect, "Preview Size", in, -5, 400);
    set_integer(effect, "Preview Quality", in, -1, 7);
    set_integer(effect, "Quality", in, -1, 7);
    // Every step is a pass of its own: many steps are tried now and then, few most of the time.
    const bool small_disc =
        effect.value("Bokeh Amount") >= 0.0 && effect.value("Bokeh Amount") <= 30.0;
    if (small_frame && small_disc && in.ConsumeIntegralInRange(0, 7) == 0) {
        set_integer(effect, "Distance Precision", in, -3, 300);
    } else {
        set_integer(effect, "Distance Precision", in, 1, 12);
    }
    set_point(effect, "Focus Here", in);
}

void set_request(EmulatedHost& effect, FuzzedDataProvider& in, int width, int height) {
    effect.in_data().downsample_x = {in.ConsumeIntegralInRange<A_long>(-1, 4),
                                     in.ConsumeIntegralInRange<A_u_long>(0, 4)};
    effect.in_data().downsample_y = {in.ConsumeIntegralInRange<A_long>(-1, 4),
                                     in.ConsumeIntegralInRange<A_u_long>(0, 4)};
    if (in.ConsumeBool()) {
        auto coordinate = [&in](int side) {
            return in.ConsumeIntegralInRange(-kReachBeyondLayer, side + kReachBeyondLayer);
        };
        // Left may lie right of right, top below bottom.
        PF_Rect extent{};
        extent.left = static_cast<A_short>(coordinate(width));
        extent.top = static_cast<A_short>(coordinate(height));
        extent.right = static_cast<A_short>(coordinate(width));
        extent.bottom = static_cast<A_short>(coordinate(height));
        effect.set_extent_hint(extent);
    }
}

// Cancels at the progress call the input names, or never.
void set_cancel(EmulatedHost& effect, FuzzedDataProvider& in) {
    const int cancel_at = in.ConsumeIntegralInRange(-1, 40);
    auto calls = std::make_shared<int>(0);
    effect.set_progress([cancel_at, calls](A_long, A_long) { return (*calls)++ == cancel_at; });
}

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const fs::path& folder = in.ConsumeBool() ? folders().sparse : folders().whole;
    const int held_before = platform::live_allocations();
    {
        EmulatedHost effect(quillbloom_effect_main, (folder / "QuilAE.aex").string());
        const int width = pick_side(in);
        const int height = pick_side(in);
        effect.set_layer_size(width, height);
        if (effect.open_sequence() == PF_Err_NONE) {
            auto input = make_world(in, width, height);
            // Now and then an output of another size or depth than the layer.
            auto output = in.ConsumeIntegralInRange(0, 15) == 0
                              ? make_world(in, pick_side(in), pick_side(in))
                              : std::make_unique<World>(width, height, input->depth(),
                                                        padding(in, input->depth()));
            std::unique_ptr<World> distance;
            if (in.ConsumeBool()) {
                const bool same_size = in.ConsumeIntegralInRange(0, 3) != 0;
                distance = make_world(in, same_size ? width : pick_side(in),
                                      same_size ? height : pick_side(in));
                effect.set_layer("Distance Layer", distance.get());
            }
            set_controls(effect, in, std::max(width, height) <= kUsualSide);
            set_request(effect, in, width, height);
            const int renders = in.ConsumeIntegralInRange(1, 2);
            for (int r = 0; r < renders; ++r) {
                set_cancel(effect, in);
                effect.render(*input, *output);
                require(effect.layers_checked_out() == 0);
                require(effect.frame_setdown() == PF_Err_NONE);
                if (in.ConsumeBool()) {
                    set_point(effect, "Focus Here", in);
                    effect.user_changed_param("Focus Here");
                }
            }
        }
        effect.sequence_setdown();
        effect.global_setdown();
        require(effect.live_handles() == 0);
    }
    require(platform::live_allocations() == held_before);
    host::desktop_record().message_boxes.clear();
    return 0;
}
