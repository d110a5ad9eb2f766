#include "render/write_back.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/linear_light.h"
#include "platform/parallel_rows.h"
#include "render/light_levels.h"
#include "render/pixel_converter.h"
#include "render/write_back_wide.h"

namespace render {

using platform::threads_for;

namespace {

// The pixels of a row in groups of sixteen, where the processor can; answers how many.
template <class Channel>
int32_t convert_sixteens(const PixelConverter& converter, const float* light, const float* weights,
                         int32_t width, const uint8_t* input, uint8_t* output) {
    if (!has_wide_write_back()) {
        return 0;
    }
    if constexpr (sizeof(Channel) == 1) {
        return convert_sixteens8(converter, light, weights, width, input, output);
    } else {
        return convert_sixteens16(converter, light, weights, width, input, output);
    }
}

// The depth is settled once, outside the loops.
template <class Channel>
void write_rows(const float* light, const float* weights, int32_t width, int32_t height,
                const ConstPixelRows& input, const PixelRows& output,
                const PixelConverter& converter) {
    constexpr std::size_t kPixelBytes = kChannels * sizeof(Channel);
    platform::for_each_row(0, height, threads_for(int64_t{height} * width), [&](int, int32_t r) {
        const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(r) * width;
        const uint8_t* in = input.row(r);
        uint8_t* out = output.row(r);
        const PixelConverter local = converter;
        const int32_t converted = convert_sixteens<Channel>(local, light + first * kChannels,
                                                            weights + first, width, in, out);
        for (int32_t c = converted; c < width; ++c) {
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
            const float pixels = sums[kAlphaChannel];
            const float covered = coverage[first + c];
            float pixel[kChannels];
            if (alpha_bokeh) {
                pixel[kAlphaChannel] = LinearLight::alpha_value(covered, pixels);
            } else {
                float source_alpha;
                std::memcpy(&source_alpha, in + c * sizeof pixel, sizeof source_alpha);
                pixel[kAlphaChannel] = std::min(LinearLight::cleaned(source_alpha), 1.0f);
            }
            for (int k = 1; k < kChannels; ++k) {
                pixel[k] = curve.colour_value(sums[k], covered, pixels, pixel[kAlphaChannel]);
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
    PixelConverter converter{
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
