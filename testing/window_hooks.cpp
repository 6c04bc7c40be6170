#include "testing/window_hooks.h"

#include "platform/window/close_signals.h"
#include "platform/window/message_queue.h"
#include "platform/window/window.h"

namespace platform::testing {

void FailNextClassRegistration(uint32_t error)
{
    detail::FailNextClassRegistration(error);
}

void RecordCloseSignal(int signal)
{
    detail::RecordCloseSignal(signal);
}

void ResetWindowState(const std::string& className)
{
    UnregisterWindowClass(className);
    detail::ClearThisThreadQueue();
    detail::ForgetCloseSignals();
}

} // namespace platform::testing
