#pragma once
// The running platform of this system: the clock, paths, processes and
// libraries of the operating system, and the main window, the last window
// message and the console that the start-up uses. PumpMessages is one cycle of
// the main loop; what a frame shows comes from RunFrame, which the program's
// own platform (app/app_platform.h) gives together with Run and Shutdown.
#include <cstdint>
#include <string>

#include "kernel/platform.h"
#include "platform/window/message_queue.h"
#include "platform/window/window.h"

namespace platform::os { struct Console; }

// The main window: the class record it was registered with and its handle.
struct MainWindow {
    MainWindow() = default;
    ~MainWindow(); // destroys the window when there is one
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Registers the class "Korvane" and creates the popup window "Zandrel Engine"
    // sized as an overlapped window around width x height; prints its handle.
    platform::Window* CreateMainWindow(platform::Instance* instance, int width, int height);

    platform::WindowClass windowClass;
    platform::Window* handle = nullptr;
};

// The main window's procedure: its destruction posts the quit message.
intptr_t WndProc(platform::Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

class WinPlatform : public Platform {
public:
    WinPlatform();
    ~WinPlatform() override;

    std::string GetCurrentDir() override;
    std::string GetExeDir() override;
    bool SetCurrentDir(const std::string& path) override;
    double GetSeconds() override;
    bool HasSSE2() override;
    // Waits without a time limit: the program bounds its own work. A close
    // signal (Ctrl+C, SIGTERM, SIGHUP) ends the wait, and the program, at
    // once; that is said in a line, as is a program ended by a signal.
    ProcessRun RunProcess(const std::string& relativePath, const std::string& parameters) override;
    void SleepSeconds(float seconds) override;
    void* LoadDll(const std::string& name) override;
    void* GetDllFunction(void* module, const std::string& name) override;
    void UnloadDll(void* module) override;
    std::string GetModulePath() override;

    // One cycle of the main loop: handles one pending window message or, when
    // none is pending, runs one frame. 1 ends the program, 0 goes on.
    int PumpMessages();
    // One frame of what the program shows; false ends the program. The base
    // shows nothing and goes on.
    virtual bool RunFrame() { return true; }
    // logMode 1: the console with a 2500-line buffer takes the standard streams.
    void OpenConsole();

    MainWindow mainWindow;
    platform::Message message;
    platform::os::Console* consoleOutput = nullptr;

private:
    std::string exePath_;
};

// The clock reading of a millisecond count: 1000 s ahead, wrapping with it.
double SecondsFromMilliseconds(uint32_t milliseconds);

// Paths longer than this did not fit the system's path buffer.
inline constexpr size_t kPathBufferSize = 2048;
