#include "platform/window/window.h"

#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/window/close_signals.h"

namespace platform {

class Window {
public:
    WindowProc procedure = nullptr;
    std::string title;
    uint32_t style = 0;
    Rect rect;
    bool visible = false;
    std::thread::id owner;
    uint64_t serial = 0;
};

struct Instance {
};

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, WindowClass> classes;
    std::set<Window*> windows;
    uint64_t nextSerial = 0;
    uint32_t failNextRegistration = 0;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

thread_local uint32_t lastError = 0;

// The procedure of a live window, or null.
WindowProc ProcedureOf(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return registry.windows.count(window) ? window->procedure : nullptr;
}

} // namespace

Instance* CurrentInstance()
{
    static Instance instance;
    return &instance;
}

bool RegisterWindowClass(const WindowClass& windowClass)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (registry.failNextRegistration) {
        lastError = registry.failNextRegistration;
        registry.failNextRegistration = 0;
        return false;
    }
    if (!registry.classes.emplace(windowClass.className, windowClass).second) {
        lastError = kErrorClassAlreadyExists;
        return false;
    }
    return true;
}

bool UnregisterWindowClass(const std::string& className)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (registry.classes.erase(className) == 0) {
        lastError = kErrorClassNotFound;
        return false;
    }
    return true;
}

uint32_t LastWindowError()
{
    return lastError;
}

void AdjustWindowRect(Rect& rect, uint32_t style, bool hasMenu)
{
    if (style & kStylePopup)
        return;
    rect.left -= kFrameThickness;
    rect.right += kFrameThickness;
    rect.top -= kFrameThickness + kCaptionHeight + (hasMenu ? kMenuHeight : 0);
    rect.bottom += kFrameThickness;
}

Window* CreateWindow(uint32_t, const std::string& className, const std::string& title, uint32_t style, int x, int y,
                     int width, int height, Window*, void*, Instance*)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    auto found = registry.classes.find(className);
    if (found == registry.classes.end()) {
        lastError = kErrorClassNotFound;
        return nullptr;
    }
    auto* window = new Window;
    window->procedure = found->second.procedure;
    window->title = title;
    window->style = style;
    window->rect = {x, y, x + width, y + height};
    window->owner = std::this_thread::get_id();
    window->serial = registry.nextSerial++;
    registry.windows.insert(window);
    WatchCloseSignals();
    return window;
}

bool DestroyWindow(Window* window)
{
    WindowProc procedure = ProcedureOf(window);
    if (!procedure)
        return false;
    procedure(window, kMsgDestroy, 0, 0);
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (registry.windows.erase(window))
        delete window;
    return true;
}

bool IsWindow(Window* window)
{
    return ProcedureOf(window) != nullptr;
}

bool ShowWindow(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!registry.windows.count(window))
        return false;
    bool wasVisible = window->visible;
    window->visible = true;
    return wasVisible;
}

bool UpdateWindow(Window* window)
{
    return IsWindow(window);
}

bool IsWindowVisible(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return registry.windows.count(window) && window->visible;
}

std::string WindowTitle(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return registry.windows.count(window) ? window->title : std::string();
}

Rect WindowRect(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return registry.windows.count(window) ? window->rect : Rect{};
}

intptr_t SendMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    WindowProc procedure = ProcedureOf(window);
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

intptr_t DefaultWindowProc(Window* window, uint32_t message, uintptr_t, intptr_t)
{
    if (message == kMsgClose)
        DestroyWindow(window);
    return 0;
}

namespace detail {

std::vector<Window*> WindowsOfThisThread()
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    std::map<uint64_t, Window*> owned;
    for (Window* window : registry.windows)
        if (window->owner == std::this_thread::get_id())
            owned.emplace(window->serial, window);
    std::vector<Window*> result;
    for (auto& [serial, window] : owned)
        result.push_back(window);
    return result;
}

std::optional<std::thread::id> WindowOwner(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!registry.windows.count(window))
        return std::nullopt;
    return window->owner;
}

void FailNextClassRegistration(uint32_t error)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    registry.failNextRegistration = error;
}

} // namespace detail

} // namespace platform
