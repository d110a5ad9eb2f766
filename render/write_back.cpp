#include "render/write_back.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "render/light_levels.h"

namespace render {
namespace {

constexpr int kAlpha = 0;

struct PixelLevels {
    int32_t channel[kChannels];
};

int32_t read_channel(const uint8_t* pixel, ChannelDepth depth, int channel) {
    if (depth == ChannelDepth::k8) {
        return pixel[channel];
    }
    uint16_t value;
    std::memcpy(&value, pixel + channel * sizeof value, sizeof value);
    return value;
}

void store_pixel(uint8_t* pixel, ChannelDepth depth, const PixelLevels& levels) {
    for (int k = 0; k < kChannels; ++k) {
        if (depth == ChannelDepth::k8) {
            pixel[k] = static_cast<uint8_t>(levels.channel[k]);
        } else {
            const auto value = static_cast<uint16_t>(levels.channel[k]);
            std::memcpy(pixel + k * sizeof value, &value, sizeof value);
        }
    }
}

// The tables of the last render, module-wide like the light curve's own caches: a sequence
// renders frame after frame with the same settings, and a 16-bit table costs milliseconds to
// find. Only the host's render thread builds or reads them.
const LightLevels& cached_levels(double hardness, bool deep, double scale, int32_t max_level,
                                 std::optional<LightLevels>& cache) {
    if (!cache || !cache->made_for(hardness, deep, scale, max_level)) {
        cache.emplace(hardness, deep, scale, max_level);
    }
    return *cache;
}

struct Converter {
    const WriteBackSettings& settings;
    ChannelDepth depth;
    int32_t max_level;
    float inverse_brightness;
    const LightLevels& colour;
    const LightLevels* alpha;  // only in alpha-bokeh mode

    PixelLevels convert(const float* sums, float weight_sum, const uint8_t* source) const {
        // A pixel that received no weight keeps weight 1: its sums are 0 and it turns black.
        const float weight = weight_sum > 0.0f ? settings.mid_light / weight_sum : 1.0f;
        float alpha_sum = sums[kAlpha];
        if (inverse_brightness != 1.0f) {
            alpha_sum *= inverse_brightness;
        }
        PixelLevels out;
        out.channel[kAlpha] = settings.alpha_bokeh
                                  ? alpha->level(weight * alpha_sum)
                                  : std::clamp(read_channel(source, depth, kAlpha), 0, max_level);
        for (int k = 1; k < kChannels; ++k) {
            out.channel[k] = colour.level(weight * sums[k]);
        }
        return out;
    }
};

}  // namespace

void write_back(const float* light, const float* weights, int32_t width, int32_t height,
                const ConstPixelRows& input, const PixelRows& output,
                const WriteBackSettings& settings) {
    const bool deep = output.depth == ChannelDepth::k16;
    const int32_t max_level = max_channel(output.depth);
    static std::optional<LightLevels> colour_cache;
    static std::optional<LightLevels> alpha_cache;
    const LightLevels& colour =
        cached_levels(settings.hardness, deep, 1.0, max_level, colour_cache);
    const LightLevels* alpha = nullptr;
    if (settings.alpha_bokeh) {
        const float inverse_alpha = 1.0f / settings.alpha_value;
        alpha = &cached_levels(settings.hardness, deep, inverse_alpha, max_level, alpha_cache);
    }
    const Converter converter{settings,  output.depth,
                              max_level, static_cast<float>(1.0 / settings.brightness),
                              colour,    alpha};
    const std::size_t bytes = pixel_bytes(output.depth);

#pragma omp parallel for schedule(static)
    for (int32_t r = 0; r < height; ++r) {
        const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(r) * width;
        for (int32_t c = 0; c < width; ++c) {
            const PixelLevels levels = converter.convert(light + (first + c) * kChannels,
                                                         weights[first + c], input.pixel(c, r));
            store_pixel(output.row(r) + static_cast<std::size_t>(c) * bytes, output.depth, levels);
        }
    }
}

}  // namespace render
