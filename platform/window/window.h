#pragma once
// Windows without a window system: a window is an object with a class, a
// procedure and an owning thread, whose messages reach its procedure through
// that thread's message queue (platform/window/message_queue.h).
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class Window;
struct Instance; // the program instance handed to the entry point

using WindowProc = intptr_t (*)(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Message ids as the system compares them.
inline constexpr uint32_t kMsgDestroy = 0x0002;
inline constexpr uint32_t kMsgClose = 0x0010;
inline constexpr uint32_t kMsgQuit = 0x0012;

// Class and window styles.
inline constexpr uint32_t kClassVRedraw = 0x0001;
inline constexpr uint32_t kClassHRedraw = 0x0002;
inline constexpr uint32_t kStyleOverlappedWindow = 0x00CF0000;
inline constexpr uint32_t kStylePopup = 0x80000000;

// Stock resources a class names.
inline constexpr int kArrowCursor = 32512;
inline constexpr int kWhiteBrush = 0;

// Error codes of LastWindowError.
inline constexpr uint32_t kErrorClassAlreadyExists = 1410;
inline constexpr uint32_t kErrorClassNotFound = 1407;

// The frame an overlapped window adds around its client area.
inline constexpr int kFrameThickness = 8;
inline constexpr int kCaptionHeight = 23;
inline constexpr int kMenuHeight = 20;

struct WindowClass {
    uint32_t style = 0;
    WindowProc procedure = nullptr;
    int classExtraBytes = 0;
    int windowExtraBytes = 0;
    Instance* instance = nullptr;
    int iconResource = 0;
    int cursor = 0;
    int background = 0;
    std::string menuName;
    std::string className;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The process's instance (never null).
Instance* CurrentInstance();

// False (and LastWindowError set) when the class exists already.
bool RegisterWindowClass(const WindowClass& windowClass);
bool UnregisterWindowClass(const std::string& className);
uint32_t LastWindowError();

// Grows a client rectangle to the window rectangle of `style`.
void AdjustWindowRect(Rect& rect, uint32_t style, bool hasMenu);

// Null (and LastWindowError set) when the class is not registered. The calling
// thread owns the window: its queue receives the window's messages.
Window* CreateWindow(uint32_t exStyle, const std::string& className, const std::string& title, uint32_t style,
                     int x, int y, int width, int height, Window* parent, void* menu, Instance* instance);
// Sends the destroy message to the window's procedure, then the window is gone.
bool DestroyWindow(Window* window);
bool IsWindow(Window* window);
bool ShowWindow(Window* window);
bool UpdateWindow(Window* window);
bool IsWindowVisible(Window* window);
std::string WindowTitle(Window* window);
Rect WindowRect(Window* window);

// Calls the window's procedure at once on the calling thread.
intptr_t SendMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// The default handling: the close message destroys the window.
intptr_t DefaultWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

namespace detail {
// Windows owned by the calling thread, oldest first.
std::vector<Window*> WindowsOfThisThread();
// The thread that owns a live window.
std::optional<std::thread::id> WindowOwner(Window* window);
// Makes the next RegisterWindowClass fail with `error` (tests).
void FailNextClassRegistration(uint32_t error);
} // namespace detail

} // namespace platform
