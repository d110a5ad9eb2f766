// Renders a long series of requests in one process through the emulated host, with the module
// linked in so that its allocations can be counted and refused: varied sizes, depths, Distance
// Layers, controls, shapes, previews and downsampling, with refused allocations, cancels and
// mismatched output worlds among them. Every 97th request repeats an earlier one.
//
//   soak [RENDERS]      (default 1000)
//
// Fails (exit 1, saying why) when a render answers other than its request calls for, when
// frame set-down is not quiet or leaves anything allocated, when a repeated request gives other
// pixels, or when resident memory grows by more than 1 MB after the first 50 renders. Prints
// the resident memory along the way.
#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

#include "host/emulated_host.h"
#include "platform/allocation.h"
#include "plugin/effect_entry.h"

namespace {

namespace fs = std::filesystem;
using host::EmulatedHost;
using host::World;

constexpr int kDefaultRenders = 1000;
constexpr int kDistinctRequests = 97;
constexpr int kSettledAfter = 50;
constexpr long kAllowedGrowthBytes = 1 << 20;

// The C library raises its threshold for taking blocks from the system each time it gives a large
// one back, and then keeps up to twice as much in its own heap: the transform library's work
// space, freed after every large-disc pass, left a megabyte more or less resident from render to
// render without anything being held. Fixing the threshold keeps resident memory to what is
// held, which is what the soak watches.
constexpr int kLargeBlockBytes = 128 * 1024;
constexpr int kShapes = 7;

// AddressSanitizer keeps freed memory aside to catch late uses, so resident memory says nothing
// of leaks there (it finds them itself).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentMemoryMeaningful = false;
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif

enum class Fault { kNone, kRefusedAllocation, kCancel, kMismatchedOutput };
constexpr int kFaultKinds = 4;

struct Request {
    int width = 0;
    int height = 0;
    World::Depth depth = World::Depth::k8;
    int distance_layer = 0;  // 0: none, 1: 8-bit, 2: 16-bit
    double amount = 0.0;
    double focus = 0.0;
    double hardness = 1.0;
    double brightness = 1.0;
    int quality = 1;
    int precision = 10;
    int shape = 1;
    bool preview = false;
    int preview_size = 20;
    int downsample = 1;
    Fault fault = Fault::kNone;
    int fault_at = 0;  // the allocation refused, or the progress call that cancels
};

Request request_for(int seed) {
    std::mt19937 rng(static_cast<uint32_t>(seed));
    auto pick = [&rng](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    Request r;
    r.width = pick(8, 180);
    r.height = pick(8, 140);
    r.depth = pick(0, 1) ? World::Depth::k16 : World::Depth::k8;
    r.distance_layer = pick(0, 2);
    r.amount = pick(0, 40);
    r.focus = pick(0, 255);
    r.hardness = 0.4 + pick(0, 16) / 10.0;
    r.brightness = 0.4 + pick(0, 40) / 10.0;
    r.quality = pick(1, 5);
    r.precision = pick(1, 40);
    r.shape = pick(1, kShapes);
    r.preview = pick(0, 4) == 0;
    r.preview_size = pick(20, 120);
    r.downsample = pick(0, 3) == 0 ? 2 : 1;
    switch (pick(0, 9)) {
        case 0:
            r.fault = Fault::kRefusedAllocation;
            r.fault_at = pick(0, 14);
            break;
        case 1:
            r.fault = Fault::kCancel;
            r.fault_at = pick(1, 30);
            break;
        case 2:
            r.fault = Fault::kMismatchedOutput;
            break;
        default:
            break;
    }
    return r;
}

// A textured picture with bright points, different for every seed.
void paint(World& world, int seed) {
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            const bool light = (x * 7 + y * 3 + seed) % 29 == 0;
            const int grain = (x * 13 + y * 7 + seed * 5) % 97;
            const int level8[4] = {x % 23 == 0 ? 128 : 255, light ? 255 : 40 + grain,
                                   light ? 250 : 60 + (y * 2) % 90, light ? 240 : 30 + x % 120};
            if (world.depth() == World::Depth::k8) {
                world.pixel8(x, y) = {
                    static_cast<uint8_t>(level8[0]), static_cast<uint8_t>(level8[1]),
                    static_cast<uint8_t>(level8[2]), static_cast<uint8_t>(level8[3])};
            } else {
                auto deep = [](int level) { return static_cast<uint16_t>(level * 32768 / 255); };
                world.pixel16(x, y) = {deep(level8[0]), deep(level8[1]), deep(level8[2]),
                                       deep(level8[3])};
            }
        }
    }
}

World distance_layer(const Request& r) {
    World layer(r.width, r.height, r.distance_layer == 2 ? World::Depth::k16 : World::Depth::k8, 8);
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x) {
            const int distance = (x * 255 / r.width + y * 64 / r.height) % 256;
            if (layer.depth() == World::Depth::k8) {
                layer.pixel8(x, y).red = static_cast<uint8_t>(distance);
            } else {
                layer.pixel16(x, y).red = static_cast<uint16_t>(distance * 32768 / 255);
            }
        }
    }
    return layer;
}

uint64_t digest(const World& world) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    const int pixel_bytes = world.depth() == World::Depth::k16 ? 8 : 4;
    const auto* bytes = static_cast<const uint8_t*>(const_cast<World&>(world).def().data);
    for (int y = 0; y < world.height(); ++y) {
        const uint8_t* row = bytes + static_cast<std::ptrdiff_t>(y) * world.rowbytes();
        for (int i = 0; i < world.width() * pixel_bytes; ++i) {
            hash = (hash ^ row[i]) * 1099511628211ull;
        }
    }
    return hash;
}

long resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

[[noreturn]] void fail(int render, const std::string& why) {
    std::fprintf(stderr, "soak: render %d: %s\n", render, why.c_str());
    std::exit(1);
}

void set_controls(EmulatedHost& effect, const Request& r) {
    effect.set_layer_size(r.width, r.height);
    effect.set_downsample(1, static_cast<A_u_long>(r.downsample));
    effect.set_value("Iris Shape", r.shape);
    effect.set_value("Bokeh Amount", r.amount);
    effect.set_value("On-Focus Distance", r.focus);
    effect.set_value("Hardness", r.hardness);
    effect.set_value("Brightness", r.brightness);
    effect.set_value("Quality", r.quality);
    effect.set_value("Preview Quality", r.quality);
    effect.set_value("Distance Precision", r.precision);
    effect.set_value("Preview Only", r.preview ? 1 : 0);
    effect.set_point("Preview Point", r.width / 2.0, r.height / 2.0);
    effect.set_value("Preview Size", r.preview_size);
}

// What the render must answer: faults each have theirs, every other request renders.
bool answer_expected(const Request& r, PF_Err err) {
    switch (r.fault) {
        case Fault::kNone:
            return err == PF_Err_NONE;
        case Fault::kMismatchedOutput:
            return err == PF_Err_INVALID_INDEX;
        case Fault::kCancel:
            // A render may finish before the progress call that would cancel it.
            return err == PF_Interrupt_CANCEL || err == PF_Err_NONE;
        case Fault::kRefusedAllocation:
            return true;  // out of memory, or a render that needed fewer allocations
    }
    return false;
}

class Soak {
  public:
    explicit Soak(const fs::path& folder)
        : effect_(quillbloom_effect_main, (folder / "QuilAE.aex").string()) {
        effect_.set_layer_size(64, 64);
        if (effect_.open_sequence() != PF_Err_NONE) {
            fail(0, "the module did not open a sequence");
        }
    }

    void render(int index) {
        const int seed = index % kDistinctRequests;
        const Request r = request_for(seed);
        set_controls(effect_, r);
        World input(r.width, r.height, r.depth, 16);
        paint(input, seed);
        World output = r.fault == Fault::kMismatchedOutput ? World(r.width + 1, r.height, r.depth)
                                                           : World(r.width, r.height, r.depth, 4);
        std::unique_ptr<World> distance;
        if (r.distance_layer != 0) {
            distance = std::make_unique<World>(distance_layer(r));
        }
        effect_.set_layer("Distance Layer", distance.get());
        int calls = 0;
        effect_.set_progress([&](A_long, A_long) {
            return r.fault == Fault::kCancel && ++calls == r.fault_at ? 1 : 0;
        });
        if (r.fault == Fault::kRefusedAllocation) {
            platform::refuse_allocation_after(r.fault_at);
        }
        const PF_Err err = effect_.render(input, output);
        platform::refuse_allocation_after(-1);
        if (!answer_expected(r, err)) {
            fail(index, "answered " + std::to_string(err) + ": " + effect_.out_data().return_msg);
        }
        check_set_down(index);
        ++faults_[static_cast<int>(r.fault)];
        failed_ += err != PF_Err_NONE ? 1 : 0;
        if (r.fault == Fault::kNone) {
            check_repeatable(index, seed, digest(output));
        }
    }

    void print_counts() const {
        std::printf(
            "faults injected: %d refused allocations, %d cancels, %d mismatched outputs; "
            "%d renders failed as asked\n",
            faults_[static_cast<int>(Fault::kRefusedAllocation)],
            faults_[static_cast<int>(Fault::kCancel)],
            faults_[static_cast<int>(Fault::kMismatchedOutput)], failed_);
    }

  private:
    void check_set_down(int index) {
        if (effect_.frame_setdown() != PF_Err_NONE) {
            fail(index,
                 std::string("frame set-down was not quiet: ") + effect_.out_data().return_msg);
        }
        if (effect_.layers_checked_out() != 0) {
            fail(index, "a layer stayed checked out");
        }
        // Between renders the module keeps the shape image it loaded, and nothing else.
        if (platform::live_allocations() > kHeldBetweenRenders) {
            fail(index, std::to_string(platform::live_allocations()) + " allocations held");
        }
    }

    void check_repeatable(int index, int seed, uint64_t pixels) {
        const auto [earlier, first] = digests_.emplace(seed, pixels);
        if (!first && earlier->second != pixels) {
            fail(index, "request " + std::to_string(seed) + " gave other pixels than before");
        }
    }

    static constexpr int kHeldBetweenRenders = 1;
    EmulatedHost effect_;
    std::map<int, uint64_t> digests_;
    int faults_[kFaultKinds] = {};
    int failed_ = 0;
};

// A plug-in folder of the run's own, holding the built shape library.
fs::path make_plugin_folder() {
    const fs::path folder = fs::temp_directory_path() / ("qb_soak_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::create_directory_symlink(fs::path(QB_PLUGIN_DIR) / "pattern", folder / "pattern");
    return folder;
}

bool reported_at(int render, int renders) {
    return render == 1 || render == kSettledAfter || render % 250 == 0 || render == renders;
}

}  // namespace

int main(int argc, char** argv) {
    const int renders = argc > 1 ? std::atoi(argv[1]) : kDefaultRenders;
    if (renders < 1) {
        std::fprintf(stderr, "usage: soak [RENDERS]\n");
        return 2;
    }
    mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
    const fs::path folder = make_plugin_folder();
    long settled = 0;
    {
        Soak soak(folder);
        for (int i = 1; i <= renders; ++i) {
            soak.render(i - 1);
            const long resident = resident_bytes();
            if (i == kSettledAfter) {
                settled = resident;
            }
            if (reported_at(i, renders)) {
                std::printf("after render %4d: resident %.2f MB\n", i, resident / 1048576.0);
            }
            if (kResidentMemoryMeaningful && i > kSettledAfter &&
                resident - settled > kAllowedGrowthBytes) {
                std::fprintf(stderr, "soak: resident memory grew by %.2f MB after render %d\n",
                             (resident - settled) / 1048576.0, kSettledAfter);
                return 1;
            }
        }
        soak.print_counts();
    }
    fs::remove_all(folder);
    std::printf("%d renders: set-down quiet, nothing held, repeated requests identical\n", renders);
    return 0;
}
