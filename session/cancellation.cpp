#include "session/cancellation.h"

#include <csignal>

namespace session {
namespace {

volatile std::sig_atomic_t cancel_flag = 0;

void on_signal(int) {
    cancel_flag = 1;
}

}  // namespace

void install_cancel_handlers() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    // The handler runs once; the next signal takes its default course.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool cancel_requested() {
    return cancel_flag != 0;
}

}  // namespace session
