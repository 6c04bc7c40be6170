#include "platform/os/random.h"

#include <cstdint>

namespace platform::os {

namespace {
thread_local uint32_t randState = 1;
}

int Rand()
{
    randState = randState * 214013u + 2531011u;
    return static_cast<int>((randState >> 16) & 0x7fffu);
}

namespace detail {
void ResetRand()
{
    randState = 1;
}
} // namespace detail

} // namespace platform::os
