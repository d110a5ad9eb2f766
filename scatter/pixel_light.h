// Adding one output pixel's light into the render's accumulation buffer.
#ifndef QB_SCATTER_PIXEL_LIGHT_H
#define QB_SCATTER_PIXEL_LIGHT_H

#include <cstdint>

#include "engine/light_curve.h"

// accum_pixel[k] += the 16-bit light of source level k, with the curve parameters a, b, c.
void light_pixel16(LightTables& tables, float* accum_pixel, const uint16_t* source_pixel, double a,
                   double b, double c);

// accum_pixel[k] += the 8-bit light of byte k, with the curve parameters a, b, c.
void light_pixel8(LightTables& tables, float* accum_pixel, const uint8_t* bytes, double a, double b,
                  double c);

#endif
