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

// Where things stand, as fractions of the picture's height and width. The city's foot is
// hidden behind the parapet, whose top is the horizon.
constexpr double kHorizon = 0.70;
constexpr double kTargetX = 0.5;
constexpr double kTargetY = 0.40;
constexpr double kTargetRadius = 0.17;
constexpr double kPoleHalfWidth = 0.008;
constexpr int kStarSpokes = 36;
// The lights, as fractions of the picture's height: each large enough to carry the light that
// fills its disc once it is spread, small enough for the disc to keep the iris's corners.
constexpr double kBulbRadius = 0.013;
constexpr double kLampRadius = 0.004;
constexpr double kLampHeight = 0.05;
constexpr int kStreetLamps = 9;
// Windows: rows of them in the picture's height, and the share that is lit. The lowest floors
// are dark, so that the city's discs stay above the parapet's edge.
constexpr int kWindowRows = 120;
constexpr double kLitWindows = 0.12;
constexpr double kDarkFloors = 0.04;
// The parapet's bricks: courses in the picture's height, a brick's length and the mortar around
// it in course heights, and the capstone on top in courses, its lowest part in its own shadow.
constexpr int kBrickCourses = 36;
constexpr double kBrickLength = 2.2;
constexpr double kMortar = 0.1;
constexpr double kCapstone = 0.7;
constexpr double kCapstoneShadow = 0.85 * kCapstone;

// Distance values (255 nearest): the sky and the city at the far end, the parapet and the target
// on it halfway, the string lights at the near end, so that focused on the target the lights
// near and far open into discs of about one size.
constexpr double kFarDistance = 0;
constexpr double kTargetDistance = 128;
constexpr double kStringLightDistance = 255;

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
        // Rounded half up: the values are never negative.
        const auto byte = [](double v) {
            return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0) + 0.5);
        };
        colour_.pixel8(x, y) =
            PF_Pixel8{255, byte(c.r * 255.0), byte(c.g * 255.0), byte(c.b * 255.0)};
        const std::uint8_t d = byte(distance);
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

void paint_sky_row(Painter& paint, int width, int height, int y) {
    const double t = y / (kHorizon * height);
    for (int x = 0; x < width; ++x) {
        paint.put(x, y, {0.02 + 0.06 * t, 0.03 + 0.08 * t, 0.10 + 0.16 * t}, kFarDistance);
    }
}

// A brick parapet across the bottom, at the target's distance: a wall whose texture shows at
// once that the focused distance stays sharp.
void paint_parapet_row(Painter& paint, int width, int height, int y) {
    const double course = static_cast<double>(height) / kBrickCourses;
    const double brick = course * kBrickLength;
    const double down = (y + 0.5 - kHorizon * height) / course;
    const bool capstone = down < kCapstone;
    const auto row = static_cast<int>(down - kCapstone);
    const double row_y = down - kCapstone - row;
    for (int x = 0; x < width; ++x) {
        const double grain =
            0.04 * hash01(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 1);
        if (capstone) {
            const double level = (down > kCapstoneShadow ? 0.10 : 0.36) + grain;
            paint.put(x, y, {level, level, level * 0.96}, kTargetDistance);
            continue;
        }
        // Every other course is laid half a brick along.
        const double along = (x + 0.5) / brick + (row % 2 ? 0.5 : 0.0);
        const auto column = static_cast<int>(along);
        const bool mortar = row_y < kMortar || (along - column) * kBrickLength < kMortar;
        if (mortar) {
            paint.put(x, y, {0.20 + grain, 0.19 + grain, 0.17 + grain}, kTargetDistance);
            continue;
        }
        const double shade = 0.8 + 0.4 * hash01(static_cast<std::uint32_t>(column),
                                                static_cast<std::uint32_t>(row), 5);
        paint.put(x, y, {(0.26 + grain) * shade, (0.12 + grain) * shade, (0.08 + grain) * shade},
                  kTargetDistance);
    }
}

void paint_sky_and_parapet(Painter& paint, int width, int height) {
    const int horizon = static_cast<int>(std::ceil(kHorizon * height));
    for (int y = 0; y < height; ++y) {
        if (y < horizon) {
            paint_sky_row(paint, width, height, y);
        } else {
            paint_parapet_row(paint, width, height, y);
        }
    }
}

// Towers along the horizon with a few lit windows, and street lamps in front of them: far
// lights, spaced so that each opens into a disc of its own when the focus is nearer.
void paint_city(Painter& paint, int width, int height) {
    const double horizon = kHorizon * height;
    const int tower_width = std::max(width / 24, 4);
    const int cell = std::max(height / kWindowRows, 2);
    for (int left = 0; left < width; left += tower_width) {
        const double top = horizon - height * (0.05 + 0.12 * hash01(left, 0, 2));
        for (int y = static_cast<int>(top); y < horizon; ++y) {
            for (int x = left; x < left + tower_width - 2; ++x) {
                const auto col = static_cast<std::uint32_t>(x / cell);
                const auto row = static_cast<std::uint32_t>(y / cell);
                const bool window = y < horizon - kDarkFloors * height && (x % cell) * 2 < cell &&
                                    (y % cell) * 2 < cell && hash01(col, row, 3) < kLitWindows;
                const Colour lit =
                    hash01(col, row, 4) < 0.5 ? Colour{1.0, 0.85, 0.55} : Colour{0.95, 0.95, 1.0};
                paint.put(x, y, window ? lit : Colour{0.05, 0.05, 0.08}, kFarDistance);
            }
        }
    }
    for (int k = 0; k < kStreetLamps; ++k) {
        const Colour lamp = k % 3 == 0 ? Colour{1.0, 0.55, 0.2} : Colour{1.0, 0.9, 0.6};
        paint.light((k + 0.5) * width / kStreetLamps, horizon - kLampHeight * height,
                    kLampRadius * height, lamp, kFarDistance);
    }
}

// A spoked star on a pole: fine detail that shows at once whether it is sharp.
void paint_target(Painter& paint, int width, int height) {
    const double cx = kTargetX * width;
    const double cy = kTargetY * height;
    const double radius = kTargetRadius * height;
    const double pole = kPoleHalfWidth * width;
    for (int y = static_cast<int>(cy); y < kHorizon * height; ++y) {
        for (int x = static_cast<int>(cx - pole); x <= cx + pole; ++x) {
            paint.put(x, y, {0.45, 0.45, 0.48}, kTargetDistance);
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
            paint.put(x, y, {level, level * 0.97, level * 0.9}, kTargetDistance);
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
        paint.light(x, y, kBulbRadius * height, colours[k % 5], kStringLightDistance);
    }
}

}  // namespace

DemoScene make_demo_scene(int width, int height) {
    DemoScene scene;
    scene.colour = std::make_unique<host::World>(width, height);
    scene.distance = std::make_unique<host::World>(width, height);
    Painter paint(*scene.colour, *scene.distance);
    paint_sky_and_parapet(paint, width, height);
    paint_city(paint, width, height);
    paint_target(paint, width, height);
    paint_string_lights(paint, width, height);
    scene.subject = {kTargetX * width, kTargetY * height};
    return scene;
}

}  // namespace cli
