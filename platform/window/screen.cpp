#include "platform/window/screen.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/input/input_source.h"
#include "platform/input/window_keys.h"
#include "platform/window/message_queue.h"
#include "platform/window/window.h"

namespace platform {

namespace {

struct Screen {
    Window* window = nullptr;
    SDL_Window* sdl = nullptr;
    uint32_t id = 0;
    bool fullScreen = false;
};

struct Watcher {
    Window* window = nullptr;
    std::function<void()> closing;
};

struct Screens {
    std::recursive_mutex lock;
    // Held while a window's watchers are told it closes, so that none is told
    // after it stopped watching. Taken before `lock`, never inside it.
    std::recursive_mutex closing;
    std::vector<Screen> open;
    std::map<int, Watcher> watchers;
    int lastWatch = 0;
    std::string displayName;
    std::thread::id owner;
    bool videoUp = false;
    bool toldUnavailable = false;
    bool pointerCaptured = false;
};

Screens& TheScreens()
{
    static Screens screens;
    return screens;
}

bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The screen of `window` in the list, or null; the caller holds the lock.
Screen* Find(Window* window)
{
    for (Screen& screen : TheScreens().open)
        if (screen.window == window)
            return &screen;
    return nullptr;
}

Screen* FindById(uint32_t id)
{
    for (Screen& screen : TheScreens().open)
        if (screen.id == id)
            return &screen;
    return nullptr;
}

// Brings the window system up for this thread; false (said once) when it cannot be.
bool StartVideo(Screens& screens)
{
    if (screens.videoUp)
        return true;
    // The program's own handlers close its windows on SIGINT, SIGTERM and SIGHUP.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A window on the display or none: never one that nobody sees.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // Frames shown from memory go straight to the window, not through a GL texture.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // A click that brings the focus is a click like any other.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (!screens.toldUnavailable)
            std::cout << "No window on the display: " << SDL_GetError() << "\n";
        screens.toldUnavailable = true;
        return false;
    }
    // Keys are keys here, not text being typed.
    SDL_StopTextInput();
    screens.videoUp = true;
    screens.owner = std::this_thread::get_id();
    const char* display = std::getenv("DISPLAY");
    screens.displayName = display ? display : "";
    return true;
}

void StopVideo(Screens& screens)
{
    if (!screens.videoUp)
        return;
    input::SetEventPump(nullptr);
    if (screens.pointerCaptured)
        SDL_SetRelativeMouseMode(SDL_FALSE);
    screens.pointerCaptured = false;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_Quit();
    screens.videoUp = false;
    screens.owner = std::thread::id();
}

void CloseLocked(Screens& screens, Window* window, bool keepVideo)
{
    for (auto it = screens.open.begin(); it != screens.open.end(); ++it) {
        if (it->window == window) {
            SDL_DestroyWindow(it->sdl);
            screens.open.erase(it);
            break;
        }
    }
    if (screens.open.empty() && !keepVideo)
        StopVideo(screens);
}

// Tells the window's watchers, then lets its real window go; the window
// system goes with the last one unless `keepVideo`.
void Close(Window* window, bool keepVideo)
{
    Screens& screens = TheScreens();
    std::lock_guard closing(screens.closing);
    std::vector<std::function<void()>> told;
    {
        std::lock_guard guard(screens.lock);
        if (!Find(window))
            return;
        for (auto it = screens.watchers.begin(); it != screens.watchers.end();) {
            if (it->second.window == window) {
                told.push_back(std::move(it->second.closing));
                it = screens.watchers.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Outside the list's lock: letting go of a window may wait for the thread
    // that presents to it, which may be looking at the list.
    for (const auto& closing : told)
        closing();
    std::lock_guard guard(screens.lock);
    CloseLocked(screens, window, keepVideo);
}

uint32_t SdlFormatOf(FrameLayout layout, int& bits)
{
    switch (layout) {
    case FrameLayout::kRgb565: bits = 16; return SDL_PIXELFORMAT_RGB565;
    case FrameLayout::kXrgb1555: bits = 16; return SDL_PIXELFORMAT_XRGB1555;
    case FrameLayout::kBgrx8888: break;
    }
    bits = 32;
    return SDL_PIXELFORMAT_XRGB8888;
}

void HandleWindowEvent(const SDL_WindowEvent& event)
{
    Window* window = nullptr;
    {
        Screens& screens = TheScreens();
        std::lock_guard guard(screens.lock);
        if (Screen* screen = FindById(event.windowID))
            window = screen->window;
    }
    if (!window)
        return;
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        PostMessage(window, kMsgClose, 0, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        input::SetFocus(true);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        // Whatever is released elsewhere is never told to this window.
        input::SetFocus(false);
        input::LiftEverything();
        break;
    default:
        break;
    }
}

void HandleEvent(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_WINDOWEVENT:
        HandleWindowEvent(event.window);
        break;
    case SDL_KEYDOWN:
        if (const uint8_t code = input::ScanCodeOfWindowKey(event.key.keysym.scancode); code && !event.key.repeat) {
            input::HoldKey(code);
            input::TapKey(code); // seen by the next read even when already released
        }
        break;
    case SDL_KEYUP:
        if (const uint8_t code = input::ScanCodeOfWindowKey(event.key.keysym.scancode))
            input::LiftKey(code);
        break;
    case SDL_MOUSEMOTION:
        input::MoveMouse(event.motion.xrel, event.motion.yrel, 0);
        break;
    case SDL_MOUSEWHEEL: {
        const int32_t notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        input::MoveMouse(0, 0, notches * input::kWheelNotch);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        input::SetMouseButton(input::MouseButtonOfWindowButton(event.button.button),
                              event.type == SDL_MOUSEBUTTONDOWN);
        break;
    default:
        break;
    }
}

} // namespace

bool DisplayAvailable()
{
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

bool OpenScreen(Window* window, int width, int height, bool fullScreen)
{
    if (!window || width <= 0 || height <= 0 || !DisplayAvailable() || !IsWindow(window))
        return false;
    Screens& screens = TheScreens();
    bool reopen = false;
    {
        std::lock_guard guard(screens.lock);
        if (Screen* screen = Find(window)) {
            if (screen->fullScreen == fullScreen) {
                if (!fullScreen)
                    SDL_SetWindowSize(screen->sdl, width, height);
                return true;
            }
            reopen = true;
        }
    }
    // Into or out of full screen, a new window: without a window manager an
    // open one is not made to cover the screen.
    if (reopen)
        Close(window, true);
    std::lock_guard guard(screens.lock);
    if (!StartVideo(screens))
        return false;
    // No SDL_WINDOW_OPENGL: frames drawn by OpenGL come through a context of
    // the drawing path's own, which suits the window's default visual.
    uint32_t flags = IsWindowVisible(window) ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
    // Where the window stands, as far as the window system lets a window be
    // placed (a window manager puts its frame there).
    const Rect placed = WindowRect(window);
    int x = placed.left, y = placed.top;
    SDL_Rect desktop;
    if (fullScreen && SDL_GetDisplayBounds(0, &desktop) == 0) {
        // A window manager makes it cover the screen; without one, so does its own size.
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
        x = desktop.x;
        y = desktop.y;
        width = desktop.w;
        height = desktop.h;
    }
    SDL_Window* sdl = SDL_CreateWindow(WindowTitle(window).c_str(), x, y, width, height, flags);
    if (!sdl) {
        if (!screens.toldUnavailable)
            std::cout << "No window on the display: " << SDL_GetError() << "\n";
        screens.toldUnavailable = true;
        if (screens.open.empty())
            StopVideo(screens);
        return false;
    }
    screens.open.push_back({window, sdl, SDL_GetWindowID(sdl), fullScreen});
    input::SetEventPump(PumpScreenEvents);
    return true;
}

bool HasScreen(Window* window)
{
    Screens& screens = TheScreens();
    std::lock_guard guard(screens.lock);
    return Find(window) != nullptr;
}

bool ScreensOpen()
{
    Screens& screens = TheScreens();
    std::lock_guard guard(screens.lock);
    return !screens.open.empty();
}

void CloseScreen(Window* window)
{
    Close(window, false);
}

int WatchScreen(Window* window, std::function<void()> closing)
{
    Screens& screens = TheScreens();
    std::lock_guard guard(screens.lock);
    if (!Find(window) || !closing)
        return 0;
    const int watch = ++screens.lastWatch;
    screens.watchers[watch] = {window, std::move(closing)};
    return watch;
}

void UnwatchScreen(int watch)
{
    Screens& screens = TheScreens();
    std::lock_guard closing(screens.closing);
    std::lock_guard guard(screens.lock);
    screens.watchers.erase(watch);
}

void ShowScreen(Window* window)
{
    Screens& screens = TheScreens();
    std::lock_guard guard(screens.lock);
    if (Screen* screen = Find(window))
        SDL_ShowWindow(screen->sdl);
}

void RetitleScreen(Window* window, const std::string& title)
{
    Screens& screens = TheScreens();
    std::lock_guard guard(screens.lock);
    if (Screen* screen = Find(window))
        SDL_SetWindowTitle(screen->sdl, title.c_str());
}

bool ShowFrame(Window* window, const uint8_t* texels, int width, int height, int pitch, FrameLayout layout)
{
    if (!texels || width <= 0 || height <= 0)
        return false;
    Screens& screens = TheScreens();
    std::lock_guard guard(screens.lock);
    Screen* screen = Find(window);
    if (!screen)
        return false;
    SDL_Surface* target = SDL_GetWindowSurface(screen->sdl);
    if (!target)
        return false;
    int bits = 32;
    const uint32_t format = SdlFormatOf(layout, bits);
    SDL_Surface* source =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(texels), width, height, bits, pitch, format);
    if (!source)
        return false;
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    const bool sameSize = target->w == width && target->h == height;
    const int blitted = sameSize ? SDL_BlitSurface(source, nullptr, target, nullptr)
                                 : SDL_BlitScaled(source, nullptr, target, nullptr);
    SDL_FreeSurface(source);
    return blitted == 0 && SDL_UpdateWindowSurface(screen->sdl) == 0;
}

void PumpScreenEvents()
{
    Screens& screens = TheScreens();
    {
        std::lock_guard guard(screens.lock);
        if (!screens.videoUp || screens.owner != std::this_thread::get_id())
            return;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event))
        HandleEvent(event);
    std::lock_guard guard(screens.lock);
    const bool wanted = input::PointerCaptured();
    if (screens.videoUp && wanted != screens.pointerCaptured) {
        SDL_SetRelativeMouseMode(wanted ? SDL_TRUE : SDL_FALSE);
        screens.pointerCaptured = wanted;
    }
}

std::optional<ScreenFacts> ScreenOf(Window* window)
{
    Screens& screens = TheScreens();
    std::lock_guard guard(screens.lock);
    Screen* screen = Find(window);
    if (!screen)
        return std::nullopt;
    ScreenFacts facts;
    SDL_GetWindowSize(screen->sdl, &facts.width, &facts.height);
    facts.title = SDL_GetWindowTitle(screen->sdl);
    facts.shown = (SDL_GetWindowFlags(screen->sdl) & SDL_WINDOW_SHOWN) != 0;
    facts.sdlWindow = screen->sdl;
    facts.fullScreen = screen->fullScreen;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(screen->sdl, &info) && info.subsystem == SDL_SYSWM_X11) {
        facts.x11Window = info.info.x11.window;
        facts.x11Display = screens.displayName;
    }
    return facts;
}

} // namespace platform
