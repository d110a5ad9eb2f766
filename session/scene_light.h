// Float pictures as the effect takes them: scene-linear light, straight (colour not multiplied
// by alpha), never negative and at most PF_FLOAT_LIGHT_MAX. Files and hosts hold other things: NaN
// and infinities from a renderer's bad samples, negative values from filters, and colour multiplied
// by alpha. These rules bring a file's or a host's values to light and back; they act on one pixel
// at a time and hold no state.
#ifndef QB_SESSION_SCENE_LIGHT_H
#define QB_SESSION_SCENE_LIGHT_H

#include "host/world.h"

namespace session {

// NaN, -Inf and negative values are no light (0); +Inf and values above the largest light the
// effect carries are that largest light, PF_FLOAT_LIGHT_MAX.
float clean_light(float value);

// Cleans all four channels; true when any of them was not light already.
bool clean_pixel(PF_PixelFloat& pixel);

// Colour divided by alpha where alpha is above 0 (and kept below the largest light). Where alpha
// is 0 the colour is kept as it is: such colour is light with no coverage, an additive glow,
// and dividing would lose it.
PF_PixelFloat unpremultiplied(const PF_PixelFloat& pixel);

// The inverse: colour multiplied by alpha where alpha is above 0, kept where it is 0.
PF_PixelFloat premultiplied(const PF_PixelFloat& pixel);

// Cleans every pixel of a float world; answers how many pixels were not light already.
long clean_world(host::World& world);

void unpremultiply_world(host::World& world);

}  // namespace session

#endif
