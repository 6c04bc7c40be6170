#pragma once
// An OpenGL 4.5 core context with no window: EGL on Mesa's surfaceless
// platform (llvmpipe, or a GPU's driver when one is there), functions through
// libepoxy. Each graphics device that draws owns one. A context is current on
// one thread at a time: a thread acquires it before GL calls and keeps it until
// it releases it (the drawing thread does at each presented frame); another
// thread that wants it meanwhile waits for that, up to a limit.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace gfx::raster {

class GlContext {
public:
    // Null, with the reason in `why`, when no such context can be made.
    static std::unique_ptr<GlContext> Create(std::string& why);
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

private:
    GlContext() = default;
    void* display_ = nullptr;
    void* context_ = nullptr;
    std::string description_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id holder_;
};

} // namespace gfx::raster
