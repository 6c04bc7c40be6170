#pragma once
// The instance handle and the main window's handle: set during start-up, read
// by the services that need them (the graphics device presents to the window,
// input binds to both). Null until set.
namespace platform {
class Window;
struct Instance;
} // namespace platform

platform::Instance* GetInstanceHandle();
platform::Window* GetMainWindowHandle();
void SetInstanceHandle(platform::Instance* instance);
void SetMainWindowHandle(platform::Window* window);
