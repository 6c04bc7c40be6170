#pragma once
// An OpenGL 4.5 core context with no window: EGL on Mesa's surfaceless
// platform (llvmpipe, or a GPU's driver when one is there), functions through
// libepoxy. Each graphics device that draws owns one; it is made current on
// the calling thread before any GL call.
#include <memory>
#include <string>

namespace gfx::raster {

class GlContext {
public:
    // Null, with the reason in `why`, when no such context can be made.
    static std::unique_ptr<GlContext> Create(std::string& why);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    // Cheap when the context is already current on this thread.
    void MakeCurrent();
    // "renderer, version" as the driver names them.
    const std::string& Description() const { return description_; }

private:
    GlContext() = default;
    void* display_ = nullptr;
    void* context_ = nullptr;
    std::string description_;
};

} // namespace gfx::raster
