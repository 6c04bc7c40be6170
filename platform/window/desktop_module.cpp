// The desktop module's face (platform/window/desktop.h): its one exported
// function hands the program the module's desktop, and the program's
// functions the module's code calls reach the program through its host.
#include "platform/window/desktop.h"

#include "platform/input/input_source.h"
#include "platform/window/dialog_font.h"
#include "platform/window/message_queue.h"
#include "platform/window/screen.h"
#include "platform/window/window.h"

namespace platform {

namespace {

DesktopHost* host = nullptr;

class ModuleDesktop final : public Desktop {
public:
    bool OpenScreen(Window* window, int width, int height, bool fullScreen) override
    {
        return platform::OpenScreen(window, width, height, fullScreen);
    }
    bool HasScreen(Window* window) override { return platform::HasScreen(window); }
    bool ScreensOpen() override { return platform::ScreensOpen(); }
    void ShowScreen(Window* window) override { platform::ShowScreen(window); }
    void RetitleScreen(Window* window, const std::string& title) override { platform::RetitleScreen(window, title); }
    void CloseScreen(Window* window) override { platform::CloseScreen(window); }
    int WatchScreen(Window* window, std::function<void()> closing) override
    {
        return platform::WatchScreen(window, std::move(closing));
    }
    void UnwatchScreen(int watch) override { platform::UnwatchScreen(watch); }
    bool ShowFrame(Window* window, const uint8_t* texels, int width, int height, int pitch,
                   FrameLayout layout) override
    {
        return platform::ShowFrame(window, texels, width, height, pitch, layout);
    }
    void PumpScreenEvents() override { platform::PumpScreenEvents(); }
    bool OpenDialogScreen(Window* dialog, const Rect& rect, bool topmost) override
    {
        return platform::OpenDialogScreen(dialog, rect, topmost);
    }
    void MoveScreen(Window* window, int x, int y) override { platform::MoveScreen(window, x, y); }
    std::optional<Rect> DesktopRect() override { return platform::DesktopRect(); }
    bool SetScreenClipboard(const std::string& text) override { return platform::SetScreenClipboard(text); }
    std::optional<ScreenFacts> ScreenOf(Window* window) override { return platform::ScreenOf(window); }

    bool MessageFontReady() override { return detail::MessageFontReady(); }
    int MessageFontWidth(std::string_view text) override { return detail::MessageFontWidth(text); }
    int MessageFontLineHeight() override { return detail::MessageFontLineHeight(); }
    int MessageFontAverageWidth() override { return detail::MessageFontAverageWidth(); }
    int DrawMessageFontLine(Picture& picture, const Rect& clip, int x, int y, std::string_view text, uint32_t rgb,
                            int pixels, bool bold) override
    {
        return detail::DrawMessageFontLine(picture, clip, x, y, text, rgb, pixels, bold);
    }
};

} // namespace

// The program's functions, as the module's code names them.
bool DisplayAvailable() { return host->DisplayAvailable(); }
bool IsWindow(Window* window) { return host->IsWindow(window); }
bool IsWindowVisible(Window* window) { return host->IsWindowVisible(window); }
bool IsWindowEnabled(Window* window) { return host->IsWindowEnabled(window); }
std::string WindowTitle(Window* window) { return host->WindowTitle(window); }
Rect WindowRect(Window* window) { return host->WindowRect(window); }
bool MoveWindow(Window* window, const Rect& rect) { return host->MoveWindow(window, rect); }
Window* GetOwner(Window* window) { return host->GetOwner(window); }
std::vector<Window*> ChildWindows(Window* parent) { return host->ChildWindows(parent); }
bool PostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    return host->PostMessage(window, message, wParam, lParam);
}

namespace input {
void HoldKey(uint8_t code) { host->HoldKey(code); }
void LiftKey(uint8_t code) { host->LiftKey(code); }
void TapKey(uint8_t code) { host->TapKey(code); }
void MoveMouse(int32_t dx, int32_t dy, int32_t dz) { host->MoveMouse(dx, dy, dz); }
void SetMouseButton(int button, bool held) { host->SetMouseButton(button, held); }
void LiftEverything() { host->LiftEverything(); }
bool PointerCaptured() { return host->PointerCaptured(); }
void SetFocus(bool focused) { host->SetFocus(focused); }
void SetEventPump(EventPump pump) { host->SetEventPump(pump); }
} // namespace input

} // namespace platform

extern "C" [[gnu::visibility("default")]] platform::Desktop* ZandrelDesktop(platform::DesktopHost& host)
{
    static platform::ModuleDesktop desktop;
    platform::host = &host;
    return &desktop;
}
