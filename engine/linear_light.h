// The light of a float frame. Its channel values are scene-linear light already, so no film
// curve stands between them and the scatter: at Hardness 1 and Brightness 1 a render is the
// normalised spread of the values themselves, and a point's energy is kept.
//
// Hardness and Brightness keep the roles they have on the film curve of 8- and 16-bit frames,
// continuously: Hardness h raises every value to the power h before the spread and the result to
// 1/h after it, so that above 1 the bright pixels under a disc outweigh the dark ones (harder,
// brighter-edged discs) and below 1 the dark ones gain; Brightness multiplies the light before it
// is turned back, as it multiplies the photon light of the curve. Alpha goes through the same
// power, without the Brightness, as on the curve.
#ifndef QB_ENGINE_LINEAR_LIGHT_H
#define QB_ENGINE_LINEAR_LIGHT_H

#include <algorithm>
#include <cfloat>
#include <cmath>

class LinearLight {
  public:
    // An unblurred pixel's weight: the float path's equivalent of the curve's middle light.
    static constexpr float kPixelWeight = 1.0f;
    // The largest light a channel carries. A disc of the largest blur adds up millions of cells
    // of up to 255 each in float32, and stays finite below this.
    static constexpr float kLargestLight = 1.0e20f;

    // A float channel value as the render carries it: NaN, negative values and -Inf as 0, +Inf
    // and anything above the largest light as the largest light.
    static float cleaned(float value) {
        return value > 0.0f ? std::min(value, kLargestLight) : 0.0f;
    }

    // A cleaned pixel (alpha first) as a pass reads it. A pixel without alpha whose colour has
    // light (an additive glow, a flame) is light all the same: it keeps that light with the
    // smallest alpha a float holds, so that it is spread like any other, not dropped.
    static void carry_glow(float* pixel) {
        if (pixel[0] == 0.0f && (pixel[1] > 0.0f || pixel[2] > 0.0f || pixel[3] > 0.0f)) {
            pixel[0] = FLT_MIN;
        }
    }

    LinearLight(double hardness, double brightness, float alpha_scale)
        : hardness_(hardness),
          brightness_(brightness),
          alpha_scale_(alpha_scale),
          linear_(hardness == 1.0) {}

    // The four lights (alpha first) of a pixel as the frame holds it, cleaned, a glow carried.
    void pixel_light(const float* pixel, float* light) const {
        float carried_pixel[4] = {cleaned(pixel[0]), cleaned(pixel[1]), cleaned(pixel[2]),
                                  cleaned(pixel[3])};
        carry_glow(carried_pixel);
        light[0] = alpha(carried_pixel[0]);
        for (int k = 1; k < 4; ++k) {
            light[k] = colour(carried_pixel[k]);
        }
    }

    // The light a cleaned colour value adds.
    float colour(float value) const { return carried(brightness_ * powered(value)); }

    // The light an alpha (cleaned) adds. A pixel with any alpha keeps some alpha light, however
    // small the power makes it: the pass counts a pixel's weight only where its alpha light is.
    float alpha(float value) const {
        if (!(value > 0.0f)) {
            return 0.0f;
        }
        return std::max(carried(brightness_ * powered(value * alpha_scale_)), FLT_MIN);
    }

    // A normalised colour light back to a channel value.
    float colour_value(float light) const { return unpowered(light); }

    // A normalised alpha light back to an alpha.
    float alpha_value(float light) const {
        return unpowered(static_cast<float>(light / brightness_)) / alpha_scale_;
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
    float alpha_scale_;
    bool linear_;
};

#endif
