#include "platform/window/window.h"

#include <algorithm>
#include <climits>
#include <map>
#include <utility>
#include <mutex>
#include <set>
#include <thread>

#include "platform/window/close_signals.h"
#include "platform/window/screen.h"

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
    std::string className;
    Window* parent = nullptr;
    Window* ownerWindow = nullptr;
    std::vector<Window*> children;
    int controlId = 0;
    bool enabled = true;
    bool topmost = false;
    intptr_t userData = 0;
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
thread_local Window* focusWindow = nullptr;
thread_local Window* activeWindow = nullptr;

// The window when it is alive, else null; the caller holds the lock.
Window* Live(Window* window)
{
    return TheRegistry().windows.count(window) ? window : nullptr;
}

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
    rect.left = ClampedInt(int64_t{rect.left} - kFrameThickness);
    rect.right = ClampedInt(int64_t{rect.right} + kFrameThickness);
    rect.top = ClampedInt(int64_t{rect.top} - kFrameThickness - kCaptionHeight - (hasMenu ? kMenuHeight : 0));
    rect.bottom = ClampedInt(int64_t{rect.bottom} + kFrameThickness);
}

int ClampedInt(int64_t value)
{
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
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
    window->className = className;
    window->style = style;
    window->rect = {x, y, ClampedInt(int64_t{x} + width), ClampedInt(int64_t{y} + height)};
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
    for (Window* child : ChildWindows(window))
        DestroyWindow(child);
    CloseScreen(window);
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!registry.windows.erase(window))
        return true;
    if (Live(window->parent)) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    if (focusWindow == window)
        focusWindow = nullptr;
    if (activeWindow == window)
        activeWindow = nullptr;
    delete window;
    return true;
}

bool IsWindow(Window* window)
{
    return ProcedureOf(window) != nullptr;
}

bool ShowWindow(Window* window)
{
    bool wasVisible = false;
    {
        auto& registry = TheRegistry();
        std::lock_guard guard(registry.lock);
        if (!registry.windows.count(window))
            return false;
        wasVisible = window->visible;
        window->visible = true;
        // A top-level window shown is the active one of its thread.
        if (!window->parent && window->owner == std::this_thread::get_id())
            activeWindow = window;
    }
    ShowScreen(window);
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

bool SetWindowTitle(Window* window, const std::string& title)
{
    {
        auto& registry = TheRegistry();
        std::lock_guard guard(registry.lock);
        if (!Live(window))
            return false;
        window->title = title;
    }
    RetitleScreen(window, title);
    return true;
}

bool EnableWindow(Window* window, bool enable)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!Live(window))
        return false;
    bool wasDisabled = !window->enabled;
    window->enabled = enable;
    return wasDisabled;
}

bool IsWindowEnabled(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(window) && window->enabled;
}

bool MoveWindow(Window* window, const Rect& rect)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!Live(window))
        return false;
    window->rect = rect;
    return true;
}

uint32_t WindowStyle(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(window) ? window->style : 0;
}

std::string WindowClassName(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(window) ? window->className : std::string();
}

int ControlId(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(window) ? window->controlId : 0;
}

Window* GetParent(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(window) ? Live(window->parent) : nullptr;
}

Window* GetOwner(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(window) ? Live(window->ownerWindow) : nullptr;
}

Window* GetDialogItem(Window* parent, int id)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!Live(parent))
        return nullptr;
    for (Window* child : parent->children)
        if (child->controlId == id)
            return child;
    return nullptr;
}

std::vector<Window*> ChildWindows(Window* parent)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(parent) ? parent->children : std::vector<Window*>();
}

intptr_t WindowUserData(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(window) ? window->userData : 0;
}

void SetWindowUserData(Window* window, intptr_t data)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (Live(window))
        window->userData = data;
}

WindowProc SetWindowProcedure(Window* window, WindowProc procedure)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!Live(window) || !procedure)
        return nullptr;
    return std::exchange(window->procedure, procedure);
}

void SetWindowTopmost(Window* window, bool topmost)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (Live(window))
        window->topmost = topmost;
}

bool IsWindowTopmost(Window* window)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    return Live(window) && window->topmost;
}

void SetFocus(Window* window)
{
    focusWindow = IsWindow(window) ? window : nullptr;
}

Window* GetFocus()
{
    return IsWindow(focusWindow) ? focusWindow : nullptr;
}

Window* GetActiveWindow()
{
    return IsWindow(activeWindow) ? activeWindow : nullptr;
}

void SetActiveWindow(Window* window)
{
    activeWindow = IsWindow(window) ? window : nullptr;
}

Window* GetLastActivePopup(Window* owner)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    if (!Live(owner))
        return nullptr;
    Window* latest = owner;
    for (Window* window : registry.windows)
        if (window->ownerWindow == owner && window->serial > latest->serial)
            latest = window;
    return latest;
}

namespace detail {

Window* CreatePlatformWindow(const std::string& className, const std::string& title, uint32_t style,
                             const Rect& rect, Window* parent, Window* owner, int controlId, WindowProc procedure)
{
    auto& registry = TheRegistry();
    std::lock_guard guard(registry.lock);
    auto* window = new Window;
    window->procedure = procedure;
    window->title = title;
    window->className = className;
    window->style = style;
    window->rect = rect;
    window->visible = (style & kStyleVisible) != 0;
    window->owner = std::this_thread::get_id();
    window->serial = registry.nextSerial++;
    window->parent = Live(parent);
    window->ownerWindow = Live(owner);
    window->controlId = controlId;
    registry.windows.insert(window);
    if (window->parent)
        window->parent->children.push_back(window);
    return window;
}

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
