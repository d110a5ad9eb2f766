// How the effect session fails: every failure is one line of text and the kind of failure it is,
// which each front end reports in its own way (the tool as its exit status, the GEGL operation as
// a warning).
//
// Principles shared by the session's library (`qb_effect_session`) and the front ends built on it:
// - A failure the user can act on is thrown as `SessionError` with its kind; nothing else is
//   thrown on purpose.
// - Texts the module gave are passed on as they stand; our own texts name the file, flag or
//   control concerned.
// - Pixels handed to the host live in `host::World`s the caller owns; nothing is freed by hand.
#ifndef QB_SESSION_SESSION_ERROR_H
#define QB_SESSION_SESSION_ERROR_H

#include <stdexcept>
#include <string>

namespace session {

enum class FailureKind {
    bad_input,      // a bad request, or unreadable or unusable input
    effect_error,   // the effect reported an error
    out_of_memory,  // the effect ran out of memory
    cancelled,      // the user asked the render to stop
};

class SessionError : public std::runtime_error {
  public:
    SessionError(FailureKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    FailureKind kind() const { return kind_; }

  private:
    FailureKind kind_;
};

// Shorthand for the commonest failure: input that cannot be used.
[[noreturn]] inline void fail_input(const std::string& message) {
    throw SessionError(FailureKind::bad_input, message);
}

}  // namespace session

#endif
