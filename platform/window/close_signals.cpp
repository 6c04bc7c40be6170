#include "platform/window/close_signals.h"

#include <atomic>
#include <csignal>
#include <mutex>

namespace platform {

namespace {

std::atomic<int> pendingSignal{0};
std::atomic<int> lastSignal{0};
std::atomic<uint32_t> signalCount{0};
std::atomic<bool> received{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free,
              "the signal handler needs lock-free counters");

extern "C" void OnCloseSignal(int signal)
{
    // The number first: a watch that sees the count moved reads it.
    lastSignal.store(signal);
    pendingSignal.store(signal);
    received.store(true);
    signalCount.fetch_add(1);
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

bool CloseSignalReceived()
{
    return received.load();
}

const char* CloseSignalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

CloseSignalWatch::CloseSignalWatch() : start_(signalCount.load()) {}

bool CloseSignalWatch::Caught() const
{
    return signalCount.load() != start_;
}

int CloseSignalWatch::Signal() const
{
    return Caught() ? lastSignal.load() : 0;
}

namespace detail {
void RecordCloseSignal(int signal)
{
    OnCloseSignal(signal);
}

void ForgetCloseSignals()
{
    TakeCloseSignal();
    received.store(false);
}
} // namespace detail

} // namespace platform
