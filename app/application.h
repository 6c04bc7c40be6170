#pragma once
// The program's life: the entry point, the fixed order in which the engine-wide
// services start, the main loop, and the fixed order in which they are released.
namespace platform {
struct Instance;
} // namespace platform

class Application {
public:
    // Starts everything, runs the main loop, releases everything; returns the
    // exit code: 0, or 1 when the start-up failed and the run could do nothing.
    int RunApplication();
};

Application* GetApplication();
void ReleaseApplication();

// Builds the platform, checks the processor, makes the executable's folder the
// current directory, runs and shuts down the platform, then destroys it. False
// when the start-up failed, so the run did none of its work.
bool RunPlatform();

// The entry point's work: keeps the instance, runs the application, releases it;
// returns the application's exit code.
int WinMain(platform::Instance* instance);
