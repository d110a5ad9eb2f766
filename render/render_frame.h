// One render: a layer in, its bokeh image out, through the stages in their fixed order (region,
// distance map and steps, shape, working buffers, one engine pass per step, write-back).
//
// Principles:
// - The call owns everything it allocates: the distance map, the shape image, the working
//   buffers and the engine live in the call and are gone on every return, so nothing of one
//   render is left for the next, and two renders on two threads share nothing. Only the memory
//   of its large buffers and its helper threads may outlive it, in what the caller lends for the
//   next render: the render writes every byte of a block before it reads it.
// - Failures come back as a RenderOutcome: what kind of failure, and the text a user is shown.
//   Only the C++ library's own std::bad_alloc can escape the call.
// - What only the caller's host can do (report progress and hear a cancel, copy the layer, lend
//   the Distance Layer, keep the distance map for a later focus pick) goes through RenderHost,
//   in the order a host can observe.
#ifndef QB_RENDER_RENDER_FRAME_H
#define QB_RENDER_RENDER_FRAME_H

#include <cstdint>
#include <optional>
#include <string>

#include "platform/allocation.h"
#include "platform/kept_threads.h"
#include "render/kept_iris.h"
#include "render/pixel_rows.h"
#include "render/render_request.h"

namespace render {

// A picture of `width` x `height` pixels, at its top-left pixel.
template <class Rows>
struct Picture {
    Rows pixels;
    int32_t width = 0;
    int32_t height = 0;
};

using LayerPicture = Picture<ConstPixelRows>;
using OutputPicture = Picture<PixelRows>;

// The part of the layer the host asks for, in layer pixels (right and bottom excluded).
struct ExtentHint {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Where the render finds its iris shape: the shape folders' parent, and the chosen folder's
// name (null when the choice names no folder).
struct ShapeChoice {
    const char* pattern_folder = nullptr;
    const char* folder_name = nullptr;
};

class RenderHost {
  public:
    virtual ~RenderHost() = default;

    // `done` of `total` reached; non-zero asks the render to stop.
    virtual int progress(int done, int total) = 0;
    // Copies the whole layer into the output; 0, or the code with which the host refused.
    virtual int copy_layer_to_output() = 0;
    // The Distance Layer, lent until the render returns; nullopt when the host cannot lend it,
    // null pixels when they cannot be read: either renders as without one.
    virtual std::optional<LayerPicture> lend_distance_layer() = 0;
    // The render's distance map (one byte a layer pixel, rows packed), kept for a later focus
    // pick; null when this render has no Distance Layer.
    virtual void keep_distance_map(const uint8_t* map, int32_t width, int32_t height) = 0;
    // The distance under layer point (x, y) in the map kept last.
    virtual uint8_t kept_distance(int32_t x, int32_t y) = 0;
};

enum class RenderStatus {
    kDone,
    kOutOfMemory,
    kRequestError,  // the request, the shape or the engine failed
    kCancelled,
    kHostRefused,  // the host refused a copy; its own code is in host_code
};

struct RenderOutcome {
    RenderStatus status = RenderStatus::kDone;
    int host_code = 0;
    std::string message;
};

// What a caller rendering frame after frame keeps from one render for the next, so that no
// frame but the first waits for the system to map and clear its buffers, to start its helper
// threads or to read its iris. Lent to one render at a time.
struct KeptBetweenRenders {
    // The memory of the render's large buffers.
    platform::KeptBlocks blocks;
    // The helper threads of its teams, asleep between renders.
    platform::KeptThreads threads;
    // The iris image it rendered with.
    KeptIris iris;
};

// Renders `layer` into `output` (same size and depth). With `kept`, the render's large buffers
// come from its blocks first and go back to them, its teams run on its threads and it takes the
// iris kept there when it still holds; without, the render keeps buffers and threads only from
// pass to pass, and reads the iris itself.
RenderOutcome render_frame(const RenderRequest& request, const LayerPicture& layer,
                           const ExtentHint& extent, const ShapeChoice& shape,
                           const OutputPicture& output, RenderHost& host,
                           KeptBetweenRenders* kept = nullptr);

// The status of an engine failure code after a pass: none for 0, a cancel, out of memory for
// the stages' allocation failures, a request error for anything else.
RenderStatus status_of_engine_failure(int32_t code);

}  // namespace render

#endif
