// The engine's failure codes, answered by the stage that failed and handed on by the pass.
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

// What a stage answers: code 0 when it succeeded, else one of the codes above with the stage's
// fixed text, which lives as long as the program.
struct EngineStatus {
    int32_t code = 0;
    const char* message = "";
    bool ok() const { return code == 0; }
};

#endif
