// The light of a float frame. Its channel values are scene-linear light already, so no film
// curve stands between them and the scatter: at Hardness 1 and Brightness 1 a render is the
// normalised spread of the light itself, and a point's energy is kept.
//
// A pass gathers three sums a pixel, in the slots the curve's passes use for other things:
// - in the alpha slot, the pixels of the step (W), each counting 1 whatever it holds: light is
//   spread over every pixel a disc covers, transparent ones included, so nothing is gained or
//   lost;
// - in the weight slot, their alpha (A): the coverage;
// - in the colour slots, their light as coverage times colour (N), as an object of that colour
//   covering that much of the pixel sends it. A pixel without alpha whose colour has light (an
//   additive glow, a flame) sends its colour as it is.
// Turned back, N / A is the colour of what covers a pixel (a soft edge keeps its colour out to
// its end, with no dark halo), and N / W the light falling on a pixel nothing covers; A / W is
// the blurred alpha.
//
// Hardness and Brightness keep the roles they have on the curve, continuously: Hardness h raises
// colour to the power h before the spread and the result to 1/h after it, so that above 1 bright
// pixels under a disc outweigh dark ones (harder, brighter discs) and below 1 dark ones gain;
// Brightness multiplies the light before it is turned back. Alpha is spread linearly.
#ifndef QB_ENGINE_LINEAR_LIGHT_H
#define QB_ENGINE_LINEAR_LIGHT_H

#include <algorithm>
#include <cmath>

class LinearLight {
  public:
    // What one pixel of the step counts in the alpha slot.
    static constexpr float kPixelWeight = 1.0f;
    // The largest light a channel carries. A disc of the largest blur adds up millions of cells
    // of up to 255 each in float32, and stays finite below this.
    static constexpr float kLargestLight = 1.0e20f;

    // A float channel value as the render carries it: NaN, negative values and -Inf as 0, +Inf
    // and anything above the largest light as the largest light.
    static float cleaned(float value) {
        return value > 0.0f ? std::min(value, kLargestLight) : 0.0f;
    }

    // A step buffer holds the step's pixels among zeros: a pixel of the step is marked by an
    // alpha that is positive or -0, so that a transparent pixel of the step (+0 when cleaned)
    // still counts, and the zeros a cleared buffer holds do not.
    static void mark_in_step(float* cleaned_pixel) {
        if (cleaned_pixel[0] == 0.0f) {
            cleaned_pixel[0] = -0.0f;
        }
    }
    static bool marked_in_step(const float* pixel) {
        return pixel[0] > 0.0f || std::signbit(pixel[0]);
    }

    // What a pass adds for a pixel of the step as the frame holds it (alpha first, any values):
    // the four slots and the weight.
    struct PixelLight {
        float slot[4];
        float weight;
    };

    LinearLight(double hardness, double brightness)
        : hardness_(hardness), brightness_(brightness), linear_(hardness == 1.0) {}

    PixelLight pixel_light(const float* pixel) const {
        const float alpha = std::min(cleaned(pixel[0]), 1.0f);
        // A glow has no coverage to scale its light by.
        const double coverage = alpha > 0.0f ? alpha : 1.0;
        PixelLight light{{kPixelWeight, 0.0f, 0.0f, 0.0f}, alpha};
        for (int k = 1; k < 4; ++k) {
            light.slot[k] = carried(brightness_ * coverage * powered(cleaned(pixel[k])));
        }
        return light;
    }

    // The colour value of a pixel whose sums are `colour_light` (N), `coverage` (A) and `pixels`
    // (W), where its alpha will be `alpha`: covered pixels take the colour of what covers them,
    // uncovered ones (alpha 0) the light that falls on them.
    float colour_value(float colour_light, float coverage, float pixels, float alpha) const {
        // Sums left by light that has passed are rounding residue, far below any pixel's share.
        constexpr float kLeastShare = 1.0e-9f;
        const bool covered = alpha > 0.0f && coverage > kLeastShare * pixels;
        const float divisor = covered ? coverage : pixels;
        return divisor > 0.0f ? unpowered(colour_light / divisor) : 0.0f;
    }

    // The blurred alpha of a pixel whose sums are A and W.
    static float alpha_value(float coverage, float pixels) {
        return pixels > 0.0f ? std::clamp(coverage / pixels, 0.0f, 1.0f) : 0.0f;
    }

  private:
    double powered(float value) const {
        return linear_ ? double{value} : std::pow(double{value}, hardness_);
    }
    float unpowered(float light) const {
        if (!(light > 0.0f)) {
            return 0.0f;
        }
        return linear_ ? light : static_cast<float>(std::pow(double{light}, 1.0 / hardness_));
    }
    static float carried(double light) {
        return static_cast<float>(std::min(light, double{kLargestLight}));
    }

    double hardness_;
    double brightness_;
    bool linear_;
};

#endif
