#include "platform/window/close_signals.h"

#include <atomic>
#include <csignal>
#include <mutex>

namespace platform {

namespace {

std::atomic<int> pendingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnCloseSignal(int signal)
{
    pendingSignal.store(signal);
}

} // namespace

void WatchCloseSignals()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_handler = OnCloseSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaction(signal, &action, nullptr);
    });
}

int TakeCloseSignal()
{
    return pendingSignal.exchange(0);
}

bool CloseSignalPending()
{
    return pendingSignal.load() != 0;
}

namespace detail {
void RecordCloseSignal(int signal)
{
    pendingSignal.store(signal);
}
} // namespace detail

} // namespace platform
