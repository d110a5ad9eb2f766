// Frames and layers as the emulated host owns them: 8-bit, 16-bit or float ARGB pixels,
// described to a module by the protocol's world record.
#ifndef QB_HOST_WORLD_H
#define QB_HOST_WORLD_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sdk/effect_sdk.h"

namespace host {

// Bytes of one pixel of a world with these flags.
std::size_t pixel_size_of(PF_WorldFlags flags);

// A frame or layer the host owns: 8-bit, 16-bit or float ARGB. Rows are packed unless the caller
// asks for padding, as a host may hand over rows longer than their pixels.
class World {
  public:
    enum class Depth { k8, k16, kFloat };

    World(int width, int height, Depth depth = Depth::k8, int row_padding_bytes = 0);
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    // A moved vector keeps its block, so the record's pixel pointer stays right.
    World(World&&) = default;
    World& operator=(World&&) = default;

    // Bytes of one pixel of a world of `depth`.
    static std::size_t pixel_size(Depth depth);

    int width() const { return def_.width; }
    int height() const { return def_.height; }
    Depth depth() const { return depth_; }

    PF_Pixel8& pixel8(int x, int y);
    PF_Pixel16& pixel16(int x, int y);
    const PF_Pixel8& pixel8(int x, int y) const;
    const PF_Pixel16& pixel16(int x, int y) const;
    PF_PixelFloat& pixel_float(int x, int y);
    const PF_PixelFloat& pixel_float(int x, int y) const;
    void fill8(PF_Pixel8 value);
    void fill16(PF_Pixel16 value);
    void fill_float(PF_PixelFloat value);
    int rowbytes() const { return def_.rowbytes; }

    // The world as the protocol hands it to a module (layer_marker is 1: a layer is present).
    PF_EffectWorld& def() { return def_; }

  private:
    Depth depth_;
    std::vector<uint8_t> pixels_;
    PF_EffectWorld def_{};
};

}  // namespace host

#endif
