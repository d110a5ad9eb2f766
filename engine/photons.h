// The photon light of a pass: per channel level, the light one source pixel of that level carries
// (level_light), which the scatter loop weights by the stamp's cells as it gathers, so no table
// of light per pair of cell values is built; and the level map that turns an alpha level into
// the level whose light the weight sum carries.
#ifndef QB_ENGINE_PHOTONS_H
#define QB_ENGINE_PHOTONS_H

#include <climits>
#include <cstdint>
#include <optional>

#include "engine/engine_failures.h"

struct PhotonLight {
    static constexpr int kLevelMapSize = 65536;

    // Fills the tables for `levels` levels; refuses more levels than the tables hold.
    EngineStatus make_photon(int32_t levels, double hardness, double brightness);
    // A float frame's pass: no tables, since its light is its value; the middle light is what
    // one pixel of the step counts.
    void make_linear();

    // (levels - 1) / 2, truncated, and its light.
    uint16_t mid_level = 0;
    float mid_light = 0.0f;
    uint16_t level_map[kLevelMapSize] = {};
    // The photon light P rounded to float32.
    float level_light[kLevelMapSize] = {};
    // Levels below this one have no light and every level from it on has some, so that a
    // pixel's levels tell whether a light of it is 0. A table where that does not hold has it
    // beyond every level, and every pixel counts as unlit.
    int32_t first_lit_level = INT32_MAX;

    // What the tables were made for: none before make_photon and after make_linear. Every pass
    // of a depth render asks for the same tables, and 16-bit ones take a millisecond to make.
    struct Made {
        int32_t levels;
        double hardness;
        double brightness;
        bool operator==(const Made&) const = default;
    };
    std::optional<Made> made;
};

#endif
