#include "app/application.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <string>

#include "app/app_platform.h"
#include "demo/shadow_demo.h"
#include "kernel/engine_threads.h"
#include "kernel/error_stream.h"
#include "kernel/file_system.h"
#include "kernel/global_objects.h"
#include "kernel/queue_registry.h"
#include "kernel/settings.h"
#include "kernel/window_handles.h"
#include "net/net_thread.h"
#include "platform/os/aligned_memory.h"
#include "platform/os/memory_shortage.h"
#include "render/device/d3d_context.h"
#include "render/device/render_device.h"
#include "scene/input_devices.h"
#include "scene/key_bindings.h"
#include "scene/physics_world.h"
#include "script/script_host.h"

namespace {

Application* application = nullptr;

// Each engine-wide service has one place below, in the order it starts or is
// released.

// --- Before the platform (RunApplication) ---

// The script engine, its built-ins, value types and queued registrations.
void StartScriptHost()
{
    GetScriptHost()->InitScriptEngine();
}

// The physics world's dispatcher and solver. Bullet writes into the pools it
// makes first (4096 contact manifolds and as many collision algorithms, a few
// MB) without looking whether it got them: it starts only with room for them.
void StartPhysicsWorld()
{
    if (!platform::os::RoomFor(16u << 20))
        platform::os::EndForMemoryShortage("the physics world");
    GetPhysicsWorld()->SetupDispatcher();
}

// --- Inside Run, in order ---

// The current directory at the root of the file system, then the archives of
// section FileSystem. Its first use also creates the IO thread object.
void MountFileSystem()
{
    GetFileSystem()->Mount(GetPlatform()->GetCurrentDir(), "");
    GetFileSystem()->MountArchives();
}

// "log.txt" opened empty. What stands in the way, or "" when it opened: a
// folder, pipe or device of that name is never opened, since a pipe would
// hold up the start until someone read it.
std::string OpenLogFile(std::ofstream& log)
{
    std::error_code error;
    const auto type = std::filesystem::status("log.txt", error).type();
    if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::regular &&
        type != std::filesystem::file_type::none)
        return "it is not a regular file";
    errno = 0;
    log.open("log.txt", std::ios::out | std::ios::trunc);
    if (log.is_open())
        return {};
    return errno != 0 ? std::strerror(errno) : "it cannot be opened";
}

// The Direct3D object.
void CreateDirect3D()
{
    GetD3DContext()->CreateD3D();
}

// Section Graphics into the render device: antialiasing, fullscreen, width,
// height, vsync, alphaToCoverage.
void CopyDeviceSettings()
{
    GetRenderer()->CopyGraphicsSettings(GetSettings());
}

// The device, from the copied settings. False when there is none: its reason
// has been reported, and the run ends without its demonstration and main loop.
bool CreateRenderDevice()
{
    return GetD3DContext()->CreateDevice();
}

// DirectInput for the instance and the main window.
void StartInput()
{
    GetDirectInput()->InitInput(GetInstanceHandle(), GetMainWindowHandle());
}

// --- The engine threads ---

// PumpMessages becomes the render thread's work function.
void InstallMessagePump(WinPlatform& host)
{
    GetRenderThread()->SetWorkFunction([&host] { return host.PumpMessages(); });
}

// IOTHREAD on an operating-system thread of its own.
void AddIoThread()
{
    GetQueueRegistry()->AddThread(GetIOThread(), false);
}

// With section net's async set: the network endpoint is bound and NETTHREAD
// runs on an operating-system thread of its own.
void StartNetworkThread()
{
    if (!GetSettings().GetBool("net", "async"))
        return;
    // ZeroMQ starts two threads of its own with the endpoint and aborts when
    // one cannot have its stack.
    if (!platform::os::RoomForThreads(2, 16u << 20))
        platform::os::EndForMemoryShortage("the network link");
    // An endpoint that cannot be bound has been reported; the run goes on
    // without the network link.
    if (!GetNetThread()->InitNetwork())
        return;
    GetQueueRegistry()->AddThread(GetNetThread(), false);
}

// The main loop, on the main thread: one message or one frame per cycle, until
// the quit message or a frame that asks to end. Adding RENDERTHREAD inline makes
// its loop this one; it returns once every thread has been stopped.
void RunMainLoop()
{
    GetQueueRegistry()->AddThread(GetRenderThread(), true);
}

// --- Shutdown of the platform ---

// The queue registry's counters, then the render and IO thread objects, then
// the network link's endpoint (its thread has ended; the object stays).
void ReleaseEngineThreads()
{
    GetQueueRegistry()->ResetQueues();
    DestroyRenderThread();
    DestroyIOThread();
    GetNetThread()->ReleaseNetwork();
}

// The key bindings, then DirectInput.
void ReleaseInputDevices()
{
    DestroyControls();
    GetDirectInput()->ReleaseInput();
}

// --- After the platform (RunApplication), in order ---

// Every object of the global object list, in registration order.
void ReleaseGlobalObjects()
{
    DeleteGlobalObjects();
}

// The Direct3D context: stereo handle, device, Direct3D object.
void ReleaseDirect3D()
{
    DestroyD3DContext();
}

// The physics world.
void ReleasePhysicsWorld()
{
    DestroyPhysicsWorld();
}

// The script host: its engine, shared context and lists.
void ReleaseScriptEngine()
{
    ReleaseScriptHost();
}

// The file system (its pools stay until the process ends).
void ReleaseFileSystemService()
{
    DestroyFileSystem();
}

// The queue registry, destroyed between its two lines.
void ReleaseTaskQueues()
{
    ReleaseQueueRegistry();
}

} // namespace

Application* GetApplication()
{
    if (!application)
        application = new Application;
    return application;
}

void ReleaseApplication()
{
    delete application;
    application = nullptr;
}

int WinMain(platform::Instance* instance)
{
    SetInstanceHandle(instance);
    const int exitCode = GetApplication()->RunApplication();
    std::cout << "[dbg] after main\n";
    ReleaseApplication();
    std::cout << "[dbg] released app\n";
    return exitCode;
}

int Application::RunApplication()
{
    StartScriptHost();
    StartPhysicsWorld();
    const bool didItsWork = RunPlatform();

    ReleaseGlobalObjects();
    ReleaseDirect3D();
    ReleasePhysicsWorld();
    ReleaseScriptEngine();
    ReleaseFileSystemService();
    ReleaseTaskQueues();
    std::cout << "[dbg] released tm\n";
    ReleaseSettings();
    std::cout << "[dbg] released conf\n";
    return didItsWork ? 0 : 1;
}

bool RunPlatform()
{
    AppPlatform platform;
    if (!platform.HasSSE2()) {
        errorTwoLines = false;
        GetErrorStream() << "Current CPU doesn't support SSE2.\n";
    }
    platform.SetCurrentDir(platform.GetExeDir());
    platform.Run();
    platform.Shutdown();
    return !platform.startFailed;
}

void AppPlatform::Run()
{
    SetPlatform(this);
    consoleOutput = nullptr;

    const int logMode = GetSettings().GetInt("log", "logMode");
    if (logMode == 1)
        OpenConsole();

    // "log.txt" is emptied at every start, whatever the log mode.
    std::ofstream logFile;
    const std::string logProblem = OpenLogFile(logFile);
    std::streambuf* savedOutput = nullptr;
    const bool logging = logMode == 2 && logProblem.empty();
    if (logging) {
        savedOutput = std::cout.rdbuf(logFile.rdbuf());
        std::cout.clear();
    } else {
        logFile.close();
    }
    // Said once, past the error box (standard error is its way in): the run
    // goes on, its lines on standard output rather than lost.
    if (logMode == 2 && !logProblem.empty())
        std::fprintf(stderr, "log.txt cannot be written (%s): the log stays on standard output.\n",
                     logProblem.c_str());

    MountFileSystem();

    const int width = GetSettings().GetInt("Graphics", "width");
    const int height = GetSettings().GetInt("Graphics", "height");
    SetMainWindowHandle(mainWindow.CreateMainWindow(GetInstanceHandle(), width, height));

    CreateDirect3D();
    CopyDeviceSettings();
    const bool deviceReady = CreateRenderDevice();
    StartInput();
    // Without a device there is nothing to show: no demonstration, no main
    // loop; the shutdown and release follow in their usual order, and the run,
    // which could not do its work, ends with exit code 1.
    if (!deviceReady) {
        std::cout << "Without a Direct3D device there is nothing to show: the program ends.\n";
        startFailed = true;
    } else {
        message = {};
        void* demoMemory = platform::os::AlignedAlloc(sizeof(ShadowDemo), alignof(ShadowDemo));
        if (!demoMemory)
            platform::os::EndForMemoryShortage("the demonstration");
        demo = new (demoMemory) ShadowDemo;
        demo->InitDemo();

        InstallMessagePump(*this);
        AddIoThread();
        StartNetworkThread();
        RunMainLoop();

        demo->~ShadowDemo();
        platform::os::AlignedFree(demo);
        demo = nullptr;
    }

    if (logging)
        std::cout.rdbuf(savedOutput);
}

void AppPlatform::Shutdown()
{
    ReleaseEngineThreads();
    ReleaseInputDevices();
}

bool AppPlatform::RunFrame()
{
    return !demo || demo->DemoFrame() != 0;
}
