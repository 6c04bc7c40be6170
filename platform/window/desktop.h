#pragma once
// The desktop: the window system's real windows, their events and the message
// font (platform/window/screen.h and dialog_font.h are how the program sees
// them). What talks to the window system (SDL2, SDL2_ttf, fontconfig) lives
// in a module of its own, libzandrel_desktop.so, found beside the program (or
// in the run folder the build made) and loaded by the first call that needs a
// display: a program without one never maps those libraries, some fifty of
// them and half of its start-up.
//
// The module reaches the program's windows and input devices, which stay the
// program's own, through the DesktopHost the program hands it.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/paint.h"
#include "platform/window/screen.h"

namespace platform {

// The program's side, as the module calls it (see window.h, message_queue.h
// and input/input_source.h for what each does).
class DesktopHost {
public:
    virtual bool DisplayAvailable() = 0;
    virtual bool IsWindow(Window* window) = 0;
    virtual bool IsWindowVisible(Window* window) = 0;
    virtual bool IsWindowEnabled(Window* window) = 0;
    virtual std::string WindowTitle(Window* window) = 0;
    virtual Rect WindowRect(Window* window) = 0;
    virtual bool MoveWindow(Window* window, const Rect& rect) = 0;
    virtual Window* GetOwner(Window* window) = 0;
    virtual std::vector<Window*> ChildWindows(Window* parent) = 0;
    virtual bool PostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
    virtual void HoldKey(uint8_t code) = 0;
    virtual void LiftKey(uint8_t code) = 0;
    virtual void TapKey(uint8_t code) = 0;
    virtual void MoveMouse(int32_t dx, int32_t dy, int32_t dz) = 0;
    virtual void SetMouseButton(int button, bool held) = 0;
    virtual void LiftEverything() = 0;
    virtual bool PointerCaptured() = 0;
    virtual void SetFocus(bool focused) = 0;
    virtual void SetEventPump(void (*pump)()) = 0;

protected:
    ~DesktopHost() = default;
};

// The module's side: the functions of screen.h (but DisplayAvailable) and of
// the message font in dialog_font.h, as those headers describe them.
class Desktop {
public:
    virtual bool OpenScreen(Window* window, int width, int height, bool fullScreen) = 0;
    virtual bool HasScreen(Window* window) = 0;
    virtual bool ScreensOpen() = 0;
    virtual void ShowScreen(Window* window) = 0;
    virtual void RetitleScreen(Window* window, const std::string& title) = 0;
    virtual void CloseScreen(Window* window) = 0;
    virtual int WatchScreen(Window* window, std::function<void()> closing) = 0;
    virtual void UnwatchScreen(int watch) = 0;
    virtual bool ShowFrame(Window* window, const uint8_t* texels, int width, int height, int pitch,
                           FrameLayout layout) = 0;
    virtual void PumpScreenEvents() = 0;
    virtual bool OpenDialogScreen(Window* dialog, const Rect& rect, bool topmost) = 0;
    virtual void MoveScreen(Window* window, int x, int y) = 0;
    virtual std::optional<Rect> DesktopRect() = 0;
    virtual bool SetScreenClipboard(const std::string& text) = 0;
    virtual std::optional<ScreenFacts> ScreenOf(Window* window) = 0;

    virtual bool MessageFontReady() = 0;
    virtual int MessageFontWidth(std::string_view text) = 0;
    virtual int MessageFontLineHeight() = 0;
    virtual int MessageFontAverageWidth() = 0;
    virtual int DrawMessageFontLine(Picture& picture, const Rect& clip, int x, int y, std::string_view text,
                                    uint32_t rgb, int pixels, bool bold) = 0;

protected:
    ~Desktop() = default;
};

// The module's file and its one exported function: extern "C" Desktop*
// ZandrelDesktop(DesktopHost& host), the module's desktop, kept for the process.
inline constexpr const char* kDesktopModule = "libzandrel_desktop.so";
inline constexpr const char* kDesktopEntry = "ZandrelDesktop";
using DesktopEntry = Desktop* (*)(DesktopHost& host);

// In the program: the desktop once loaded, null before; and the desktop loaded
// now where a display is, null without one or when the module cannot be
// loaded (said once on standard output: the program goes on headless).
Desktop* LoadedDesktop();
Desktop* WantedDesktop();

} // namespace platform
