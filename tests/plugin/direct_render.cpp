#include "tests/plugin/direct_render.h"

#include <cmath>
#include <cstring>
#include <memory>

#include "engine/iris_pattern.h"
#include "engine/light_curve.h"
#include "engine/pass_inputs.h"
#include "engine/size_pattern.h"
#include "engine/stamp.h"
#include "platform/allocation.h"
#include "platform/file_system.h"
#include "shapes/shape_catalogue.h"
#include "shapes/shape_loader.h"
#include "tests/plugin/render_scene.h"

namespace qb_test {
namespace {

// The film curve with contrast `hardness` and gain 1, at curve position x.
double curve(double x, double hardness) {
    return 20.0 * std::pow(10.0, (hardness / 0.65) * std::tan((x - 135.0) / 150.0) - 1.4);
}

// The light one pixel of `level` carries, scaled by brightness.
double photon(int level, int levels, const DirectSettings& s) {
    const double step = 256.0 / levels;
    return s.brightness * (curve(level * step, s.hardness) - curve(0.0, s.hardness));
}

int rounded(double value, int max) {
    if (!(value + 0.5 >= 1.0)) {
        return 0;
    }
    const double v = value + 0.5;
    return v >= max ? max : static_cast<int>(v);
}

}  // namespace

Stamp engine_stamp(const std::string& folder, int max_effect, double diameter, int quality,
                   int levels) {
    char path[platform::kPathBufferSize] = {};
    find_shape_size_file(folder.c_str(), max_effect, path);
    shapes::ShapeFile shape;
    uint8_t* image = nullptr;
    shapes::load_shape_image(path, shape, image);
    const auto shape_image = platform::OwnedArray<uint8_t>::adopt(image);
    PassInputs in;
    in.iris = IrisImage{false,
                        3,
                        static_cast<int32_t>(shape.width),
                        static_cast<int32_t>(shape.height),
                        shape_image.get(),
                        shape.rowbytes};
    in.blur = diameter;
    in.quality = static_cast<uint16_t>(quality);
    in.source.levels = levels;
    IrisPattern pattern;
    pattern.pack_pattern_alpha(in.iris);
    pattern.measure_pattern();
    SizePattern sized;
    ::Stamp made;
    prepare_pattern(pattern, in, sized, made);

    Stamp stamp;
    stamp.width = made.width;
    stamp.height = made.height;
    const size_t cells = static_cast<size_t>(stamp.width) * stamp.height;
    // A grey stamp weights everything by plane 0; a colour one alpha and red by stamp plane 1,
    // green by 2 and blue by 3.
    const bool colour = made.channels >= 3;
    const int plane_of[4] = {colour ? 1 : 0, colour ? 1 : 0, colour ? 2 : 0, colour ? 3 : 0};
    for (int j = 0; j < 4; ++j) {
        const uint8_t* plane = made.stamp_planes[plane_of[j]];
        stamp.planes[j].assign(plane, plane + cells);
    }
    return stamp;
}

std::array<int, 4> direct_pixel(const host::World& input, const Stamp& stamp,
                                const DirectSettings& settings,
                                const std::function<bool(int x, int y)>& belongs, int x, int y) {
    const bool deep = input.depth() == host::World::Depth::k16;
    const int levels = deep ? 32769 : 256;
    const int max = deep ? 32768 : 255;
    const int rx = stamp.width / 2;
    const int ry = stamp.height / 2;

    std::array<double, 4> light{};
    double inside = 0.0;  // weight of the alpha plane's cells over the layer
    double opaque = 0.0;  // weight of the cells over pixels whose scaled alpha counts
    for (int i = 0; i < stamp.height; ++i) {
        for (int c = 0; c < stamp.width; ++c) {
            const int sx = x - rx + c;
            const int sy = y - ry + i;
            if (sx < 0 || sy < 0 || sx >= input.width() || sy >= input.height()) {
                continue;
            }
            inside += stamp.at(0, i, c);
            const int alpha = channel(input, sx, sy, 0);
            if (!belongs(sx, sy) || alpha == 0) {
                continue;
            }
            const int scaled_alpha = static_cast<int>(alpha * settings.alpha_value + 0.5f);
            const int source[4] = {scaled_alpha, channel(input, sx, sy, 1),
                                   channel(input, sx, sy, 2), channel(input, sx, sy, 3)};
            for (int j = 0; j < 4; ++j) {
                light[j] += stamp.at(j, i, c) * photon(source[j], levels, settings);
            }
            if (scaled_alpha > 0) {
                opaque += stamp.at(0, i, c);
            }
        }
    }
    // The weight the write-back divides by is the light of the middle level times the opaque
    // share of the weighting plane; its middle-level light cancels against the write-back's.
    // Each result is divided by its plane's total less the off-layer weight of the plane that
    // weights alpha: for a grey stamp, the weight of its cells over the layer.
    std::array<double, 4> total{};
    for (int j = 0; j < 4; ++j) {
        for (uint8_t cell : stamp.planes[j]) {
            total[j] += cell;
        }
    }
    const double off_layer = total[0] - inside;
    std::array<int, 4> out{};
    out[0] = std::min(channel(input, x, y, 0), max);
    for (int j = 1; j < 4; ++j) {
        const double normalised = light[j] / (total[j] - off_layer);
        const double opaque_share = opaque / inside;
        const double value = opaque_share > 0.0 ? normalised / opaque_share : normalised;
        out[j] = rounded(
            Light_to_RGB(static_cast<float>(value), deep ? 1 : 0, settings.hardness, 1.0), max);
    }
    return out;
}

}  // namespace qb_test
