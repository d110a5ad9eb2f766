#include "render/write_back.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/linear_light.h"
#include "render/light_levels.h"
#include "render/row_threads.h"

namespace render {
namespace {

constexpr int kAlpha = 0;

// Everything a pixel's conversion reads, by value, so that each row keeps it in registers.
struct Converter {
    float mid_light;
    bool alpha_bokeh;
    float inverse_brightness;
    int32_t max_level;
    LevelLookup colour;
    LevelLookup alpha;  // only in alpha-bokeh mode

    // One pixel of channels of type Channel: the four accumulated sums and their weight in,
    // the stored levels out; `source` is the input pixel, whose alpha passes through unless
    // alpha bokeh is on.
    template <class Channel>
    void convert(const float* sums, float weight_sum, const uint8_t* source, uint8_t* out) const {
        // A pixel that received no weight keeps weight 1: its sums are 0 and it turns black.
        const float weight = weight_sum > 0.0f ? mid_light / weight_sum : 1.0f;
        if (alpha_bokeh) {
            float alpha_sum = sums[kAlpha];
            if (inverse_brightness != 1.0f) {
                alpha_sum *= inverse_brightness;
            }
            store<Channel>(out, kAlpha, alpha.level(weight * alpha_sum));
        } else {
            Channel source_alpha;
            std::memcpy(&source_alpha, source, sizeof source_alpha);
            store<Channel>(out, kAlpha, std::min<int32_t>(source_alpha, max_level));
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

// The depth is settled once, outside the loops.
template <class Channel>
void write_rows(const float* light, const float* weights, int32_t width, int32_t height,
                const ConstPixelRows& input, const PixelRows& output, const Converter& converter) {
    constexpr std::size_t kPixelBytes = kChannels * sizeof(Channel);
    platform::for_each_row(0, height, threads_for(int64_t{height} * width), [&](int, int32_t r) {
        const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(r) * width;
        const uint8_t* in = input.row(r);
        uint8_t* out = output.row(r);
        const Converter local = converter;
        for (int32_t c = 0; c < width; ++c) {
            local.convert<Channel>(light + (first + c) * kChannels, weights[first + c],
                                   in + c * kPixelBytes, out + c * kPixelBytes);
        }
    });
}

// A float frame's pixels: its sums turned back through LinearLight, unrounded and without a
// top. The alpha slot holds the pixels' count and the weights the coverage.
void write_linear_rows(const float* light, const float* coverage, int32_t width, int32_t height,
                       const ConstPixelRows& input, const PixelRows& output,
                       const WriteBackSettings& settings) {
    const LinearLight curve(settings.hardness, settings.brightness);
    const bool alpha_bokeh = settings.alpha_bokeh;
    platform::for_each_row(0, height, threads_for(int64_t{height} * width), [&](int, int32_t r) {
        const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(r) * width;
        const uint8_t* in = input.row(r);
        uint8_t* out = output.row(r);
        for (int32_t c = 0; c < width; ++c) {
            const float* sums = light + (first + c) * kChannels;
            const float pixels = sums[kAlpha];
            const float covered = coverage[first + c];
            float pixel[kChannels];
            if (alpha_bokeh) {
                pixel[kAlpha] = LinearLight::alpha_value(covered, pixels);
            } else {
                float source_alpha;
                std::memcpy(&source_alpha, in + c * sizeof pixel, sizeof source_alpha);
                pixel[kAlpha] = std::min(LinearLight::cleaned(source_alpha), 1.0f);
            }
            for (int k = 1; k < kChannels; ++k) {
                pixel[k] = curve.colour_value(sums[k], covered, pixels, pixel[kAlpha]);
            }
            std::memcpy(out + c * sizeof pixel, pixel, sizeof pixel);
        }
    });
}

}  // namespace

void write_back(const float* light, const float* weights, int32_t width, int32_t height,
                const ConstPixelRows& input, const PixelRows& output,
                const WriteBackSettings& settings) {
    if (output.depth == ChannelDepth::kFloat) {
        write_linear_rows(light, weights, width, height, input, output, settings);
        return;
    }
    const bool deep = output.depth == ChannelDepth::k16;
    const int32_t max_level = max_channel(output.depth);
    // The render's own tables: a 16-bit one costs milliseconds to find, little beside a render,
    // and tables shared between renders would tie renders running at once to each other.
    const LightLevels colour(settings.hardness, deep, 1.0, max_level);
    std::optional<LightLevels> alpha;
    Converter converter{
        settings.mid_light, settings.alpha_bokeh, static_cast<float>(1.0 / settings.brightness),
        max_level,          colour.lookup(),      LevelLookup{}};
    if (settings.alpha_bokeh) {
        const float inverse_alpha = 1.0f / settings.alpha_value;
        converter.alpha = alpha.emplace(settings.hardness, deep, inverse_alpha, max_level).lookup();
    }
    if (deep) {
        write_rows<uint16_t>(light, weights, width, height, input, output, converter);
    } else {
        write_rows<uint8_t>(light, weights, width, height, input, output, converter);
    }
}

}  // namespace render
