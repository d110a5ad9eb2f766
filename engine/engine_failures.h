// The engine's failure codes, left in BokehEngine::error_code by the stage that failed, and the
// codes of check_leaks.
#ifndef QB_ENGINE_ENGINE_FAILURES_H
#define QB_ENGINE_ENGINE_FAILURES_H

#include <cstdint>

namespace engine_failure {

inline constexpr int32_t kCancelled = 1;
inline constexpr int32_t kPatternMemory = 2;
inline constexpr int32_t kResizeMemory = 4;
inline constexpr int32_t kSmearMemory = 7;
inline constexpr int32_t kStampMemory = 10;
inline constexpr int32_t kStampHeld = 11;
inline constexpr int32_t kLightRowsMemory = 14;
inline constexpr int32_t kSourceMemory = 16;
inline constexpr int32_t kSourceHeld = 17;
// Inputs that would make a stage write past one of its buffers or tables.
inline constexpr int32_t kStampTooTall = 18;
inline constexpr int32_t kSourceGeometry = 19;
inline constexpr int32_t kIrisGeometry = 20;
inline constexpr int32_t kLevelsOutOfRange = 21;

}  // namespace engine_failure

// What check_leaks answers: the first buffer a pass still holds, in the order it looks.
namespace engine_leak {

inline constexpr int32_t kSource = 1;  // Src_Data_sh, or the light rows made from it
inline constexpr int32_t kStamp = 3;
inline constexpr int32_t kSizePattern = 4;
inline constexpr int32_t kPattern = 7;
inline constexpr int32_t kRowFirst = 8;
inline constexpr int32_t kRowLast = 9;

}  // namespace engine_leak

#endif
