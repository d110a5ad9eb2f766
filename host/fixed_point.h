// The protocol's 16.16 fixed-point numbers in natural units, for the host and its callers.
#ifndef QB_HOST_FIXED_POINT_H
#define QB_HOST_FIXED_POINT_H

#include <cmath>

#include "sdk/effect_sdk.h"

namespace host {

inline PF_Fixed to_fixed(double value) {
    return static_cast<PF_Fixed>(std::llround(value * PF_FIXED_ONE));
}

inline double from_fixed(PF_Fixed value) {
    return static_cast<double>(value) / PF_FIXED_ONE;
}

}  // namespace host

#endif
