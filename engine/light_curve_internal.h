// Read-only views of the light curve's module-wide caches, so that their keying can be checked.
#ifndef QB_ENGINE_LIGHT_CURVE_INTERNAL_H
#define QB_ENGINE_LIGHT_CURVE_INTERNAL_H

#include <cstdint>

namespace light_curve {

struct CacheKey {
    double a;
    double b;
    double c;
};

CacheKey table8_key();
CacheKey table16_key();
// The raw 16-bit table entry: 0.0 while it has not been computed for the current key.
float table16_entry(uint16_t index);

}  // namespace light_curve

#endif
