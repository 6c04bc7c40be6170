#include "platform/gfx/raster/gl_context.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <epoxy/egl.h>
#include <epoxy/gl.h>
#include <xcb/xcb.h>

#include "platform/os/memory_shortage.h"

namespace gfx::raster {

namespace {

// How long a thread waits for the drawing thread to let the context go.
constexpr auto kAcquireLimit = std::chrono::seconds(2);

// EGL_EXT_platform_xcb, which libepoxy's headers do not name.
constexpr EGLenum kPlatformXcb = 0x31DC;
constexpr EGLint kPlatformXcbScreen = 0x31DE;

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

struct ServerDisplay {
    xcb_connection_t* connection = nullptr;
    EGLDisplay display = EGL_NO_DISPLAY;
};

// One display for each X server the process draws windows on, kept like the
// surfaceless one: letting a display go unloads the driver, which does not
// give back all it took. Its connection is its own: the window system's may
// go first, and a connection whose server is gone fails quietly instead of
// ending the process. A server that went away (another of the same name may
// have come since) leaves its display unused.
ServerDisplay DisplayOnServer(const std::string& name, std::string& why)
{
    static std::mutex lock;
    static std::map<std::string, ServerDisplay> displays;
    std::lock_guard guard(lock);
    if (auto found = displays.find(name); found != displays.end()) {
        // Reading what waits shows whether the server hung up, writing nothing to it.
        while (xcb_generic_event_t* event = xcb_poll_for_event(found->second.connection))
            free(event);
        if (!xcb_connection_has_error(found->second.connection))
            return found->second;
        displays.erase(found);
    }
    ServerDisplay made;
    int screen = 0;
    made.connection = xcb_connect(name.empty() ? nullptr : name.c_str(), &screen);
    if (xcb_connection_has_error(made.connection)) {
        xcb_disconnect(made.connection);
        why = "cannot reach the X server";
        return {};
    }
    const EGLint platform[] = {kPlatformXcbScreen, screen, EGL_NONE};
    made.display = eglGetPlatformDisplayEXT(kPlatformXcb, made.connection, platform);
    EGLint major = 0, minor = 0;
    if (made.display == EGL_NO_DISPLAY || !eglInitialize(made.display, &major, &minor)) {
        xcb_disconnect(made.connection);
        why = "no EGL display on the X server";
        return {};
    }
    displays[name] = made;
    return made;
}

const EGLint kContextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,       4,
                                     EGL_CONTEXT_MINOR_VERSION,       5,
                                     EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                     EGL_NONE};

// A window configuration whose pixels are the window's visual, or none.
EGLConfig WindowConfig(EGLDisplay display, uint32_t visual)
{
    const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 8,
                             EGL_GREEN_SIZE,   8,              EGL_BLUE_SIZE,       8,              EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count <= 0)
        return nullptr;
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    if (!eglChooseConfig(display, wanted, configs.data(), count, &count))
        return nullptr;
    for (EGLint i = 0; i < count; ++i) {
        EGLint id = 0;
        if (eglGetConfigAttrib(display, configs[size_t(i)], EGL_NATIVE_VISUAL_ID, &id) && uint32_t(id) == visual)
            return configs[size_t(i)];
    }
    return nullptr;
}

// Mesa's software rasterizer starts two threads a processor and one more for
// its shader cache when it makes a context, and crashes when one cannot have
// its stack: a context is asked for only with room for them all and its own
// first needs.
bool RoomForContext()
{
    const size_t threads = 2 * size_t{std::max(1u, std::thread::hardware_concurrency())} + 1;
    return platform::os::RoomForThreads(threads, 32u << 20);
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
    if (!RoomForContext()) {
        why = "too little memory for an OpenGL context";
        return nullptr;
    }
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, kContextAttributes);
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

bool GlContext::Possible()
{
    static const bool possible = [] {
        std::string why;
        return Create(why) != nullptr;
    }();
    return possible;
}

std::unique_ptr<GlContext> GlContext::CreateOnWindow(const GlWindow& window, std::string& why)
{
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_EXT_platform_xcb")) {
        why = "EGL cannot draw on an X server";
        return nullptr;
    }
    const ServerDisplay server = DisplayOnServer(window.display, why);
    if (server.display == EGL_NO_DISPLAY)
        return nullptr;
    xcb_connection_t* connection = server.connection;
    EGLDisplay display = server.display;
    std::unique_ptr<GlContext> made(new GlContext());
    made->display_ = display;
    if (!epoxy_has_egl_extension(display, "EGL_KHR_surfaceless_context") || !eglBindAPI(EGL_OPENGL_API)) {
        why = "EGL on the X server has no OpenGL without a surface";
        return nullptr;
    }
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window.window), nullptr);
    if (!attributes) {
        why = "the window is gone";
        return nullptr;
    }
    const uint32_t visual = attributes->visual;
    free(attributes);
    EGLConfig config = WindowConfig(display, visual);
    if (!config) {
        why = "no OpenGL configuration draws into the window";
        return nullptr;
    }
    if (!RoomForContext()) {
        why = "too little memory for an OpenGL context";
        return nullptr;
    }
    made->context_ = eglCreateContext(display, config, EGL_NO_CONTEXT, kContextAttributes);
    if (made->context_ == EGL_NO_CONTEXT) {
        made->context_ = nullptr;
        why = "no OpenGL 4.5 core context on the X server";
        return nullptr;
    }
    xcb_window_t native = window.window;
    made->surface_ = eglCreatePlatformWindowSurfaceEXT(display, config, &native, nullptr);
    if (made->surface_ == EGL_NO_SURFACE) {
        made->surface_ = nullptr;
        why = "no OpenGL surface on the window";
        return nullptr;
    }
    if (!made->Acquire() || !made->OnWindow()) {
        why = "the window's OpenGL surface cannot be drawn into";
        return nullptr;
    }
    if (epoxy_gl_version() < 45) {
        why = "OpenGL 4.5 is not offered on the X server";
        return nullptr;
    }
    // The device paces presentation itself; a swap never waits for a refresh as well.
    eglSwapInterval(display, 0);
    made->description_ = std::string(reinterpret_cast<const char*>(glGetString(GL_RENDERER))) + ", " +
                         reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return made;
}

GlContext::~GlContext()
{
    Release();
    if (display_) {
        if (surface_)
            eglDestroySurface(display_, surface_);
        if (context_)
            eglDestroyContext(display_, context_);
    }
}

void GlContext::DropSurfaceLocked()
{
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_)
        eglDestroySurface(display_, surface_);
    surface_ = nullptr;
    leaving_ = false;
}

bool GlContext::MakeCurrentLocked()
{
    if (leaving_)
        DropSurfaceLocked();
    if (surface_ && eglMakeCurrent(display_, surface_, surface_, context_))
        return true;
    if (surface_) {
        // The window went without a word: what is drawn is no longer shown.
        eglDestroySurface(display_, surface_);
        surface_ = nullptr;
    }
    return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
}

bool GlContext::Acquire()
{
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock lock(mutex_);
    if (holder_ == me)
        return true;
    if (!released_.wait_for(lock, kAcquireLimit, [&] { return holder_ == std::thread::id(); }))
        return false;
    if (!MakeCurrentLocked())
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
    if (leaving_)
        DropSurfaceLocked();
    holder_ = std::thread::id();
    released_.notify_all();
}

bool GlContext::HeldHere() const
{
    std::lock_guard lock(mutex_);
    return holder_ == std::this_thread::get_id();
}

bool GlContext::OnWindow() const
{
    std::lock_guard lock(mutex_);
    return surface_ != nullptr && !leaving_;
}

bool GlContext::WindowSize(int& width, int& height) const
{
    std::lock_guard lock(mutex_);
    EGLint w = 0, h = 0;
    if (!surface_ || !eglQuerySurface(display_, surface_, EGL_WIDTH, &w) ||
        !eglQuerySurface(display_, surface_, EGL_HEIGHT, &h))
        return false;
    width = w;
    height = h;
    return w > 0 && h > 0;
}

bool GlContext::Swap()
{
    std::lock_guard lock(mutex_);
    return surface_ && !leaving_ && holder_ == std::this_thread::get_id() && eglSwapBuffers(display_, surface_);
}

void GlContext::LeaveWindow()
{
    if (!OnWindow())
        return;
    const bool held = HeldHere();
    if (!held && !Acquire()) {
        // Kept past the limit: nothing more is shown, and the holder lets go
        // of the window when it lets go of the context.
        std::lock_guard lock(mutex_);
        leaving_ = true;
        return;
    }
    {
        std::lock_guard lock(mutex_);
        DropSurfaceLocked();
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    }
    if (!held)
        Release();
}

} // namespace gfx::raster
