// One engine pass over a picture, handed to the engine as the render hands it a distance step,
// with a shape from the built shape library.
#ifndef QB_BENCH_SUPPORT_BENCH_PASS_H
#define QB_BENCH_SUPPORT_BENCH_PASS_H

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/bokeh_engine.h"
#include "engine/pass_inputs.h"
#include "engine/pass_parts.h"
#include "host/world.h"
#include "render/engine_pass.h"
#include "scatter/pass_view.h"
#include "shapes/shape_loader.h"

namespace bench {

inline constexpr uint16_t kHighQuality = 5;
// The shape the effect offers first, and a file large enough for any disc benchmarked.
inline constexpr const char* kShapeFile = QB_PLUGIN_DIR "/pattern/06/511.tif";

// The render's buffers for a pass over a packed 8-bit frame of `width` x `height` into `light`
// and `weights`, with the shape image `shape` as `file` describes it.
render::PassBuffers frame_buffers(int32_t width, int32_t height, const uint8_t* frame, float* light,
                                  float* weights, const uint8_t* shape,
                                  const shapes::ShapeFile& file);

class EnginePass {
  public:
    // A pass of `diameter` over `picture` (8-bit) at `quality`, with the render's alpha scale.
    EnginePass(const host::World& picture, double diameter, uint16_t quality, double hardness);
    EnginePass(const EnginePass&) = delete;
    EnginePass& operator=(const EnginePass&) = delete;
    ~EnginePass();

    bool shape_loaded() const { return shape_ != nullptr; }
    // The failing stage's text after render or prepare_scatter answered false.
    const char* message() const { return message_; }

    // The whole pass, as the render runs it; false on failure.
    bool render();

    // The parts before the scatter loop, kept for benchmarks that time the loop alone.
    bool prepare_scatter();
    const Stamp& stamp() const { return parts_.stamp; }
    scatter::PassView view() const;
    // The scatter loop over the kept parts, with the vector kernels when `simd`, summing the
    // stamp's light by `method`.
    bool run_pix_loop(bool simd, SumMethod method = SumMethod::kStampWalk);
    // The scatter loop over the kept parts for rows [first, end) alone, as a distance step's
    // band, with the vector kernels.
    bool run_band_loop(int32_t first, int32_t end);

  private:
    std::unique_ptr<BokehEngine> engine_ = std::make_unique<BokehEngine>();
    std::vector<uint8_t> source_;
    std::vector<float> light_;
    std::vector<float> weights_;
    shapes::ShapeFile shape_file_;
    uint8_t* shape_ = nullptr;
    PassInputs in_;
    PassParts parts_;
    const char* message_ = "";
};

}  // namespace bench

#endif
