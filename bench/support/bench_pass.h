// One engine pass over a picture, handed to the engine as the render hands it a distance step,
// with a shape from the built shape library.
#ifndef QB_BENCH_SUPPORT_BENCH_PASS_H
#define QB_BENCH_SUPPORT_BENCH_PASS_H

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/bokeh_engine.h"
#include "host/world.h"
#include "shapes/shape_loader.h"

namespace bench {

inline constexpr uint16_t kHighQuality = 5;
// The shape the effect offers first, and a file large enough for any disc benchmarked.
inline constexpr const char* kShapeFile = QB_PLUGIN_DIR "/pattern/06/511.tif";

class EnginePass {
  public:
    // A pass of `diameter` over `picture` (8-bit) at `quality`, with the render's alpha scale.
    EnginePass(const host::World& picture, double diameter, uint16_t quality, double hardness);
    EnginePass(const EnginePass&) = delete;
    EnginePass& operator=(const EnginePass&) = delete;
    ~EnginePass();

    BokehEngine& engine() { return *engine_; }
    bool shape_loaded() const { return shape_ != nullptr; }

    // The whole pass, as the render runs it; false with the engine's message on failure.
    bool render();
    // The stages before the scatter loop, for benchmarks that time the loop alone.
    bool prepare_scatter();

  private:
    std::unique_ptr<BokehEngine> engine_ = std::make_unique<BokehEngine>();
    std::vector<uint8_t> source_;
    std::vector<float> light_;
    std::vector<float> weights_;
    shapes::ShapeFile shape_file_;
    uint8_t* shape_ = nullptr;
    int32_t width_;
    int32_t height_;
    double diameter_;
    uint16_t quality_;
    double hardness_;

    void hand_over();
};

}  // namespace bench

#endif
