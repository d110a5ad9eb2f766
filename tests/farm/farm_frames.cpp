// Helper of the farm test: makes a short sequence whose frames all differ (a bright light that
// moves over a textured ground, with a distance ramp), and compares two pictures value for value.
//   farm_frames make FOLDER COUNT      FOLDER/in.0001.png ... and FOLDER/depth.0001.png ...
//   farm_frames same A B               status 0 when A and B hold the same values
#include <OpenImageIO/imageio.h>
#include <fmt/format.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 96;
constexpr int kHeight = 64;

bool write_png(const std::string& path, int channels, const std::vector<unsigned char>& pixels) {
    OIIO::ImageSpec spec(kWidth, kHeight, channels, OIIO::TypeDesc::UINT8);
    auto out = OIIO::ImageOutput::create(path);
    return out && out->open(path, spec) && out->write_image(OIIO::TypeDesc::UINT8, pixels.data()) &&
           out->close();
}

int make(const std::string& folder, int count) {
    for (int frame = 1; frame <= count; ++frame) {
        std::vector<unsigned char> colour;
        std::vector<unsigned char> depth;
        const int light_x = 8 + frame * 9;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool light = std::abs(x - light_x) <= 1 && std::abs(y - kHeight / 2) <= 1;
                for (int c = 0; c < 3; ++c) {
                    colour.push_back(light ? 255
                                           : static_cast<unsigned char>(
                                                 30 + (x * 7 + y * 13 + c * 29 + frame) % 90));
                }
                depth.push_back(static_cast<unsigned char>(x * 255 / (kWidth - 1)));
            }
        }
        if (!write_png(fmt::format("{}/in.{:04}.png", folder, frame), 3, colour) ||
            !write_png(fmt::format("{}/depth.{:04}.png", folder, frame), 1, depth)) {
            fmt::print(stderr, "farm_frames: cannot write frame {} in {}\n", frame, folder);
            return 1;
        }
    }
    return 0;
}

std::vector<float> values(const std::string& path, OIIO::ImageSpec& spec) {
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        OIIO::geterror();
        return {};
    }
    spec = in->spec();
    std::vector<float> pixels(static_cast<std::size_t>(spec.image_pixels()) * spec.nchannels);
    return in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, pixels.data())
               ? pixels
               : std::vector<float>{};
}

int same(const std::string& a, const std::string& b) {
    OIIO::ImageSpec spec_a;
    OIIO::ImageSpec spec_b;
    const std::vector<float> first = values(a, spec_a);
    const std::vector<float> second = values(b, spec_b);
    const bool equal = !first.empty() && first == second && spec_a.width == spec_b.width &&
                       spec_a.nchannels == spec_b.nchannels;
    if (!equal) {
        fmt::print(stderr, "farm_frames: {} and {} differ\n", a, b);
    }
    return equal ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 3 && args[0] == "make") {
        return make(args[1], std::stoi(args[2]));
    }
    if (args.size() == 3 && args[0] == "same") {
        return same(args[1], args[2]);
    }
    fmt::print(stderr, "usage: farm_frames make FOLDER COUNT | farm_frames same A B\n");
    return 2;
}
