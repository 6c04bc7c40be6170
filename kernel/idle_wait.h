#pragma once
// How a thread with nothing to do waits for another thread to give it work:
// first it spins for a few microseconds, so that work following work is picked
// up without a trip through the scheduler; then it yields the processor a
// bounded number of times; after that it should sleep until woken. Engine
// threads wait this way; so does the benchmark's plain hand-off they are
// measured against.
#include <chrono>
#include <thread>

// Runs the first two phases until `ready()` holds. True when it did, false when
// the caller should now sleep.
template <class Ready>
bool SpinThenYield(Ready ready)
{
    constexpr auto kSpinFor = std::chrono::microseconds(20);
    constexpr int kYields = 2000;
    const auto spinUntil = std::chrono::steady_clock::now() + kSpinFor;
    for (unsigned spins = 1;; ++spins) {
        if (ready())
            return true;
        __builtin_ia32_pause();
        if (spins % 64 == 0 && std::chrono::steady_clock::now() >= spinUntil)
            break;
    }
    for (int i = 0; i < kYields; ++i) {
        if (ready())
            return true;
        std::this_thread::yield();
    }
    return ready();
}
