#pragma once
// SIGINT, SIGTERM and SIGHUP close the windows instead of killing the process,
// so a person ends the program in its normal order with Ctrl+C. The handler only
// records the signal; the message queue turns it into the close message.
namespace platform {

// Installs the handlers (once per process).
void WatchCloseSignals();
// The recorded signal number, or 0, and forgets it.
int TakeCloseSignal();
// True while a signal waits to be taken.
bool CloseSignalPending();

namespace detail {
// What the handler does with a signal (tests record one without raising it).
void RecordCloseSignal(int signal);
} // namespace detail

} // namespace platform
