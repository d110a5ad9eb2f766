// The tool's exit statuses: scripts and farm schedulers tell failures apart by them.
#ifndef QB_CLI_EXIT_STATUS_H
#define QB_CLI_EXIT_STATUS_H

#include "session/session_error.h"

namespace cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitEffectError = 3;
inline constexpr int kExitCancelled = 130;  // the shell's code for SIGINT

constexpr int exit_status(session::FailureKind kind) {
    switch (kind) {
        case session::FailureKind::bad_input:
            return kExitBadInput;
        case session::FailureKind::effect_error:
        case session::FailureKind::out_of_memory:
            return kExitEffectError;
        case session::FailureKind::cancelled:
            return kExitCancelled;
    }
    return kExitEffectError;
}

}  // namespace cli

#endif
