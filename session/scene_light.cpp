#include "session/scene_light.h"

#include <algorithm>
#include <cmath>

namespace session {
namespace {

template <class Change>
void for_each_pixel(host::World& world, Change change) {
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            change(world.pixel_float(x, y));
        }
    }
}

}  // namespace

float clean_light(float value) {
    // Written so that NaN, which fails every comparison, lands on 0.
    if (!(value > 0.0f)) {
        return 0.0f;
    }
    return std::min(value, PF_FLOAT_LIGHT_MAX);
}

bool clean_pixel(PF_PixelFloat& pixel) {
    bool changed = false;
    for (float* channel : {&pixel.alpha, &pixel.red, &pixel.green, &pixel.blue}) {
        const float light = clean_light(*channel);
        // NaN equals nothing and counts as changed; -0 equals 0 and is not worth a word.
        changed |= !(light == *channel);
        *channel = light;
    }
    return changed;
}

PF_PixelFloat unpremultiplied(const PF_PixelFloat& pixel) {
    if (!(pixel.alpha > 0.0f)) {
        return pixel;
    }
    const auto divide = [&](float colour) {
        return std::min(colour / pixel.alpha, PF_FLOAT_LIGHT_MAX);
    };
    return {pixel.alpha, divide(pixel.red), divide(pixel.green), divide(pixel.blue)};
}

PF_PixelFloat premultiplied(const PF_PixelFloat& pixel) {
    if (!(pixel.alpha > 0.0f)) {
        return pixel;
    }
    return {pixel.alpha, pixel.red * pixel.alpha, pixel.green * pixel.alpha,
            pixel.blue * pixel.alpha};
}

long clean_world(host::World& world) {
    long cleaned = 0;
    for_each_pixel(world, [&](PF_PixelFloat& pixel) { cleaned += clean_pixel(pixel); });
    return cleaned;
}

void unpremultiply_world(host::World& world) {
    for_each_pixel(world, [](PF_PixelFloat& pixel) { pixel = unpremultiplied(pixel); });
}

}  // namespace session
