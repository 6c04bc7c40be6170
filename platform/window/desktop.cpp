// The program's side of the desktop: the module loaded and handed the
// program's host, and the real windows of screen.h reached through it.
#include "platform/window/desktop.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/input/input_source.h"
#include "platform/window/message_queue.h"
#include "platform/window/screen.h"
#include "platform/window/window.h"

namespace platform {

namespace {

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The program's windows and input devices, as the desktop module reaches them.
class ProgramHost final : public DesktopHost {
public:
    bool DisplayAvailable() override { return platform::DisplayAvailable(); }
    bool IsWindow(Window* window) override { return platform::IsWindow(window); }
    bool IsWindowVisible(Window* window) override { return platform::IsWindowVisible(window); }
    bool IsWindowEnabled(Window* window) override { return platform::IsWindowEnabled(window); }
    std::string WindowTitle(Window* window) override { return platform::WindowTitle(window); }
    Rect WindowRect(Window* window) override { return platform::WindowRect(window); }
    bool MoveWindow(Window* window, const Rect& rect) override { return platform::MoveWindow(window, rect); }
    Window* GetOwner(Window* window) override { return platform::GetOwner(window); }
    std::vector<Window*> ChildWindows(Window* parent) override { return platform::ChildWindows(parent); }
    bool PostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) override
    {
        return platform::PostMessage(window, message, wParam, lParam);
    }
    void HoldKey(uint8_t code) override { input::HoldKey(code); }
    void LiftKey(uint8_t code) override { input::LiftKey(code); }
    void TapKey(uint8_t code) override { input::TapKey(code); }
    void MoveMouse(int32_t dx, int32_t dy, int32_t dz) override { input::MoveMouse(dx, dy, dz); }
    void SetMouseButton(int button, bool held) override { input::SetMouseButton(button, held); }
    void LiftEverything() override { input::LiftEverything(); }
    bool PointerCaptured() override { return input::PointerCaptured(); }
    void SetFocus(bool focused) override { input::SetFocus(focused); }
    void SetEventPump(void (*pump)()) override { input::SetEventPump(pump); }
};

std::atomic<Desktop*> loaded{nullptr};

// The module beside the program, else in the run folder the build made (where
// a copied program still finds it), else where the system keeps libraries.
void* OpenModule()
{
    std::vector<std::string> places;
    char exe[4096];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0)
        places.push_back(std::filesystem::path(std::string(exe, static_cast<size_t>(length))).parent_path());
    places.push_back(ZANDREL_DESKTOP_DIR);
    for (const std::string& place : places) {
        const std::string file = place + "/" + kDesktopModule;
        if (access(file.c_str(), F_OK) == 0)
            return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    return dlopen(kDesktopModule, RTLD_NOW | RTLD_LOCAL);
}

} // namespace

Desktop* LoadedDesktop()
{
    return loaded.load(std::memory_order_acquire);
}

Desktop* WantedDesktop()
{
    if (Desktop* desktop = LoadedDesktop())
        return desktop;
    if (!DisplayAvailable())
        return nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        void* module = OpenModule();
        auto entry = module ? reinterpret_cast<DesktopEntry>(dlsym(module, kDesktopEntry)) : nullptr;
        if (!entry) {
            const char* why = dlerror();
            std::cout << "No window on the display: " << (why ? why : kDesktopModule) << "\n";
            return;
        }
        static ProgramHost host;
        loaded.store(entry(host), std::memory_order_release);
    });
    return LoadedDesktop();
}

bool DisplayAvailable()
{
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

// Opening asks for the desktop; the rest only reach one that is there, since
// without it no real window is open.
bool OpenScreen(Window* window, int width, int height, bool fullScreen)
{
    Desktop* desktop = WantedDesktop();
    return desktop && desktop->OpenScreen(window, width, height, fullScreen);
}

bool OpenDialogScreen(Window* dialog, const Rect& rect, bool topmost)
{
    Desktop* desktop = WantedDesktop();
    return desktop && desktop->OpenDialogScreen(dialog, rect, topmost);
}

std::optional<Rect> DesktopRect()
{
    Desktop* desktop = WantedDesktop();
    return desktop ? desktop->DesktopRect() : std::nullopt;
}

bool HasScreen(Window* window)
{
    Desktop* desktop = LoadedDesktop();
    return desktop && desktop->HasScreen(window);
}

bool ScreensOpen()
{
    Desktop* desktop = LoadedDesktop();
    return desktop && desktop->ScreensOpen();
}

void ShowScreen(Window* window)
{
    if (Desktop* desktop = LoadedDesktop())
        desktop->ShowScreen(window);
}

void RetitleScreen(Window* window, const std::string& title)
{
    if (Desktop* desktop = LoadedDesktop())
        desktop->RetitleScreen(window, title);
}

void CloseScreen(Window* window)
{
    if (Desktop* desktop = LoadedDesktop())
        desktop->CloseScreen(window);
}

int WatchScreen(Window* window, std::function<void()> closing)
{
    Desktop* desktop = LoadedDesktop();
    return desktop ? desktop->WatchScreen(window, std::move(closing)) : 0;
}

void UnwatchScreen(int watch)
{
    if (Desktop* desktop = LoadedDesktop())
        desktop->UnwatchScreen(watch);
}

bool ShowFrame(Window* window, const uint8_t* texels, int width, int height, int pitch, FrameLayout layout)
{
    Desktop* desktop = LoadedDesktop();
    return desktop && desktop->ShowFrame(window, texels, width, height, pitch, layout);
}

void PumpScreenEvents()
{
    if (Desktop* desktop = LoadedDesktop())
        desktop->PumpScreenEvents();
}

void MoveScreen(Window* window, int x, int y)
{
    if (Desktop* desktop = LoadedDesktop())
        desktop->MoveScreen(window, x, y);
}

bool SetScreenClipboard(const std::string& text)
{
    Desktop* desktop = LoadedDesktop();
    return desktop && desktop->SetScreenClipboard(text);
}

std::optional<ScreenFacts> ScreenOf(Window* window)
{
    Desktop* desktop = LoadedDesktop();
    return desktop ? desktop->ScreenOf(window) : std::nullopt;
}

} // namespace platform
