#pragma once
// A virtual X server (Xvfb) of the test's own, and a connection to it that
// acts as a person and a window manager would: finds windows by title, types
// keys and moves, clicks and wheels the pointer through the XTEST extension,
// gives the focus, asks a window to close, reads back what a window shows
// and what is on the clipboard. DISPLAY names the server while it runs, so real windows made
// in-process or by a started program open on it. Every wait is bounded.
// Header only. Xlib declares a global Window type: name the platform's one
// qualified. Xlib's most clashing macros (None, Bool, Status, Success, True,
// False, Always) are taken back after its headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace zandrel_test::xlib {
inline constexpr long kNone = None;
inline constexpr int kTrue = True;
inline constexpr int kFalse = False;
} // namespace zandrel_test::xlib
#undef None
#undef Bool
#undef Status
#undef Success
#undef True
#undef False
#undef Always
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zandrel_test {

class VirtualDisplay {
public:
    static constexpr auto kPatience = std::chrono::seconds(10);

    VirtualDisplay()
    {
        const std::string server = FindProgram("Xvfb");
        if (server.empty()) {
            why_ = "Xvfb is not installed (bash setup.sh installs it)";
            return;
        }
        int ready[2];
        if (pipe(ready) != 0) {
            why_ = "no pipe";
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(ready[1]);
            execl(server.c_str(), server.c_str(), "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                  "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        // The server writes its display number once it accepts connections.
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        while (poll(&wait, 1, static_cast<int>(std::chrono::milliseconds(kPatience).count())) > 0) {
            char c;
            if (read(ready[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        close(ready[0]);
        if (number.empty()) {
            why_ = "Xvfb did not start";
            return;
        }
        name_ = ":" + number;
        if (const char* old = getenv("DISPLAY"))
            oldDisplay_ = old;
        setenv("DISPLAY", name_.c_str(), 1);
        x_ = XOpenDisplay(name_.c_str());
        if (!x_)
            why_ = "cannot connect to " + name_;
        int event, error, major, minor;
        if (x_ && !XTestQueryExtension(x_, &event, &error, &major, &minor))
            why_ = "the server has no XTEST";
        // Windows come and go while the test looks at them: asking after one
        // that just went is no failure (Xlib would end the process).
        static const XErrorHandler previous = XSetErrorHandler(IgnoreGoneWindows);
        PreviousErrorHandler() = previous;
    }

    ~VirtualDisplay()
    {
        if (x_)
            XCloseDisplay(x_);
        if (oldDisplay_)
            setenv("DISPLAY", oldDisplay_->c_str(), 1);
        else
            unsetenv("DISPLAY");
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // "" when the server runs and answers; else why not.
    const std::string& Why() const { return why_; }
    bool Up() const { return why_.empty() && x_; }
    Display* X() const { return x_; }
    const std::string& Name() const { return name_; }

    // Waits until `done` is true, calling `step` between looks; false when it never was.
    static bool WaitFor(const std::function<bool()>& done, const std::function<void()>& step = {})
    {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (step)
                step();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // The mapped top-level window with that title, or none.
    std::optional<::Window> FindWindow(const std::string& title) const
    {
        ::Window root, parent, *children = nullptr;
        unsigned count = 0;
        std::optional<::Window> found;
        if (!XQueryTree(x_, DefaultRootWindow(x_), &root, &parent, &children, &count))
            return found;
        for (unsigned i = 0; i < count && !found; ++i) {
            char* name = nullptr;
            XWindowAttributes attributes;
            if (XFetchName(x_, children[i], &name) && name) {
                if (title == name && XGetWindowAttributes(x_, children[i], &attributes) &&
                    attributes.map_state == IsViewable)
                    found = children[i];
                XFree(name);
            }
        }
        if (children)
            XFree(children);
        return found;
    }

    std::optional<::Window> WaitForWindow(const std::string& title) const
    {
        std::optional<::Window> found;
        WaitFor([&] { return (found = FindWindow(title)).has_value(); });
        return found;
    }

    // Width and height, whether it is mapped and viewable, and its place in
    // its parent.
    struct Geometry {
        int width = 0;
        int height = 0;
        bool viewable = false;
        int x = 0;
        int y = 0;
    };
    Geometry GeometryOf(::Window window) const
    {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(x_, window, &attributes))
            return {};
        return {attributes.width, attributes.height, attributes.map_state == IsViewable, attributes.x, attributes.y};
    }

    // What the window shows: 0x00RRGGBB per pixel, row after row.
    std::vector<uint32_t> Capture(::Window window, int width, int height) const
    {
        std::vector<uint32_t> pixels;
        XImage* image = XGetImage(x_, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        if (!image)
            return pixels;
        pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        XDestroyImage(image);
        return pixels;
    }

    // Gives the window the keyboard focus, as a window manager does when it is clicked.
    void Focus(::Window window) const
    {
        XSetInputFocus(x_, window, RevertToParent, CurrentTime);
        XSync(x_, xlib::kFalse);
    }
    // Takes the focus away to the root window.
    void Unfocus() const
    {
        XSetInputFocus(x_, DefaultRootWindow(x_), RevertToParent, CurrentTime);
        XSync(x_, xlib::kFalse);
    }

    // A key by its X key code (an evdev code + 8 on this server).
    void Key(unsigned keycode, bool down) const
    {
        XTestFakeKeyEvent(x_, keycode, down ? xlib::kTrue : xlib::kFalse, CurrentTime);
        XSync(x_, xlib::kFalse);
    }
    // Puts the pointer over a point of the window.
    void PointAt(::Window window, int x, int y) const
    {
        XWarpPointer(x_, xlib::kNone, window, 0, 0, 0, 0, x, y);
        XSync(x_, xlib::kFalse);
    }
    void MoveBy(int dx, int dy) const
    {
        XTestFakeRelativeMotionEvent(x_, dx, dy, CurrentTime);
        XSync(x_, xlib::kFalse);
    }
    // X buttons: 1 left, 2 middle, 3 right, 4 and 5 the wheel, 8 and 9 the side buttons.
    void Button(unsigned button, bool down) const
    {
        XTestFakeButtonEvent(x_, button, down ? xlib::kTrue : xlib::kFalse, CurrentTime);
        XSync(x_, xlib::kFalse);
    }
    // Types the key of `keysym` while the keys of `held` are down (modifiers).
    void Press(KeySym keysym, std::initializer_list<KeySym> held = {}) const
    {
        for (KeySym key : held)
            Key(XKeysymToKeycode(x_, key), true);
        Key(XKeysymToKeycode(x_, keysym), true);
        Key(XKeysymToKeycode(x_, keysym), false);
        for (KeySym key : held)
            Key(XKeysymToKeycode(x_, key), false);
    }
    // A left click at (x, y) of the window.
    void Click(::Window window, int x, int y) const
    {
        PointAt(window, x, y);
        Button(1, true);
        Button(1, false);
    }
    // The text on the CLIPBOARD, as its owner gives it (UTF-8); nullopt when none does.
    std::optional<std::string> ClipboardText() const
    {
        const ::Window asker = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 1, 1, 0, 0, 0);
        const Atom into = XInternAtom(x_, "ZANDREL_PASTE", xlib::kFalse);
        XConvertSelection(x_, XInternAtom(x_, "CLIPBOARD", xlib::kFalse), XInternAtom(x_, "UTF8_STRING", xlib::kFalse),
                          into, asker, CurrentTime);
        XEvent event{};
        const bool answered = WaitFor([&] { return XCheckTypedWindowEvent(x_, asker, SelectionNotify, &event); });
        std::optional<std::string> text;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, left = 0;
        unsigned char* data = nullptr;
        if (answered && event.xselection.property != xlib::kNone &&
            XGetWindowProperty(x_, asker, into, 0, 1 << 20, xlib::kFalse, AnyPropertyType, &type, &format, &count, &left,
                               &data) == 0 &&
            data) {
            text = std::string(reinterpret_cast<const char*>(data), count);
            XFree(data);
        }
        XDestroyWindow(x_, asker);
        return text;
    }
    // Asks the window to close, as a window manager's close button does.
    void Close(::Window window) const
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(x_, "WM_PROTOCOLS", xlib::kFalse);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(x_, "WM_DELETE_WINDOW", xlib::kFalse));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x_, window, xlib::kFalse, NoEventMask, &event);
        XSync(x_, xlib::kFalse);
    }

private:
    static XErrorHandler& PreviousErrorHandler()
    {
        static XErrorHandler handler = nullptr;
        return handler;
    }
    static int IgnoreGoneWindows(Display* display, XErrorEvent* error)
    {
        if (error->error_code == BadWindow)
            return 0;
        XErrorHandler previous = PreviousErrorHandler();
        return previous && previous != IgnoreGoneWindows ? previous(display, error) : 0;
    }

    static std::string FindProgram(const std::string& name)
    {
        const char* path = getenv("PATH");
        std::string dirs = path ? path : "/usr/bin:/bin";
        dirs += ":/usr/bin";
        size_t start = 0;
        while (start <= dirs.size()) {
            const size_t end = dirs.find(':', start);
            const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
            const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0)
                return candidate;
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return {};
    }

    pid_t pid_ = 0;
    Display* x_ = nullptr;
    std::string name_;
    std::string why_;
    std::optional<std::string> oldDisplay_;
};

// The X key code of a keyboard scan code on the virtual server's keyboard
// (evdev codes, which equal the scan codes below 89), or 0.
inline unsigned XKeycodeOfScanCode(uint8_t code)
{
    if (code >= 1 && code <= 88)
        return code + 8u;
    struct Extended {
        uint8_t code;
        unsigned evdev;
    };
    static constexpr Extended kExtended[] = {
        {156, 96},  {157, 97},  {181, 98},  {183, 99},  {184, 100}, {197, 119}, {199, 102},
        {200, 103}, {201, 104}, {203, 105}, {205, 106}, {207, 107}, {208, 108}, {209, 109},
        {210, 110}, {211, 111}, {219, 125}, {220, 126}, {221, 127},
    };
    for (const Extended& key : kExtended)
        if (key.code == code)
            return key.evdev + 8u;
    return 0;
}

} // namespace zandrel_test

// GTEST_SKIP unless the virtual display is up; a server that is installed but
// fails is a failure, not a skip.
#define ZANDREL_NEED_DISPLAY(display)                                                                  \
    do {                                                                                               \
        if (!(display).Up()) {                                                                         \
            if ((display).Why().rfind("Xvfb is not installed", 0) == 0)                                \
                GTEST_SKIP() << (display).Why();                                                       \
            FAIL() << (display).Why();                                                                 \
        }                                                                                              \
    } while (0)
