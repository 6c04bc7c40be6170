#pragma once
// An OpenGL 4.5 core context, functions through libepoxy: without a window,
// EGL on Mesa's surfaceless platform (llvmpipe, or a GPU's driver when one is
// there); with a real window on an X server, EGL on that server through a
// connection of the drawing path's own, drawing into the window, whose frames
// are shown by swapping. Each graphics device that draws owns one. A context is
// current on one thread at a time: a thread acquires it before GL calls and
// keeps it until it releases it (the drawing thread does at each presented
// frame); another thread that wants it meanwhile waits for that, up to a limit.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace gfx::raster {

// A window of an X server that frames are shown in.
struct GlWindow {
    std::string display; // the server's name; "" for DISPLAY's
    uint32_t window = 0;
};

class GlContext {
public:
    // Null, with the reason in `why`, when no such context can be made.
    static std::unique_ptr<GlContext> Create(std::string& why);
    // One whose default framebuffer is the window's (swaps wait for no refresh).
    static std::unique_ptr<GlContext> CreateOnWindow(const GlWindow& window, std::string& why);
    // Whether one without a window can be made in this process: tried once
    // (the drawing path's last resort), then remembered.
    static bool Possible();
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    // Cheap when this thread holds the context already. False when another
    // thread kept it past the limit.
    bool Acquire();
    // Lets other threads have the context (nothing when this thread does not hold it).
    void Release();
    bool HeldHere() const;
    // "renderer, version" as the driver names them.
    const std::string& Description() const { return description_; }

    // The default framebuffer is a window's, still there.
    bool OnWindow() const;
    // The window's size in pixels now; the holder asks.
    bool WindowSize(int& width, int& height) const;
    // Shows what was drawn into the default framebuffer; the holder asks.
    bool Swap();
    // Lets go of the window (before it is destroyed): waits for the context,
    // and leaves it held by whoever held it. From then on there is no window.
    void LeaveWindow();

private:
    GlContext() = default;
    // Makes the context current here; the mutex is held.
    bool MakeCurrentLocked();
    // Unbinds the context and destroys the window's surface; the mutex is held.
    void DropSurfaceLocked();

    void* display_ = nullptr;
    void* context_ = nullptr;
    void* surface_ = nullptr;    // the window's, or none
    bool leaving_ = false;       // the window goes: its surface is dropped by the next holder to let go
    std::string description_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id holder_;
};

} // namespace gfx::raster
