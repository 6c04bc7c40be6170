#include "kernel/win_platform.h"

#include <iostream>

#include "kernel/error_stream.h"
#include "platform/os/clock.h"
#include "platform/os/console.h"
#include "platform/os/cpu.h"
#include "platform/os/dynamic_library.h"
#include "platform/os/paths.h"
#include "platform/os/process.h"
#include "platform/window/close_signals.h"

MainWindow::~MainWindow()
{
    if (handle)
        platform::DestroyWindow(handle);
}

platform::Window* MainWindow::CreateMainWindow(platform::Instance* instance, int width, int height)
{
    windowClass = {};
    windowClass.style = platform::kClassHRedraw | platform::kClassVRedraw;
    windowClass.procedure = WndProc;
    windowClass.instance = instance;
    windowClass.iconResource = 101;
    windowClass.cursor = platform::kArrowCursor;
    windowClass.background = platform::kWhiteBrush;
    windowClass.className = "Korvane";
    if (!platform::RegisterWindowClass(windowClass)) {
        std::cout << "Can't register window class: " << platform::LastWindowError() << "\n";
        errorTwoLines = false;
        GetErrorStream() << "Can't register window class.\n";
    }

    platform::Rect rect{0, 0, width, height};
    platform::AdjustWindowRect(rect, platform::kStyleOverlappedWindow, false);
    // A size near the end of int keeps the largest window there is room for.
    const int windowWidth = platform::ClampedInt(int64_t{rect.right} - rect.left);
    const int windowHeight = platform::ClampedInt(int64_t{rect.bottom} - rect.top);
    handle = platform::CreateWindow(0, "Korvane", "Zandrel Engine", platform::kStylePopup, 0, 0, windowWidth,
                                    windowHeight, nullptr, nullptr, instance);
    std::cout << static_cast<const void*>(handle) << "\n";
    platform::ShowWindow(handle);
    platform::UpdateWindow(handle);
    return handle;
}

intptr_t WndProc(platform::Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == platform::kMsgDestroy) {
        platform::PostQuitMessage(0);
        return 0;
    }
    return platform::DefaultWindowProc(window, message, wParam, lParam);
}

double SecondsFromMilliseconds(uint32_t milliseconds)
{
    const uint32_t shifted = milliseconds + 1000000u;
    return static_cast<double>(shifted) * 0.001;
}

WinPlatform::WinPlatform() = default;

WinPlatform::~WinPlatform() = default;

std::string WinPlatform::GetCurrentDir()
{
    // The whole directory is returned even past the old buffer's size, so a
    // long path never yields a stale or cut one.
    auto dir = platform::os::CurrentDirectory();
    if (!dir)
        return {};
    if (dir->size() + 1 > kPathBufferSize)
        std::cout << "Not enough space for current directory path!\n";
    return *dir;
}

std::string WinPlatform::GetExeDir()
{
    exePath_ = platform::os::ExecutablePath();
    const size_t slash = exePath_.rfind('/');
    if (slash == 0)
        exePath_.resize(1); // the root folder keeps its separator
    else if (slash != std::string::npos)
        exePath_.resize(slash);
    return exePath_;
}

bool WinPlatform::SetCurrentDir(const std::string& path)
{
    return platform::os::SetCurrentDirectory(path);
}

double WinPlatform::GetSeconds()
{
    return SecondsFromMilliseconds(platform::os::MillisecondClock());
}

bool WinPlatform::HasSSE2()
{
    return platform::os::HasProcessorFeature(platform::os::kFeatureSse2);
}

ProcessRun WinPlatform::RunProcess(const std::string& relativePath, const std::string& parameters)
{
    if (platform::CloseSignalReceived()) {
        std::cout << relativePath << " was not run: the program is closing.\n";
        return {ProcessOutcome::kStopped};
    }
    const std::string dir = GetCurrentDir();
    const std::string program = dir + relativePath;
    std::cout << "Running " << program << " with params " << parameters << "...\n";
    std::cout.flush(); // the child writes to the same output
    const auto result =
        platform::os::RunProgram(program, parameters, dir, [] { return platform::CloseSignalReceived(); });
    if (result.stopped) {
        std::cout << relativePath << (result.started ? " was ended" : " was not run")
                  << ": the program is closing.\n";
        return {ProcessOutcome::kStopped};
    }
    if (!result.started) {
        errorTwoLines = false;
        GetErrorStream() << "Error creating process " << relativePath << "\n";
        return {ProcessOutcome::kNotStarted};
    }
    if (result.signal != 0)
        std::cout << relativePath << " was ended by " << platform::os::SignalText(result.signal) << ".\n";
    return {ProcessOutcome::kEnded, result.exitCode, result.signal};
}

void WinPlatform::SleepSeconds(float seconds)
{
    const float milliseconds = seconds * 1000.0f;
    if (!(milliseconds >= 1.0f))
        return;
    platform::os::SleepMilliseconds(milliseconds >= 4294967295.0f ? 0xFFFFFFFFu : static_cast<uint32_t>(milliseconds));
}

void* WinPlatform::LoadDll(const std::string& name)
{
    void* module = platform::os::LoadLibrary(name);
    if (!module) {
        errorTwoLines = false;
        GetErrorStream() << "Can't load DLL: " << name << "\n";
    }
    return module;
}

void* WinPlatform::GetDllFunction(void* module, const std::string& name)
{
    return platform::os::FindLibraryFunction(module, name);
}

void WinPlatform::UnloadDll(void* module)
{
    if (!platform::os::UnloadLibrary(module)) {
        errorTwoLines = false;
        GetErrorStream() << "Can't unload DLL.\n";
    }
}

std::string WinPlatform::GetModulePath()
{
    return platform::os::ExecutablePath();
}

int WinPlatform::PumpMessages()
{
    if (platform::PeekMessage(message, true)) {
        platform::TranslateMessage(message);
        platform::DispatchMessage(message);
        return message.message == platform::kMsgQuit ? 1 : 0;
    }
    if (!pauseFrames && !RunFrame())
        return 1;
    return 0;
}

void WinPlatform::OpenConsole()
{
    platform::os::Console* console = platform::os::OpenConsole();
    platform::os::SetConsoleBufferLines(console, 2500);
    consoleOutput = console;
    platform::os::BindStandardStreamsToConsole(console);
}
