#include "platform/window/screen.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/input/input_source.h"
#include "platform/input/window_keys.h"
#include "platform/window/dialog_events.h"
#include "platform/window/message_queue.h"
#include "platform/window/window.h"

namespace platform {

namespace {

struct Screen {
    Window* window = nullptr;
    SDL_Window* sdl = nullptr;
    uint32_t id = 0;
    bool fullScreen = false;
    bool dialog = false;     // a dialog's: its events become the dialog's messages
    bool fromMemory = false; // shows frames from memory: exposed, its surface is shown again
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
    std::atomic<bool> videoUp{false};
    bool toldUnavailable = false;
    bool pointerCaptured = false;
    std::optional<Rect> desktop; // of the display the window system was last started on
    std::string desktopOf;
};

// Kept for the whole process (never destroyed): the window-system thread may
// still be waiting when the process ends.
Screens& TheScreens()
{
    static Screens& screens = *new Screens;
    return screens;
}

// The window-system thread: runs the work handed to it, in order, and takes
// the window system's events between (every few milliseconds while it is up).
struct Worker {
    struct Job {
        const std::function<void()>* work = nullptr;
        bool done = false;
    };
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<Job*> jobs;
    std::thread::id id;
    bool started = false;
};

Worker& TheWorker()
{
    static Worker& worker = *new Worker;
    return worker;
}

void TakeEvents();

void WorkerLoop()
{
    Worker& worker = TheWorker();
    std::unique_lock guard(worker.lock);
    for (;;) {
        if (TheScreens().videoUp)
            worker.wake.wait_for(guard, std::chrono::milliseconds(5), [&] { return !worker.jobs.empty(); });
        else
            worker.wake.wait(guard, [&] { return !worker.jobs.empty(); });
        std::deque<Worker::Job*> jobs;
        jobs.swap(worker.jobs);
        guard.unlock();
        for (Worker::Job* job : jobs)
            (*job->work)();
        TakeEvents();
        guard.lock();
        for (Worker::Job* job : jobs)
            job->done = true;
        if (!jobs.empty())
            worker.finished.notify_all();
    }
}

// Runs `work` on the window-system thread and returns when it is done (at
// once when called there). The caller holds none of the locks the work takes.
void OnWindowSystem(const std::function<void()>& work)
{
    Worker& worker = TheWorker();
    Worker::Job job{&work};
    std::unique_lock guard(worker.lock);
    if (!worker.started) {
        std::thread thread(WorkerLoop);
        worker.id = thread.get_id();
        worker.started = true;
        thread.detach();
    }
    if (worker.id == std::this_thread::get_id()) {
        guard.unlock();
        work();
        return;
    }
    worker.jobs.push_back(&job);
    worker.wake.notify_all();
    worker.finished.wait(guard, [&] { return job.done; });
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
    const char* display = std::getenv("DISPLAY");
    screens.displayName = display ? display : "";
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) == 0) {
        screens.desktop = Rect{bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        screens.desktopOf = screens.displayName + "|" + (wayland ? wayland : "");
    }
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
}

// Gives the real window the keyboard focus, in front of the others.
void Raise(SDL_Window* sdl)
{
    SDL_RaiseWindow(sdl);
    SDL_SetWindowInputFocus(sdl);
}

void CloseLocked(Screens& screens, Window* window, bool keepVideo)
{
    for (auto it = screens.open.begin(); it != screens.open.end(); ++it) {
        if (it->window == window) {
            const bool dialog = it->dialog;
            SDL_DestroyWindow(it->sdl);
            screens.open.erase(it);
            // As a dialog goes, the window it kept disabled has the focus back.
            if (Screen* owner = dialog ? Find(GetOwner(window)) : nullptr)
                Raise(owner->sdl);
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
    // Outside the list's lock and on the calling thread: letting go of a
    // window may wait for the thread that presents to it, which may be looking
    // at the list.
    for (const auto& closing : told)
        closing();
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        CloseLocked(screens, window, keepVideo);
    });
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

// The screen an event is for, copied; nullopt when it is none of ours.
std::optional<Screen> ScreenOfEvent(uint32_t windowId)
{
    Screens& screens = TheScreens();
    std::lock_guard guard(screens.lock);
    if (Screen* screen = FindById(windowId))
        return *screen;
    return std::nullopt;
}

uint32_t WindowIdOf(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_WINDOWEVENT: return event.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return event.key.windowID;
    case SDL_MOUSEMOTION: return event.motion.windowID;
    case SDL_MOUSEWHEEL: return event.wheel.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return event.button.windowID;
    default: return 0;
    }
}

// The window's place on the desktop is its real window's (its size stays its
// own), so what is placed by it (a dialog centred on its owner) is placed on
// the desktop.
void FollowPlace(Window* window, int x, int y)
{
    const Rect rect = WindowRect(window);
    MoveWindow(window, {x, y, x + (rect.right - rect.left), y + (rect.bottom - rect.top)});
}

void HandleWindowEvent(const Screen& screen, const SDL_WindowEvent& event)
{
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        // A disabled window does not close: a dialog it owns is up.
        if (IsWindowEnabled(screen.window))
            PostMessage(screen.window, kMsgClose, 0, 0);
        break;
    case SDL_WINDOWEVENT_MOVED:
        FollowPlace(screen.window, event.data1, event.data2);
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
    // Events of the whole application (the keyboard's focus may be nowhere)
    // carry no window: they count as the device window's.
    const uint32_t id = WindowIdOf(event);
    std::optional<Screen> screen = id ? ScreenOfEvent(id) : std::nullopt;
    if (screen && event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED && screen->fromMemory)
        SDL_UpdateWindowSurface(screen->sdl);
    if (screen && screen->dialog) {
        detail::HandleDialogEvent(screen->window, event);
        return;
    }
    if (event.type == SDL_WINDOWEVENT) {
        if (screen)
            HandleWindowEvent(*screen, event.window);
        return;
    }
    // A disabled window takes no input; what is let go still is, so nothing stays held.
    const bool disabled = screen && !IsWindowEnabled(screen->window);
    switch (event.type) {
    case SDL_KEYDOWN:
        if (const uint8_t code = input::ScanCodeOfWindowKey(event.key.keysym.scancode);
            code && !event.key.repeat && !disabled) {
            input::HoldKey(code);
            input::TapKey(code); // seen by the next read even when already released
        }
        break;
    case SDL_KEYUP:
        if (const uint8_t code = input::ScanCodeOfWindowKey(event.key.keysym.scancode))
            input::LiftKey(code);
        break;
    case SDL_MOUSEMOTION:
        if (!disabled)
            input::MoveMouse(event.motion.xrel, event.motion.yrel, 0);
        break;
    case SDL_MOUSEWHEEL: {
        if (disabled)
            break;
        const int32_t notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        input::MoveMouse(0, 0, notches * input::kWheelNotch);
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (event.type == SDL_MOUSEBUTTONUP || !disabled)
            input::SetMouseButton(input::MouseButtonOfWindowButton(event.button.button),
                                  event.type == SDL_MOUSEBUTTONDOWN);
        break;
    default:
        break;
    }
}

// On the window-system thread: takes and handles every waiting event, then
// keeps the pointer to the device window while an exclusive mouse wants it
// and no dialog is up.
void TakeEvents()
{
    Screens& screens = TheScreens();
    if (!screens.videoUp)
        return;
    SDL_Event event;
    while (SDL_PollEvent(&event))
        HandleEvent(event);
    std::lock_guard guard(screens.lock);
    bool dialogUp = false;
    for (const Screen& screen : screens.open)
        dialogUp = dialogUp || screen.dialog;
    const bool wanted = input::PointerCaptured() && !dialogUp;
    if (screens.videoUp && wanted != screens.pointerCaptured) {
        SDL_SetRelativeMouseMode(wanted ? SDL_TRUE : SDL_FALSE);
        screens.pointerCaptured = wanted;
    }
}

// Takes a window the window system has made into the open screens and lets its
// events be pumped. Called with the screens' lock held.
void AddScreen(Screens& screens, const Screen& screen)
{
    screens.open.push_back(screen);
    input::SetEventPump(PumpScreenEvents);
}

} // namespace

bool OpenScreen(Window* window, int width, int height, bool fullScreen)
{
    if (!window || width <= 0 || height <= 0 || !DisplayAvailable() || !IsWindow(window))
        return false;
    Screens& screens = TheScreens();
    bool reopen = false;
    bool resized = false;
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        if (Screen* screen = Find(window)) {
            if (screen->fullScreen == fullScreen) {
                if (!fullScreen)
                    SDL_SetWindowSize(screen->sdl, width, height);
                resized = true;
            } else {
                reopen = true;
            }
        }
    });
    if (resized)
        return true;
    // Into or out of full screen, a new window: without a window manager an
    // open one is not made to cover the screen.
    if (reopen)
        Close(window, true);
    const std::string title = WindowTitle(window);
    const bool visible = IsWindowVisible(window);
    const Rect placed = WindowRect(window);
    bool opened = false;
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        if (!StartVideo(screens))
            return;
        // No SDL_WINDOW_OPENGL: frames drawn by OpenGL come through a context of
        // the drawing path's own, which suits the window's default visual.
        uint32_t flags = visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
        // Where the window stands, as far as the window system lets a window be
        // placed (a window manager puts its frame there).
        int x = placed.left, y = placed.top;
        int w = width, h = height;
        SDL_Rect desktop;
        if (fullScreen && SDL_GetDisplayBounds(0, &desktop) == 0) {
            // A window manager makes it cover the screen; without one, so does its own size.
            flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
            x = desktop.x;
            y = desktop.y;
            w = desktop.w;
            h = desktop.h;
        }
        SDL_Window* sdl = SDL_CreateWindow(title.c_str(), x, y, w, h, flags);
        if (!sdl) {
            if (!screens.toldUnavailable)
                std::cout << "No window on the display: " << SDL_GetError() << "\n";
            screens.toldUnavailable = true;
            if (screens.open.empty())
                StopVideo(screens);
            return;
        }
        AddScreen(screens, Screen{window, sdl, SDL_GetWindowID(sdl), fullScreen, false, false});
        SDL_GetWindowPosition(sdl, &x, &y);
        FollowPlace(window, x, y);
        opened = true;
    });
    return opened;
}

bool OpenDialogScreen(Window* dialog, const Rect& rect, bool topmost)
{
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (!dialog || width <= 0 || height <= 0 || !DisplayAvailable() || !IsWindow(dialog))
        return false;
    Screens& screens = TheScreens();
    const std::string title = WindowTitle(dialog);
    Window* owner = GetOwner(dialog);
    bool opened = false;
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        if (Find(dialog) || !StartVideo(screens))
            return;
        uint32_t flags = SDL_WINDOW_HIDDEN;
        if (topmost)
            flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        SDL_Window* sdl = SDL_CreateWindow(title.c_str(), rect.left, rect.top, width, height, flags);
        if (!sdl) {
            if (screens.open.empty())
                StopVideo(screens);
            return;
        }
        if (Screen* ownerScreen = Find(owner))
            SDL_SetWindowModalFor(sdl, ownerScreen->sdl);
        AddScreen(screens, Screen{dialog, sdl, SDL_GetWindowID(sdl), false, true, false});
        opened = true;
    });
    return opened;
}

void MoveScreen(Window* window, int x, int y)
{
    if (!HasScreen(window))
        return;
    Screens& screens = TheScreens();
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        if (Screen* screen = Find(window))
            SDL_SetWindowPosition(screen->sdl, x, y);
    });
}

std::optional<Rect> DesktopRect()
{
    if (!DisplayAvailable())
        return std::nullopt;
    Screens& screens = TheScreens();
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string which = std::string(display ? display : "") + "|" + (wayland ? wayland : "");
    std::optional<Rect> desktop;
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        if (screens.desktop && screens.desktopOf == which) {
            desktop = screens.desktop;
            return;
        }
        // Asked before any real window: the window system comes up to say, and goes again.
        if (!screens.videoUp && StartVideo(screens) && screens.open.empty())
            StopVideo(screens);
        if (screens.desktopOf == which)
            desktop = screens.desktop;
    });
    return desktop;
}

bool SetScreenClipboard(const std::string& text)
{
    Screens& screens = TheScreens();
    bool set = false;
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        set = screens.videoUp && !screens.open.empty() && SDL_SetClipboardText(text.c_str()) == 0;
    });
    return set;
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
    if (HasScreen(window))
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
    if (!HasScreen(window))
        return;
    Screens& screens = TheScreens();
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        if (Screen* screen = Find(window)) {
            SDL_ShowWindow(screen->sdl);
            if (screen->dialog)
                Raise(screen->sdl);
        }
    });
}

void RetitleScreen(Window* window, const std::string& title)
{
    if (!HasScreen(window))
        return;
    Screens& screens = TheScreens();
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        if (Screen* screen = Find(window))
            SDL_SetWindowTitle(screen->sdl, title.c_str());
    });
}

bool ShowFrame(Window* window, const uint8_t* texels, int width, int height, int pitch, FrameLayout layout)
{
    if (!texels || width <= 0 || height <= 0 || !HasScreen(window))
        return false;
    Screens& screens = TheScreens();
    bool shown = false;
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        Screen* screen = Find(window);
        if (!screen)
            return;
        SDL_Surface* target = SDL_GetWindowSurface(screen->sdl);
        if (!target)
            return;
        screen->fromMemory = true;
        int bits = 32;
        const uint32_t format = SdlFormatOf(layout, bits);
        SDL_Surface* source =
            SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(texels), width, height, bits, pitch, format);
        if (!source)
            return;
        SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
        const bool sameSize = target->w == width && target->h == height;
        const int blitted = sameSize ? SDL_BlitSurface(source, nullptr, target, nullptr)
                                     : SDL_BlitScaled(source, nullptr, target, nullptr);
        SDL_FreeSurface(source);
        shown = blitted == 0 && SDL_UpdateWindowSurface(screen->sdl) == 0;
    });
    return shown;
}

void PumpScreenEvents()
{
    if (TheScreens().videoUp)
        OnWindowSystem(TakeEvents);
}

std::optional<ScreenFacts> ScreenOf(Window* window)
{
    if (!HasScreen(window))
        return std::nullopt;
    Screens& screens = TheScreens();
    std::optional<ScreenFacts> found;
    OnWindowSystem([&] {
        std::lock_guard guard(screens.lock);
        Screen* screen = Find(window);
        if (!screen)
            return;
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
        found = facts;
    });
    return found;
}

} // namespace platform
