#include "platform/os/memory_shortage.h"

#include <cxxabi.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "platform/os/address_space.h"
#include "platform/os/terminal.h"

namespace platform::os {

namespace {

std::terminate_handler previousHandler = nullptr;
std::atomic<bool> ending{false};

// As WriteToTerminal, without making a std::string: memory is what ran short.
void WriteToStandardError(const char* text)
{
    for (size_t done = 0, size = std::strlen(text); done < size;) {
        const ssize_t n = ::write(STDERR_FILENO, text + done, size - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// The lines standard output holds go out before the last one, unless another
// thread is writing there: waiting for it might be for ever. A buffer of its
// own that std::cout may write through instead (the log file's) is left
// alone: no lock of this stream's covers it, and another thread may be in it.
void FlushStandardOutput()
{
    if (::ftrylockfile(stdout) != 0)
        return;
    std::fflush(stdout);
    ::funlockfile(stdout);
}

bool ShortOfMemory()
{
    // `throw;` with nothing in hand would come straight back here.
    if (!abi::__cxa_current_exception_type())
        return false;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
        return false;
    }
}

[[noreturn]] void EndOnUnhandledException()
{
    if (ShortOfMemory())
        EndForMemoryShortage();
    if (previousHandler)
        previousHandler();
    std::abort();
}

} // namespace

void EndOnMemoryShortage()
{
    if (std::get_terminate() == EndOnUnhandledException)
        return;
    rlimit space{};
    if (::getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY)
        ::mallopt(M_ARENA_MAX, 1);
    previousHandler = std::set_terminate(EndOnUnhandledException);
}

void EndForMemoryShortage(const char* purpose)
{
    // One line, from the first thread to get here; the others wait for its end.
    if (ending.exchange(true))
        for (;;)
            ::pause();
    FlushStandardOutput();
    RestoreTerminalForGood();
    char line[160];
    std::snprintf(line, sizeof line, "Out of memory%s%s: the program ends.\n", purpose ? " for " : "",
                  purpose ? purpose : "");
    WriteToStandardError(line);
    ::_exit(1);
}

bool RoomFor(size_t bytes)
{
    void* span = ReserveAddressSpace(bytes);
    if (!span)
        return false;
    ReleaseAddressSpace(span, bytes);
    return true;
}

bool RoomForThreads(size_t threads, size_t bytes)
{
    size_t stack = 8u << 20;
    pthread_attr_t defaults;
    if (::pthread_getattr_default_np(&defaults) == 0) {
        ::pthread_attr_getstacksize(&defaults, &stack);
        ::pthread_attr_destroy(&defaults);
    }
    const size_t guard = 4096;
    return RoomFor(threads * (stack + guard) + bytes);
}

} // namespace platform::os
