#pragma once
// A shown popup window of a class of its own, for benchmarks and tests that
// need a real window: the class is registered for the window's life, and the
// window destroyed and the class taken back when it goes.
#include "platform/window/window.h"

namespace zandrel_test {

class PopupWindow {
public:
    PopupWindow(const char* className, int width, int height) : className_(className)
    {
        platform::WindowClass windowClass;
        windowClass.procedure = platform::DefaultWindowProc;
        windowClass.className = className;
        platform::RegisterWindowClass(windowClass);
        window_ = platform::CreateWindow(0, className, "bench", platform::kStylePopup, 0, 0, width, height, nullptr,
                                         nullptr, platform::CurrentInstance());
        platform::ShowWindow(window_);
    }
    ~PopupWindow()
    {
        platform::DestroyWindow(window_);
        platform::UnregisterWindowClass(className_);
    }
    PopupWindow(const PopupWindow&) = delete;
    PopupWindow& operator=(const PopupWindow&) = delete;

    platform::Window* Get() const { return window_; }

private:
    const char* className_;
    platform::Window* window_ = nullptr;
};

} // namespace zandrel_test
