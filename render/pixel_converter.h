// One accumulated pixel back to stored levels: its light normalised by its weight, through the
// inverse curve's level tables, with alpha from the input or, in alpha-bokeh mode, from the
// alpha light.
#ifndef QB_RENDER_PIXEL_CONVERTER_H
#define QB_RENDER_PIXEL_CONVERTER_H

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "render/light_levels.h"
#include "render/pixel_rows.h"

namespace render {

inline constexpr int kAlphaChannel = 0;

// Everything a pixel's conversion reads, by value, so that each row keeps it in registers.
struct PixelConverter {
    float mid_light;
    bool alpha_bokeh;
    float inverse_brightness;
    int32_t max_level;
    LevelLookup colour;
    LevelLookup alpha;  // only in alpha-bokeh mode

    // A pixel's light is scaled by this: a pixel that received no weight keeps weight 1, its
    // sums are 0 and it turns black.
    float weight_of(float weight_sum) const {
        return weight_sum > 0.0f ? mid_light / weight_sum : 1.0f;
    }

    // One pixel of channels of type Channel: the four accumulated sums and their weight in,
    // the stored levels out; `source` is the input pixel, whose alpha passes through unless
    // alpha bokeh is on.
    template <class Channel>
    void convert(const float* sums, float weight_sum, const uint8_t* source, uint8_t* out) const {
        const float weight = weight_of(weight_sum);
        if (alpha_bokeh) {
            float alpha_sum = sums[kAlphaChannel];
            if (inverse_brightness != 1.0f) {
                alpha_sum *= inverse_brightness;
            }
            store<Channel>(out, kAlphaChannel, alpha.level(weight * alpha_sum));
        } else {
            Channel source_alpha;
            std::memcpy(&source_alpha, source, sizeof source_alpha);
            store<Channel>(out, kAlphaChannel, std::min<int32_t>(source_alpha, max_level));
        }
        for (int k = 1; k < kChannels; ++k) {
            store<Channel>(out, k, colour.level(weight * sums[k]));
        }
    }

    // Each channel goes straight to the output: gathering a pixel on the stack and copying it
    // as a whole stalled every pixel on reading back the bytes just stored.
    template <class Channel>
    static void store(uint8_t* pixel, int channel, int32_t level) {
        const auto value = static_cast<Channel>(level);
        std::memcpy(pixel + static_cast<std::size_t>(channel) * sizeof(Channel), &value,
                    sizeof value);
    }
};

}  // namespace render

#endif
