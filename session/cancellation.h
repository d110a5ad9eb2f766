// Ctrl-C (SIGINT) and a scheduler's SIGTERM ask the running render to stop. The request is a
// flag the host's progress callback hands to the module as "cancel"; the module then ends the
// render, and nothing is written. A second Ctrl-C ends the program at once.
#ifndef QB_SESSION_CANCELLATION_H
#define QB_SESSION_CANCELLATION_H

namespace session {

void install_cancel_handlers();
bool cancel_requested();

}  // namespace session

#endif
