#pragma once
// Opens an address with the desktop's default handler for its scheme.

#include <poll.h>

#include <string>

namespace Platform::Linux {

// Starts handing `address` to its default handler, or to xdg-open when the
// desktop's MIME settings know none, and returns without waiting for either.
// False when the hand-over could not even begin (no GIO; no handler and no
// xdg-open); nothing is printed. A handler that the desktop starts through
// the session bus has the address only once it has answered; until then the
// hand-over is in progress, and the event loop must serve it.
bool OpenAddress(const std::string& address);

// True while a hand-over started by OpenAddress has not finished.
bool HandOversInProgress();

// For the event loop while hand-overs are in progress: sleeps until one of
// `fds` is ready or a hand-over has work to do, and does that work. Fills the
// revents of `fds`; returns false when polling failed for a reason other
// than a signal.
bool WaitServingHandOvers(pollfd* fds, int count);

// Serves the hand-overs in progress until none is left or `timeoutMs` have
// passed, whichever comes first.
void FinishHandOvers(unsigned timeoutMs);

}  // namespace Platform::Linux
