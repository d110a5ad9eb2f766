// How many channel levels a pass has: 8-bit channels run 0..255, 16-bit ones 0..32768 (white is
// 32768, so that halving and doubling stay exact). A channel value indexes the light tables.
#ifndef QB_ENGINE_CHANNEL_LEVELS_H
#define QB_ENGINE_CHANNEL_LEVELS_H

#include <cstdint>

inline constexpr int32_t kLevels8 = 256;
inline constexpr int32_t kLevels16 = 32769;

#endif
