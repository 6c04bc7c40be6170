#include "platform/gfx/raster/gl_context.h"

#include <chrono>
#include <mutex>

#include <epoxy/egl.h>
#include <epoxy/gl.h>

namespace gfx::raster {

namespace {

// How long a thread waits for the drawing thread to let the context go.
constexpr auto kAcquireLimit = std::chrono::seconds(2);

// One display for the process: Mesa's surfaceless platform, else the default one.
EGLDisplay Display(std::string& why)
{
    static std::once_flag once;
    static EGLDisplay display = EGL_NO_DISPLAY;
    static std::string failure;
    std::call_once(once, [] {
        if (epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless"))
            display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display == EGL_NO_DISPLAY)
            display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
        EGLint major = 0, minor = 0;
        if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
            display = EGL_NO_DISPLAY;
            failure = "no EGL display";
        }
    });
    why = failure;
    return display;
}

} // namespace

std::unique_ptr<GlContext> GlContext::Create(std::string& why)
{
    EGLDisplay display = Display(why);
    if (display == EGL_NO_DISPLAY)
        return nullptr;
    if (!epoxy_has_egl_extension(display, "EGL_KHR_surfaceless_context") ||
        !epoxy_has_egl_extension(display, "EGL_KHR_create_context")) {
        why = "EGL cannot make a context without a surface";
        return nullptr;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        why = "EGL has no OpenGL";
        return nullptr;
    }
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!epoxy_has_egl_extension(display, "EGL_KHR_no_config_context")) {
        const EGLint wanted[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display, wanted, &config, 1, &count) || count == 0) {
            why = "EGL has no OpenGL configuration";
            return nullptr;
        }
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION, 4, EGL_CONTEXT_MINOR_VERSION, 5,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        why = "no OpenGL 4.5 core context";
        return nullptr;
    }
    std::unique_ptr<GlContext> made(new GlContext());
    made->display_ = display;
    made->context_ = context;
    made->Acquire();
    if (epoxy_gl_version() < 45) {
        why = "OpenGL 4.5 is not offered";
        return nullptr;
    }
    made->description_ = std::string(reinterpret_cast<const char*>(glGetString(GL_RENDERER))) + ", " +
                         reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return made;
}

GlContext::~GlContext()
{
    Release();
    eglDestroyContext(display_, context_);
}

bool GlContext::Acquire()
{
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock lock(mutex_);
    if (holder_ == me)
        return true;
    if (!released_.wait_for(lock, kAcquireLimit, [&] { return holder_ == std::thread::id(); }))
        return false;
    if (!eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_))
        return false;
    holder_ = me;
    return true;
}

void GlContext::Release()
{
    std::lock_guard lock(mutex_);
    if (holder_ != std::this_thread::get_id())
        return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    holder_ = std::thread::id();
    released_.notify_all();
}

bool GlContext::HeldHere() const
{
    std::lock_guard lock(mutex_);
    return holder_ == std::this_thread::get_id();
}

} // namespace gfx::raster
