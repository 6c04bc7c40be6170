#pragma once
// SIGINT, SIGTERM and SIGHUP close the windows instead of killing the process,
// so a person ends the program in its normal order with Ctrl+C. The handler only
// records the signal; the message queue turns it into the close message. A
// modal box watches for one while it waits (CloseSignalWatch): a close then
// ends its wait without an answer.
#include <cstdint>

namespace platform {

// Installs the handlers (once per process).
void WatchCloseSignals();
// The recorded signal number, or 0, and forgets it.
int TakeCloseSignal();
// True while a signal waits to be taken.
bool CloseSignalPending();
// True once a close signal has come, taken or not: the program is closing, so
// nothing long (an effect compile, say) should start, and what runs should end.
bool CloseSignalReceived();
// "SIGINT", "SIGTERM", "SIGHUP", or "a signal" for another number.
const char* CloseSignalName(int signal);

// Whether a close signal has come since the watch was made, whoever took it
// since: each one is also counted, and taking it does not undo the count.
class CloseSignalWatch {
public:
    CloseSignalWatch();
    bool Caught() const;
    // The last close signal's number once one was caught, else 0.
    int Signal() const;

private:
    uint32_t start_;
};

namespace detail {
// What the handler does with a signal (tests record one without raising it).
void RecordCloseSignal(int signal);
// Takes a waiting signal and forgets that any came (a test's fresh start).
void ForgetCloseSignals();
} // namespace detail

} // namespace platform
