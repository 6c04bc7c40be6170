#pragma once
// The program's life: the entry point, the fixed order in which the engine-wide
// services start, the main loop, and the fixed order in which they are released.
namespace platform {
struct Instance;
} // namespace platform

class Application {
public:
    // Starts everything, runs the main loop, releases everything; returns 0.
    int RunApplication();
};

Application* GetApplication();
void ReleaseApplication();

// Builds the platform, checks the processor, makes the executable's folder the
// current directory, runs and shuts down the platform, then destroys it.
void RunPlatform();

// The entry point's work: keeps the instance, runs the application, releases it.
int WinMain(platform::Instance* instance);
