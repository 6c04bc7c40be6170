#include "kernel/window_handles.h"

namespace {
platform::Instance* instanceHandle = nullptr;
platform::Window* mainWindowHandle = nullptr;
} // namespace

platform::Instance* GetInstanceHandle()
{
    return instanceHandle;
}

platform::Window* GetMainWindowHandle()
{
    return mainWindowHandle;
}

void SetInstanceHandle(platform::Instance* instance)
{
    instanceHandle = instance;
}

void SetMainWindowHandle(platform::Window* window)
{
    mainWindowHandle = window;
}
