#pragma once
// Windows without a window system: a window is an object with a class, a
// procedure and an owning thread, whose messages reach its procedure through
// that thread's message queue (platform/window/message_queue.h).
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/window/rect.h"

namespace platform {

class Window;
struct Instance; // the program instance handed to the entry point

using WindowProc = intptr_t (*)(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Message ids as the system compares them.
inline constexpr uint32_t kMsgDestroy = 0x0002;
inline constexpr uint32_t kMsgClose = 0x0010;
inline constexpr uint32_t kMsgQuit = 0x0012;
inline constexpr uint32_t kMsgPaint = 0x000F;
inline constexpr uint32_t kMsgEraseBackground = 0x0014;
inline constexpr uint32_t kMsgSetFont = 0x0030;
inline constexpr uint32_t kMsgNcLButtonDown = 0x00A1;
inline constexpr uint32_t kMsgKeyDown = 0x0100;
inline constexpr uint32_t kMsgKeyUp = 0x0101;
inline constexpr uint32_t kMsgSysKeyDown = 0x0104; // a key pressed with Alt held
inline constexpr uint32_t kMsgSysKeyUp = 0x0105;
inline constexpr uint32_t kMsgInitDialog = 0x0110;
inline constexpr uint32_t kMsgCommand = 0x0111;
inline constexpr uint32_t kMsgSysCommand = 0x0112;
inline constexpr uint32_t kMsgTimer = 0x0113;
inline constexpr uint32_t kMsgCtlColorStatic = 0x0138;
inline constexpr uint32_t kMsgLButtonDown = 0x0201;
inline constexpr uint32_t kMsgButtonGetCheck = 0x00F0;
inline constexpr uint32_t kMsgButtonSetCheck = 0x00F1;

// The system menu's Close command (kMsgSysCommand).
inline constexpr uintptr_t kSysCommandClose = 0xF060;

// Class and window styles.
inline constexpr uint32_t kClassVRedraw = 0x0001;
inline constexpr uint32_t kClassHRedraw = 0x0002;
inline constexpr uint32_t kStyleOverlappedWindow = 0x00CF0000;
inline constexpr uint32_t kStylePopup = 0x80000000;
inline constexpr uint32_t kStyleChild = 0x40000000;
inline constexpr uint32_t kStyleVisible = 0x10000000;
inline constexpr uint32_t kStyleTabStop = 0x00010000;

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

// The process's instance (never null).
Instance* CurrentInstance();

// False (and LastWindowError set) when the class exists already.
bool RegisterWindowClass(const WindowClass& windowClass);
bool UnregisterWindowClass(const std::string& className);
uint32_t LastWindowError();

// Grows a client rectangle to the window rectangle of `style`; an edge that
// would pass the range of int stays at its end.
void AdjustWindowRect(Rect& rect, uint32_t style, bool hasMenu);
// `value` brought into the range of int (rectangle arithmetic saturates).
int ClampedInt(int64_t value);

// Null (and LastWindowError set) when the class is not registered. The calling
// thread owns the window: its queue receives the window's messages.
Window* CreateWindow(uint32_t exStyle, const std::string& className, const std::string& title, uint32_t style,
                     int x, int y, int width, int height, Window* parent, void* menu, Instance* instance);
// Sends the destroy message to the window's procedure, then the window is gone.
bool DestroyWindow(Window* window);
bool IsWindow(Window* window);
// Shows the window; a top-level one becomes its thread's active window.
bool ShowWindow(Window* window);
bool UpdateWindow(Window* window);
bool IsWindowVisible(Window* window);
std::string WindowTitle(Window* window);
Rect WindowRect(Window* window);

// Calls the window's procedure at once on the calling thread.
intptr_t SendMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// The default handling: the close message destroys the window.
intptr_t DefaultWindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Window text (the caption of a top-level window, the label of a control).
bool SetWindowTitle(Window* window, const std::string& title);
// Returns whether the window was disabled before.
bool EnableWindow(Window* window, bool enable);
bool IsWindowEnabled(Window* window);
bool MoveWindow(Window* window, const Rect& rect);
uint32_t WindowStyle(Window* window);
std::string WindowClassName(Window* window);
// The control's id within its parent (0 for a top-level window).
int ControlId(Window* window);
Window* GetParent(Window* window);
Window* GetOwner(Window* window);
// The child with that control id, or null.
Window* GetDialogItem(Window* parent, int id);
// Children in creation order.
std::vector<Window*> ChildWindows(Window* parent);
intptr_t WindowUserData(Window* window);
void SetWindowUserData(Window* window, intptr_t data);
// Replaces the window's procedure and returns the previous one.
WindowProc SetWindowProcedure(Window* window, WindowProc procedure);
void SetWindowTopmost(Window* window, bool topmost);
bool IsWindowTopmost(Window* window);
// Keyboard focus of the calling thread.
void SetFocus(Window* window);
Window* GetFocus();
// The calling thread's active window (the last one made active and still alive),
// and the most recent live window owned by `owner` (or `owner` itself).
Window* GetActiveWindow();
void SetActiveWindow(Window* window);
Window* GetLastActivePopup(Window* owner);

namespace detail {
// A window of the platform's own classes (dialogs and their controls) that
// needs no registered class. A child joins its parent's list.
Window* CreatePlatformWindow(const std::string& className, const std::string& title, uint32_t style,
                             const Rect& rect, Window* parent, Window* owner, int controlId, WindowProc procedure);
// Windows owned by the calling thread, oldest first.
std::vector<Window*> WindowsOfThisThread();
// The thread that owns a live window.
std::optional<std::thread::id> WindowOwner(Window* window);
// Makes the next RegisterWindowClass fail with `error` (tests).
void FailNextClassRegistration(uint32_t error);
} // namespace detail

} // namespace platform
