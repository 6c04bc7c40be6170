#pragma once
// A lock that spins a while before it sleeps: a thread that finds it held
// tries again up to 1024 times, pausing between tries, and only then waits in
// the system. The engine's locks are held for a handful of operations, so a
// thread that meets one held almost always gets it while spinning, without the
// two system calls of sleeping and being woken.
#include <mutex>

class CriticalSection {
public:
    static constexpr unsigned kSpinCount = 1024;

    void lock()
    {
        for (unsigned spins = 0; spins < kSpinCount; ++spins) {
            if (mutex_.try_lock())
                return;
            __builtin_ia32_pause();
        }
        mutex_.lock();
    }
    bool try_lock() { return mutex_.try_lock(); }
    void unlock() { mutex_.unlock(); }

    // The mutex underneath, for waiting on a condition variable.
    std::mutex& Native() { return mutex_; }

private:
    std::mutex mutex_;
};
