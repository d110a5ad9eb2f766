// How the tool fails: every failure is one line of text and the exit status that goes with it.
//
// Principles shared by the tool's library (`qb_cli`):
// - A failure the user can act on is thrown as `CliError` with its exit status; nothing else is
//   thrown on purpose. The program prints the message as one line and exits with the status.
// - Texts the module gave are passed on as they stand; the tool's own texts name the file or
//   flag concerned.
// - Pixels the tool hands to the host live in `host::World`s the tool owns; nothing is freed by
//   hand.
#ifndef QB_CLI_CLI_ERROR_H
#define QB_CLI_CLI_ERROR_H

#include <stdexcept>
#include <string>

namespace cli {

// Exit statuses of the program.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitBadInput = 2;     // bad command line, unreadable or unusable input
inline constexpr int kExitEffectError = 3;  // the effect reported an error, or memory ran out
inline constexpr int kExitCancelled = 130;  // interrupted (the shell's code for SIGINT)

class CliError : public std::runtime_error {
  public:
    CliError(int exit_status, const std::string& message)
        : std::runtime_error(message), exit_status_(exit_status) {}
    int exit_status() const { return exit_status_; }

  private:
    int exit_status_;
};

// Shorthand for the commonest failure: input the tool cannot use.
[[noreturn]] inline void fail_input(const std::string& message) {
    throw CliError(kExitBadInput, message);
}

}  // namespace cli

#endif
