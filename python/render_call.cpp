#include "python/render_call.h"

#include <fmt/format.h>
#include <omp.h>

#include <exception>
#include <memory>

#include "plugin/effect_entry.h"
#include "python/array_worlds.h"
#include "python/plugin_folder.h"
#include "session/downsample.h"
#include "session/effect_session.h"
#include "session/session_error.h"

namespace qb_python {
namespace {

// The effect's threads are OpenMP's, counted per calling thread: setting the count here, and
// putting it back, touches this render only.
class ThreadCount {
  public:
    explicit ThreadCount(std::optional<int> threads) : saved_(omp_get_max_threads()) {
        if (threads) {
            omp_set_num_threads(*threads);
        }
    }
    ~ThreadCount() { omp_set_num_threads(saved_); }
    ThreadCount(const ThreadCount&) = delete;
    ThreadCount& operator=(const ThreadCount&) = delete;

  private:
    int saved_;
};

// The host's progress callback in Python's terms; non-zero cancels the render.
class ProgressBridge {
  public:
    explicit ProgressBridge(py::object callback) : callback_(std::move(callback)) {}

    int operator()(A_long current, A_long total) {
        if (raised_) {
            return 1;
        }
        py::gil_scoped_acquire gil;
        try {
            if (PyErr_CheckSignals() != 0) {
                throw py::error_already_set();
            }
            if (!callback_.is_none() && total > 0) {
                callback_(static_cast<double>(current) / static_cast<double>(total));
            }
        } catch (const py::error_already_set&) {
            raised_ = std::current_exception();
            return 1;
        }
        return 0;
    }

    void raise_if_raised() const {
        if (raised_) {
            std::rethrow_exception(raised_);
        }
    }

  private:
    py::object callback_;
    std::exception_ptr raised_;
};

void check_request(const RenderCall& call, const host::World& image, const host::World* distance) {
    const session::RenderSettings& settings = call.settings;
    if (settings.downsample < 1) {
        session::fail_input(
            fmt::format("downsample must be 1 or more; it is {}", settings.downsample));
    }
    if (call.threads && *call.threads < 1) {
        session::fail_input(fmt::format("threads must be 1 or more; it is {}", *call.threads));
    }
    if (distance && (distance->width() != image.width() || distance->height() != image.height())) {
        session::fail_input(fmt::format("distance is {}x{}; the image is {}x{}", distance->width(),
                                        distance->height(), image.width(), image.height()));
    }
    if (settings.focus_at) {
        const session::PointXY& point = *settings.focus_at;
        if (!distance) {
            session::fail_input("focus_at picks a distance from the distance array: give distance");
        }
        if (point.x < 0 || point.y < 0 || point.x >= image.width() || point.y >= image.height()) {
            session::fail_input(fmt::format("focus_at ({:g}, {:g}) lies outside the {}x{} image",
                                            point.x, point.y, image.width(), image.height()));
        }
    }
}

// A layer at the resolution the render asks for, as the tool hands it over.
std::unique_ptr<host::World> reduced(std::unique_ptr<host::World> layer, int downsample) {
    return layer && downsample > 1 ? session::downsample(*layer, downsample) : std::move(layer);
}

std::unique_ptr<host::World> rendered(const RenderCall& call, host::World& image,
                                      host::World* distance) {
    ProgressBridge progress(call.progress);
    std::unique_ptr<host::World> result;
    try {
        const py::gil_scoped_release released;
        const ThreadCount threads(call.threads);
        session::EffectSession effect(quillbloom_effect_main, effect_module_path(), call.settings);
        result = effect.render(image, distance, [&progress](A_long current, A_long total) {
            return progress(current, total);
        });
    } catch (const session::SessionError&) {
        progress.raise_if_raised();
        throw;
    }
    // An exception raised after the module last asked whether to stop still fails the call:
    // a result is never returned over it.
    progress.raise_if_raised();
    return result;
}

}  // namespace

py::array render(const RenderCall& call) {
    try {
        ImageLayer image = image_layer(call.image);
        std::unique_ptr<host::World> distance =
            call.distance ? distance_layer(*call.distance) : nullptr;
        check_request(call, *image.world, distance.get());
        const int downsample = call.settings.downsample;
        image.world = reduced(std::move(image.world), downsample);
        distance = reduced(std::move(distance), downsample);
        const std::unique_ptr<host::World> result = rendered(call, *image.world, distance.get());
        return image_array(*result, image.samples, image.channels);
    } catch (const session::SessionError& error) {
        switch (error.kind()) {
            case session::FailureKind::bad_input:
                throw py::value_error(error.what());
            case session::FailureKind::out_of_memory:
                PyErr_SetString(PyExc_MemoryError, error.what());
                throw py::error_already_set();
            default:
                throw;
        }
    }
}

}  // namespace qb_python
