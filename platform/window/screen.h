#pragma once
// The real window behind a top-level window when a display is there (X11 or
// Wayland, as DISPLAY or WAYLAND_DISPLAY say), made with SDL2 at the size of
// the back buffer a graphics device presents to it (or covering the desktop,
// full screen), captioned with the window's title. Whatever draws into it is
// told before it closes. Its events come in whenever the thread that opened it looks
// at its messages or acquires or reads the keyboard or mouse: closing it is
// the window's close message; the focus, the keys (by scan code), pointer
// movement, the wheel and the buttons go to the input devices. Without a
// display nothing here opens and the program runs headless.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

class Window;

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

// Takes the window system's waiting events (only on the thread that opened
// the real windows; elsewhere nothing happens).
void PumpScreenEvents();

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
