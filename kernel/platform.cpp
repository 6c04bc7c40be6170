#include "kernel/platform.h"

#include <atomic>
#include <iostream>

namespace {
std::atomic<Platform*> runningPlatform{nullptr};
}

Platform::Platform()
{
    std::cerr.clear();
    savedCerrBuf_ = std::cerr.rdbuf(&errorBuf_);
}

Platform::~Platform()
{
    ReleaseErrorStream();
    std::cerr.rdbuf(savedCerrBuf_);
    Platform* self = this;
    runningPlatform.compare_exchange_strong(self, nullptr);
}

Platform* GetPlatform()
{
    return runningPlatform.load();
}

void SetPlatform(Platform* platform)
{
    runningPlatform.store(platform);
}
