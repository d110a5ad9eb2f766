#include "cli/demo_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace cli {
namespace {

struct Colour {
    double r, g, b;
};

// Where things stand, as fractions of the picture's height and width.
constexpr double kHorizon = 0.46;
constexpr double kTargetX = 0.5;
constexpr double kTargetY = 0.40;
constexpr double kTargetRadius = 0.17;
constexpr double kPoleFoot = 0.74;
constexpr double kPoleHalfWidth = 0.008;
constexpr int kStarSpokes = 36;

// Distance values (255 nearest): the sky and the far city, the ground from horizon to the
// picture's bottom edge, and the string lights.
constexpr double kSkyDistance = 0;
constexpr double kCityDistance = 24;
constexpr double kGroundFar = 40;
constexpr double kGroundNear = 255;
constexpr double kStringLightDistance = 245;

// A repeatable pseudo-random value in [0, 1) for integer coordinates: no library generator,
// whose sequences may differ between standard libraries.
double hash01(std::uint32_t x, std::uint32_t y, std::uint32_t salt) {
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ salt * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (h & 0xFFFFFFu) / static_cast<double>(0x1000000u);
}

class Painter {
  public:
    Painter(host::World& colour, host::World& distance) : colour_(colour), distance_(distance) {}

    void put(int x, int y, Colour c, double distance) {
        if (x < 0 || y < 0 || x >= colour_.width() || y >= colour_.height()) {
            return;
        }
        const auto level = [](double v) {
            return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255.0), 0L, 255L));
        };
        colour_.pixel8(x, y) = PF_Pixel8{255, level(c.r), level(c.g), level(c.b)};
        const std::uint8_t d =
            static_cast<std::uint8_t>(std::clamp(std::lround(distance), 0L, 255L));
        distance_.pixel8(x, y) = PF_Pixel8{255, d, d, d};
    }

    // A small round light: a bright core with a soft rim, all at one distance.
    void light(double cx, double cy, double radius, Colour c, double distance) {
        for (int y = static_cast<int>(cy - radius - 1); y <= cy + radius + 1; ++y) {
            for (int x = static_cast<int>(cx - radius - 1); x <= cx + radius + 1; ++x) {
                const double r = std::hypot(x + 0.5 - cx, y + 0.5 - cy) / radius;
                if (r <= 1.0) {
                    const double glow = r < 0.5 ? 1.0 : 1.0 - (r - 0.5);
                    put(x, y, {c.r * glow, c.g * glow, c.b * glow}, distance);
                }
            }
        }
    }

  private:
    host::World& colour_;
    host::World& distance_;
};

double ground_distance(double y_fraction) {
    const double t = (y_fraction - kHorizon) / (1.0 - kHorizon);
    return kGroundFar + (kGroundNear - kGroundFar) * t;
}

void paint_sky_and_ground(Painter& paint, int width, int height) {
    const double horizon = kHorizon * height;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (y < horizon) {
                const double t = y / horizon;
                paint.put(x, y, {0.02 + 0.06 * t, 0.03 + 0.08 * t, 0.10 + 0.16 * t}, kSkyDistance);
                continue;
            }
            // Tiles in perspective: columns converge on the vanishing point, rows crowd
            // towards the horizon.
            const double below = (y + 0.5 - horizon) / height;
            const double u = (x + 0.5 - width * 0.5) / height / below * 0.6;
            const double v = 0.9 / below;
            const bool dark =
                (static_cast<int>(std::floor(u)) + static_cast<int>(std::floor(v))) % 2;
            const double grain =
                0.05 * hash01(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 1);
            const double base = (dark ? 0.16 : 0.30) + grain;
            paint.put(x, y, {base, base * 0.92, base * 0.85}, ground_distance((y + 0.5) / height));
        }
    }
}

// Towers along the horizon with lit windows, and street lamps in front of them.
void paint_city(Painter& paint, int width, int height) {
    const double horizon = kHorizon * height;
    const int tower_width = std::max(width / 24, 4);
    for (int left = 0; left < width; left += tower_width) {
        const double top = horizon - height * (0.05 + 0.12 * hash01(left, 0, 2));
        for (int y = static_cast<int>(top); y < horizon; ++y) {
            for (int x = left; x < left + tower_width - 2; ++x) {
                const bool window =
                    (x - left) % 4 == 1 && y % 5 == 2 && hash01(x / 4, y / 5, 3) < 0.45;
                const Colour lit = hash01(x / 4, y / 5, 4) < 0.5 ? Colour{1.0, 0.85, 0.55}
                                                                 : Colour{0.95, 0.95, 1.0};
                paint.put(x, y, window ? lit : Colour{0.05, 0.05, 0.08}, kCityDistance);
            }
        }
    }
    for (int k = 0; k < 16; ++k) {
        const Colour lamp = k % 3 == 0 ? Colour{1.0, 0.55, 0.2} : Colour{1.0, 0.9, 0.6};
        paint.light((k + 0.5) * width / 16.0, horizon - 2, 1.6, lamp, kCityDistance);
    }
}

// A spoked star on a pole: fine detail that shows at once whether it is sharp.
void paint_target(Painter& paint, int width, int height) {
    const double cx = kTargetX * width;
    const double cy = kTargetY * height;
    const double radius = kTargetRadius * height;
    const double distance = ground_distance(kPoleFoot);
    const double pole = kPoleHalfWidth * width;
    for (int y = static_cast<int>(cy); y < kPoleFoot * height; ++y) {
        for (int x = static_cast<int>(cx - pole); x <= cx + pole; ++x) {
            paint.put(x, y, {0.45, 0.45, 0.48}, distance);
        }
    }
    for (int y = static_cast<int>(cy - radius); y <= cy + radius; ++y) {
        for (int x = static_cast<int>(cx - radius); x <= cx + radius; ++x) {
            const double dx = x + 0.5 - cx;
            const double dy = y + 0.5 - cy;
            const double r = std::hypot(dx, dy);
            if (r > radius) {
                continue;
            }
            const double angle = std::atan2(dy, dx) + std::numbers::pi;
            const int spoke = static_cast<int>(angle / (2 * std::numbers::pi) * kStarSpokes);
            const bool rim = r > radius * 0.93;
            const double level = rim ? 0.15 : (spoke % 2 ? 0.92 : 0.08);
            paint.put(x, y, {level, level * 0.97, level * 0.9}, distance);
        }
    }
}

// Fairy lights on a sagging wire across the top, close to the camera.
void paint_string_lights(Painter& paint, int width, int height) {
    const Colour colours[] = {
        {1.0, 0.2, 0.15}, {0.2, 1.0, 0.3}, {0.25, 0.45, 1.0}, {1.0, 0.75, 0.1}, {1.0, 0.3, 0.9}};
    constexpr int kBulbs = 14;
    for (int k = 0; k < kBulbs; ++k) {
        const double t = (k + 0.5) / kBulbs;
        const double x = t * width;
        const double y = height * (0.06 + 0.14 * std::sin(t * std::numbers::pi));
        paint.light(x, y, height * 0.007, colours[k % 5], kStringLightDistance);
    }
}

}  // namespace

DemoScene make_demo_scene(int width, int height) {
    DemoScene scene;
    scene.colour = std::make_unique<host::World>(width, height);
    scene.distance = std::make_unique<host::World>(width, height);
    Painter paint(*scene.colour, *scene.distance);
    paint_sky_and_ground(paint, width, height);
    paint_city(paint, width, height);
    paint_target(paint, width, height);
    paint_string_lights(paint, width, height);
    scene.subject = {kTargetX * width, kTargetY * height};
    return scene;
}

}  // namespace cli
