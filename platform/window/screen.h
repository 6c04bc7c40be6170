#pragma once
// The real window behind a top-level window when a display is there (X11 or
// Wayland, as DISPLAY or WAYLAND_DISPLAY say), made with SDL2 at the size of
// the back buffer a graphics device presents to it (or covering the desktop,
// full screen), captioned with the window's title; and the real window of a
// dialog. Whatever draws into it is told before it closes.
//
// Every call into the window system runs on one thread of its own, started
// with the first real window: the window system is only ever used from the
// thread that started it, and that thread takes its events all the time, so
// the real windows keep answering whatever the program's threads are doing
// (a box raised on any thread, or a thread blocked in one). The calls below
// may come from any thread; they hand their work over and wait for it.
//
// A device window's events: closing it is the window's close message; the
// focus, the keys (by scan code), pointer movement, the wheel and the buttons
// go to the input devices, except presses and movement while the window is
// disabled (a dialog it owns is up). A dialog's events become the dialog's
// messages, posted to the thread that runs it (platform/window/dialog.h).
// The events are taken every few milliseconds, and at once whenever a device
// acquires or reads the keyboard or mouse. Without a display nothing here
// opens and the program runs headless.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/window/window.h"

namespace platform {

// DISPLAY or WAYLAND_DISPLAY is set and not empty.
bool DisplayAvailable();

// How a frame's texels are laid out in memory.
enum class FrameLayout {
    kBgrx8888, // bytes B, G, R, then alpha or unused
    kRgb565,   // 16-bit words, red in the top bits
    kXrgb1555, // 16-bit words, top bit alpha or unused
};

// Opens the real window of `window` at width x height, at the window's place,
// shown when the window is; an open one is resized. `fullScreen` makes it
// cover the desktop instead (the frame is stretched to it). False when there
// is no display or the window system refuses (said once on standard output);
// the program then goes on headless.
bool OpenScreen(Window* window, int width, int height, bool fullScreen);
bool HasScreen(Window* window);
// Some real window is open.
bool ScreensOpen();
// Follow the window: shown, captioned.
void ShowScreen(Window* window);
void RetitleScreen(Window* window, const std::string& title);
// Closes the real window of `window`, if it has one; the window system is let
// go with the last one.
void CloseScreen(Window* window);
// `closing` is called on the thread that closes the real window of `window`,
// just before the window system lets it go (what draws into it lets go
// first), at most once, and never once UnwatchScreen has returned. 0 when the
// window has no real one.
int WatchScreen(Window* window, std::function<void()> closing);
void UnwatchScreen(int watch);
// Shows `height` rows of `width` texels, `pitch` bytes apart, in the real
// window (stretched to its size when they differ). False without one.
bool ShowFrame(Window* window, const uint8_t* texels, int width, int height, int pitch, FrameLayout layout);

// Takes the window system's waiting events, and returns once they are handled.
void PumpScreenEvents();

// Opens the hidden real window of a dialog, its client area at `rect` on the
// desktop, captioned with the dialog's title, kept above its owner's real
// window (and above every other one when `topmost`). False when there is no
// display or the window system refuses. ShowScreen shows it, with the focus.
bool OpenDialogScreen(Window* dialog, const Rect& rect, bool topmost);
// Moves the real window of `window` so its client area's top left is at (x, y) of the desktop.
void MoveScreen(Window* window, int x, int y);
// The desktop's size in pixels; nullopt when no window system answers.
std::optional<Rect> DesktopRect();
// Puts the text (UTF-8) on the window system's clipboard, where other
// programs paste it from while the program has a real window open. False
// when no window is open.
bool SetScreenClipboard(const std::string& text);

// What the window system says about a real window.
struct ScreenFacts {
    int width = 0;
    int height = 0;
    std::string title;
    bool shown = false;
    unsigned long x11Window = 0; // 0 unless on X11
    std::string x11Display;      // the X server's name, as DISPLAY gave it
    bool fullScreen = false;
    void* sdlWindow = nullptr;   // the SDL_Window
};
std::optional<ScreenFacts> ScreenOf(Window* window);

} // namespace platform
