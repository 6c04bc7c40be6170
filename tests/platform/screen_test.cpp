// The real window on a virtual X server: it opens at the back buffer's size
// (or covers the screen, full screen) with the window's caption, shows
// presented frames (drawn ones through OpenGL, nothing read back), brings keys, pointer,
// wheel, buttons and the focus to the input devices, and its close is the
// window's close message. Without a display nothing opens.
#include <gtest/gtest.h>

#include "testing/virtual_display.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstring>
#include <vector>

#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "platform/input/input_system.h"
#include "platform/input/keyboard.h"
#include "platform/input/mouse.h"
#include "platform/input/scan_codes.h"
#include "platform/input/window_keys.h"
#include "testing/gfx_device_hooks.h"
#include "testing/input_injection.h"
#include "testing/window_hooks.h"
#include "platform/window/message_queue.h"
#include "platform/window/screen.h"
#include "platform/window/window.h"

namespace input = platform::input;
using zandrel_test::VirtualDisplay;

namespace {

constexpr const char* kTitle = "Zandrel Engine";
constexpr const char* kClass = "ScreenTestClass";

thread_local std::vector<uint32_t> messagesSeen;

intptr_t RecordingProc(platform::Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    messagesSeen.push_back(message);
    return platform::DefaultWindowProc(window, message, wParam, lParam);
}

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZANDREL_NEED_DISPLAY(display_);
        platform::testing::ResetWindowState(kClass);
        messagesSeen.clear();
        platform::WindowClass windowClass;
        windowClass.procedure = RecordingProc;
        windowClass.className = kClass;
        ASSERT_TRUE(platform::RegisterWindowClass(windowClass));
        window_ = platform::CreateWindow(0, kClass, kTitle, platform::kStylePopup, 0, 0, 100, 100, nullptr, nullptr,
                                         platform::CurrentInstance());
        ASSERT_NE(window_, nullptr);
        platform::ShowWindow(window_);
        d3d_ = gfx::CreateDirect3D(gfx::kSdkVersion);
    }

    void TearDown() override
    {
        ReleaseInput();
        gfx::SafeRelease(device_);
        gfx::SafeRelease(d3d_);
        if (window_)
            platform::DestroyWindow(window_);
        platform::testing::ResetWindowState(kClass);
    }

    // A device presenting to the window, whose back buffer is width x height.
    gfx::Device* MakeDevice(int width, int height, uint32_t format = gfx::kFormatX8R8G8B8, bool windowed = true)
    {
        gfx::SafeRelease(device_);
        gfx::PresentParameters parameters;
        parameters.backBufferWidth = static_cast<uint32_t>(width);
        parameters.backBufferHeight = static_cast<uint32_t>(height);
        parameters.backBufferFormat = format;
        parameters.backBufferCount = 1;
        parameters.swapEffect = gfx::kSwapDiscard;
        parameters.deviceWindow = window_;
        parameters.windowed = windowed;
        parameters.presentationInterval = gfx::kPresentIntervalImmediate;
        EXPECT_EQ(gfx::kOk, d3d_->CreateDevice(gfx::kDefaultAdapter, gfx::kDeviceHal, window_,
                                               gfx::kCreateHardwareVertexProcessing, &parameters, &device_));
        return device_;
    }

    // The real window, focused as a window manager would after a click.
    ::Window FocusedScreen()
    {
        MakeDevice(160, 120);
        const auto facts = platform::ScreenOf(window_);
        EXPECT_TRUE(facts && facts->x11Window);
        const ::Window x11 = facts ? facts->x11Window : 0;
        EXPECT_TRUE(VirtualDisplay::WaitFor([&] { return display_.GeometryOf(x11).viewable; }));
        display_.Focus(x11);
        display_.PointAt(x11, 80, 60);
        return x11;
    }

    // Keyboard and mouse made, given their formats and levels, acquired.
    void MakeInput()
    {
        injected_ = std::make_unique<platform::testing::InjectedInput>();
        ASSERT_EQ(input::kInputOk, input::CreateInputSystem(platform::CurrentInstance(), input::kInputVersion, &system_));
        ASSERT_EQ(input::kInputOk, system_->CreateDevice(input::DeviceKind::kSystemKeyboard, &keyboard_));
        ASSERT_EQ(input::kInputOk, system_->CreateDevice(input::DeviceKind::kSystemMouse, &mouse_));
        keyboard_->SetDataFormat(input::DataFormat::kKeyboard);
        keyboard_->SetCooperativeLevel(window_, input::kCoopNonExclusive | input::kCoopForeground);
        mouse_->SetDataFormat(input::DataFormat::kMouse);
        mouse_->SetCooperativeLevel(window_, input::kCoopExclusive | input::kCoopForeground);
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return keyboard_->Acquire() == input::kInputOk; }));
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return mouse_->Acquire() == input::kInputOk; }));
    }

    void ReleaseInput()
    {
        if (keyboard_)
            keyboard_->Release();
        if (mouse_)
            mouse_->Release();
        if (system_)
            system_->Release();
        keyboard_ = nullptr;
        mouse_ = nullptr;
        system_ = nullptr;
        injected_.reset();
    }

    std::vector<uint8_t> Keys()
    {
        std::vector<uint8_t> keys(input::kKeyboardStateSize);
        EXPECT_EQ(input::kInputOk, keyboard_->GetDeviceState(keys.size(), keys.data()));
        return keys;
    }

    input::MouseState Mouse()
    {
        input::MouseState state;
        EXPECT_EQ(input::kInputOk, mouse_->GetDeviceState(sizeof(state), &state));
        return state;
    }

    // Reads the keyboard until `code` reads as `held`; false when it never did.
    bool KeyReads(uint8_t code, bool held, std::vector<uint8_t>* last = nullptr)
    {
        return VirtualDisplay::WaitFor([&] {
            auto keys = Keys();
            const bool now = (keys[code] & input::kKeyHeld) != 0;
            if (last)
                *last = keys;
            return now == held;
        });
    }

    VirtualDisplay display_;
    platform::Window* window_ = nullptr;
    gfx::Direct3D* d3d_ = nullptr;
    gfx::Device* device_ = nullptr;
    std::unique_ptr<platform::testing::InjectedInput> injected_;
    input::InputSystem* system_ = nullptr;
    input::InputDevice* keyboard_ = nullptr;
    input::InputDevice* mouse_ = nullptr;
};

// --- The window itself ---

TEST_F(ScreenTest, OpensAtTheBackBufferSizeWithTheCaption)
{
    const int screenWidth = DisplayWidth(display_.X(), DefaultScreen(display_.X()));
    const int screenHeight = DisplayHeight(display_.X(), DefaultScreen(display_.X()));
    const struct {
        int width, height;
        bool windowed;
    } sizes[] = {{64, 48, true}, {320, 200, true}, {800, 600, false}, {97, 31, true}, {160, 100, false}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) +
                     (size.windowed ? "" : " full screen"));
        // Full screen, the frame drawn is stretched over the screen, shown through OpenGL.
        if (!size.windowed)
            gfx::SetDefaultGfxMode(gfx::GfxMode::Raster);
        gfx::Device* device = MakeDevice(size.width, size.height, gfx::kFormatX8R8G8B8, size.windowed);
        gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
        ASSERT_NE(device, nullptr);
        const int width = size.windowed ? size.width : screenWidth;
        const int height = size.windowed ? size.height : screenHeight;
        const auto found = display_.WaitForWindow(kTitle);
        ASSERT_TRUE(found.has_value());
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] {
            const auto geometry = display_.GeometryOf(*found);
            return geometry.width == width && geometry.height == height && geometry.viewable;
        }));
        const auto facts = platform::ScreenOf(window_);
        ASSERT_TRUE(facts.has_value());
        EXPECT_EQ(facts->width, width);
        EXPECT_EQ(facts->height, height);
        EXPECT_EQ(facts->fullScreen, !size.windowed);
        EXPECT_EQ(facts->title, kTitle);
        EXPECT_EQ(*found, facts->x11Window);
        if (size.windowed || !device->Rasterizes())
            continue;
        ASSERT_TRUE(platform::testing::PresentsThroughGl(*device));
        ASSERT_EQ(gfx::kOk, device->Clear(0, nullptr, gfx::kClearTarget, 0xFF2080C0, 1.0f, 0));
        ASSERT_EQ(gfx::kOk, device->Present());
        const auto covered = [&] {
            const auto shown = display_.Capture(*found, width, height);
            return std::count(shown.begin(), shown.end(), 0x2080C0u) == static_cast<long>(width) * height;
        };
        EXPECT_TRUE(VirtualDisplay::WaitFor(covered)) << "the whole screen shows the frame";
        EXPECT_EQ(platform::testing::ReadBacks(*device), 0u);
    }
}

TEST_F(ScreenTest, FollowsTheWindowShownAndCaptionedAndGoesWithIt)
{
    platform::Window* hidden = platform::CreateWindow(0, kClass, "later", platform::kStylePopup, 0, 0, 10, 10,
                                                      nullptr, nullptr, platform::CurrentInstance());
    ASSERT_TRUE(platform::OpenScreen(hidden, 40, 30, false));
    auto facts = platform::ScreenOf(hidden);
    ASSERT_TRUE(facts.has_value());
    EXPECT_FALSE(facts->shown);
    EXPECT_FALSE(display_.GeometryOf(facts->x11Window).viewable);

    platform::ShowWindow(hidden);
    platform::SetWindowTitle(hidden, "now shown");
    EXPECT_TRUE(VirtualDisplay::WaitFor([&] { return display_.FindWindow("now shown").has_value(); }));
    EXPECT_TRUE(platform::ScreenOf(hidden)->shown);

    platform::DestroyWindow(hidden);
    EXPECT_FALSE(platform::HasScreen(hidden));
    EXPECT_FALSE(platform::ScreensOpen());
    EXPECT_FALSE(display_.FindWindow("now shown").has_value());
}

TEST_F(ScreenTest, NothingOpensWithoutADisplay)
{
    const std::string name = display_.Name();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        SCOPED_TRACE(variable);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        EXPECT_FALSE(platform::DisplayAvailable());
        MakeDevice(32, 32);
        EXPECT_FALSE(platform::HasScreen(window_));
        EXPECT_EQ(gfx::kOk, device_->Present());
        EXPECT_EQ(device_->FramesPresented(), 1u);
        setenv(variable, "", 1);
        EXPECT_FALSE(platform::DisplayAvailable()) << "an empty variable names no display";
    }
    unsetenv("WAYLAND_DISPLAY");
    setenv("DISPLAY", name.c_str(), 1);
    EXPECT_TRUE(platform::DisplayAvailable());
}

TEST_F(ScreenTest, ClosingItIsTheCloseMessageAndDestroysTheWindow)
{
    // A drawing device lets go of the window before it goes, and draws on.
    for (const gfx::GfxMode mode : {gfx::GfxMode::Record, gfx::GfxMode::Raster}) {
        SCOPED_TRACE(mode == gfx::GfxMode::Raster ? "drawn" : "recorded");
        if (!window_) {
            window_ = platform::CreateWindow(0, kClass, kTitle, platform::kStylePopup, 0, 0, 100, 100, nullptr,
                                             nullptr, platform::CurrentInstance());
            platform::ShowWindow(window_);
        }
        gfx::SetDefaultGfxMode(mode);
        const ::Window x11 = FocusedScreen();
        gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
        const bool drawn = device_->Rasterizes();
        EXPECT_EQ(platform::testing::PresentsThroughGl(*device_), drawn);
        display_.Close(x11);
        platform::Message message;
        bool closed = false;
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] {
            while (platform::PeekMessage(message, true)) {
                closed = closed || (message.window == window_ && message.message == platform::kMsgClose);
                platform::DispatchMessage(message);
            }
            return closed;
        }));
        EXPECT_FALSE(platform::IsWindow(window_));
        EXPECT_EQ(messagesSeen.back(), platform::kMsgDestroy);
        EXPECT_FALSE(platform::ScreensOpen());
        EXPECT_FALSE(platform::testing::PresentsThroughGl(*device_));
        window_ = nullptr;
        EXPECT_EQ(gfx::kOk, device_->Clear(0, nullptr, gfx::kClearTarget, 0xFF00FF00, 1.0f, 0));
        EXPECT_EQ(gfx::kOk, device_->Present()) << "presenting to a gone window shows nothing and goes on";
        EXPECT_EQ(platform::testing::ReadBacks(*device_), 0u);
        if (drawn) {
            gfx::Surface* back = nullptr;
            ASSERT_EQ(gfx::kOk, device_->GetRenderTarget(0, &back));
            EXPECT_EQ(platform::testing::DrawnSurfaceBytes(*back)[1], 0xFF) << "still drawn";
            back->Release();
        }
    }
}

TEST_F(ScreenTest, AWindowClosedWhileAnotherThreadDrawsIsLetGoByTheDrawingFirst)
{
    gfx::SetDefaultGfxMode(gfx::GfxMode::Raster);
    MakeDevice(128, 96);
    gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
    if (!device_->Rasterizes())
        GTEST_SKIP() << "no OpenGL 4.5 context here";
    ASSERT_TRUE(platform::testing::PresentsThroughGl(*device_));
    std::atomic<int> frames{0};
    std::atomic<bool> stop{false};
    std::thread drawing([&] {
        while (!stop) {
            device_->Clear(0, nullptr, gfx::kClearTarget, 0xFF000000u | uint32_t(frames), 1.0f, 0);
            device_->Present();
            ++frames;
        }
    });
    ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return frames > 3; }));
    platform::DestroyWindow(window_); // the window system lets go of it last
    window_ = nullptr;
    EXPECT_FALSE(platform::testing::PresentsThroughGl(*device_));
    const int after = frames;
    EXPECT_TRUE(VirtualDisplay::WaitFor([&] { return frames > after + 3; })) << "drawing goes on";
    stop = true;
    drawing.join();
    EXPECT_EQ(platform::testing::ReadBacks(*device_), 0u);
}

// --- Frames ---

// The expected 0xRRGGBB of a back-buffer texel as a window shows it.
uint32_t Shown(const uint8_t* texel, uint32_t format)
{
    auto widen = [](uint32_t value, int bits) { return (value << (8 - bits)) | (value >> (2 * bits - 8)); };
    uint16_t word;
    switch (format) {
    case gfx::kFormatR5G6B5:
        std::memcpy(&word, texel, 2);
        return widen(word >> 11, 5) << 16 | widen((word >> 5) & 63, 6) << 8 | widen(word & 31, 5);
    case gfx::kFormatX1R5G5B5:
    case gfx::kFormatA1R5G5B5:
        std::memcpy(&word, texel, 2);
        return widen((word >> 10) & 31, 5) << 16 | widen((word >> 5) & 31, 5) << 8 | widen(word & 31, 5);
    default:
        return uint32_t{texel[2]} << 16 | uint32_t{texel[1]} << 8 | texel[0];
    }
}

int ChannelDistance(uint32_t a, uint32_t b)
{
    int worst = 0;
    for (int shift : {0, 8, 16})
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)));
    return worst;
}

TEST_F(ScreenTest, APresentedFrameIsWhatTheWindowShows)
{
    const struct {
        uint32_t format;
        int bytes;
        int tolerance; // a 16-bit texel widened to 8 bits a channel may round either way
    } formats[] = {{gfx::kFormatX8R8G8B8, 4, 0}, {gfx::kFormatA8R8G8B8, 4, 0},
                   {gfx::kFormatR5G6B5, 2, 1},   {gfx::kFormatX1R5G5B5, 2, 1}};
    constexpr int kWidth = 96, kHeight = 64;
    // Recorded, the frame is the device's memory; drawn, it is on the GPU and
    // goes into the window there (or, as a fallback, comes back for it).
    const struct {
        const char* name;
        gfx::GfxMode mode;
        bool fromMemory;
    } paths[] = {{"recorded", gfx::GfxMode::Record, false},
                 {"drawn", gfx::GfxMode::Raster, false},
                 {"drawn, read back", gfx::GfxMode::Raster, true}};
    for (const auto& path : paths)
    for (const auto& format : formats) {
        SCOPED_TRACE(std::string(path.name) + ", format " + std::to_string(format.format));
        gfx::SetDefaultGfxMode(path.mode);
        platform::testing::ShowDrawnFramesFromMemory(path.fromMemory);
        gfx::Device* device = MakeDevice(kWidth, kHeight, format.format);
        platform::testing::ShowDrawnFramesFromMemory(false);
        gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
        ASSERT_NE(device, nullptr);
        const bool drawn = path.mode == gfx::GfxMode::Raster;
        if (drawn && !device->Rasterizes()) {
            std::cout << "no OpenGL 4.5 context here: drawn frames not tried\n";
            continue;
        }
        EXPECT_EQ(platform::testing::PresentsThroughGl(*device), drawn && !path.fromMemory);
        // Four quadrants, a stripe and one lone texel, each its own colour;
        // alpha differs too, which the window must not show.
        const struct {
            gfx::Rect rect;
            uint32_t colour;
        } fills[] = {{{0, 0, kWidth / 2, kHeight / 2}, 0x80FF0000}, {{kWidth / 2, 0, kWidth, kHeight / 2}, 0xFF00FF00},
                     {{0, kHeight / 2, kWidth / 2, kHeight}, 0x000000FF}, {{kWidth / 2, kHeight / 2, kWidth, kHeight}, 0xFF123456},
                     {{0, 10, kWidth, 13}, 0xFFFFFFFF}, {{kWidth - 1, kHeight - 1, kWidth, kHeight}, 0xFFFEDCBA}};
        for (const auto& fill : fills)
            ASSERT_EQ(gfx::kOk, device->Clear(1, &fill.rect, gfx::kClearTarget, fill.colour, 1.0f, 0));
        ASSERT_EQ(gfx::kOk, device->Present());
        EXPECT_EQ(platform::testing::ReadBacks(*device), drawn && path.fromMemory ? 1u : 0u);

        gfx::Surface* back = nullptr;
        ASSERT_EQ(gfx::kOk, device->GetRenderTarget(0, &back));
        const auto bytes = drawn ? platform::testing::DrawnSurfaceBytes(*back) : platform::testing::SurfaceBytes(*back);
        const uint32_t pitch = platform::testing::SurfacePitch(*back);
        const auto x11 = platform::ScreenOf(window_)->x11Window;
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return display_.GeometryOf(x11).viewable; }));
        // Texels shown otherwise than the back buffer holds them, the first few told.
        auto wrongIn = [&](const std::vector<uint32_t>& shown, bool tell) {
            int wrong = 0;
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const uint32_t expected = Shown(&bytes[y * pitch + x * format.bytes], format.format);
                    const uint32_t got = shown[static_cast<size_t>(y * kWidth + x)];
                    if (ChannelDistance(expected, got) > format.tolerance && wrong++ < 5 && tell)
                        ADD_FAILURE() << "texel " << x << "," << y << ": shown " << std::hex << got
                                      << ", back buffer " << expected;
                    // Eight bits a channel show exactly the colour last filled there.
                    uint32_t filled = 0;
                    for (const auto& fill : fills)
                        if (x >= fill.rect.left && x < fill.rect.right && y >= fill.rect.top && y < fill.rect.bottom)
                            filled = fill.colour & 0xFFFFFF;
                    if (format.bytes == 4 && got != filled && wrong++ < 5 && tell)
                        ADD_FAILURE() << "texel " << x << "," << y << ": shown " << std::hex << got << ", filled "
                                      << filled;
                }
            }
            return wrong;
        };
        // The X server may take the frame from another connection a moment later.
        std::vector<uint32_t> shown;
        VirtualDisplay::WaitFor([&] {
            shown = display_.Capture(x11, kWidth, kHeight);
            return shown.size() == static_cast<size_t>(kWidth * kHeight) && wrongIn(shown, false) == 0;
        });
        ASSERT_EQ(shown.size(), static_cast<size_t>(kWidth * kHeight));
        EXPECT_EQ(wrongIn(shown, true), 0);
        back->Release();
    }
}

// --- Keys ---

struct KeyCase {
    const char* name;
    uint8_t code;
};

// Keys across the board: letters, digits, punctuation, the 102-key board's
// extra key, the keys with an extension prefix, the function and keypad keys.
const KeyCase kKeyCases[] = {
    {"Escape", input::kKeyEscape}, {"1", input::kKey1},       {"0", input::kKey0},
    {"W", input::kKeyW},           {"A", input::kKeyA},       {"S", input::kKeyS},
    {"D", input::kKeyD},           {"-", input::kKeyMinus},   {"[", input::kKeyLeftBracket},
    {";", input::kKeySemicolon},   {"'", input::kKeyApostrophe}, {"grave", input::kKeyGrave},
    {"\\", input::kKeyBackslash},  {"/", input::kKeySlash},   {"102nd", input::kKeyOem102},
    {"Enter", input::kKeyEnter},   {"Space", input::kKeySpace}, {"Tab", input::kKeyTab},
    {"LShift", input::kKeyLeftShift}, {"RShift", input::kKeyRightShift}, {"LCtrl", input::kKeyLeftControl},
    {"RCtrl", input::kKeyRightControl}, {"LAlt", input::kKeyLeftAlt}, {"RAlt", input::kKeyRightAlt},
    {"F1", input::kKeyF1},         {"F10", input::kKeyF10},   {"F11", input::kKeyF11},
    {"F12", input::kKeyF12},       {"Pad7", input::kKeyPad7}, {"PadEnter", input::kKeyPadEnter},
    {"PadDivide", input::kKeyPadDivide}, {"Up", input::kKeyUp}, {"Down", input::kKeyDown},
    {"Left", input::kKeyLeft},     {"Right", input::kKeyRight}, {"Home", input::kKeyHome},
    {"PageDown", input::kKeyPageDown}, {"Insert", input::kKeyInsert}, {"Delete", input::kKeyDelete},
};

TEST_F(ScreenTest, KeysTypedOnTheServerReachTheKeyboardByScanCode)
{
    FocusedScreen();
    MakeInput();
    for (const KeyCase& key : kKeyCases) {
        SCOPED_TRACE(key.name);
        const unsigned keycode = zandrel_test::XKeycodeOfScanCode(key.code);
        ASSERT_NE(keycode, 0u);
        display_.Key(keycode, true);
        std::vector<uint8_t> keys;
        ASSERT_TRUE(KeyReads(key.code, true, &keys));
        for (int other = 0; other < input::kKeyCount; ++other) {
            if (other != key.code) {
                EXPECT_EQ(keys[other], 0) << "scan code " << other << " held too";
            }
        }
        // Held across reads until released.
        EXPECT_TRUE(Keys()[key.code] & input::kKeyHeld);
        display_.Key(keycode, false);
        ASSERT_TRUE(KeyReads(key.code, false));
    }
}

TEST_F(ScreenTest, AKeyPressedAndReleasedBetweenReadsIsSeenOnce)
{
    FocusedScreen();
    MakeInput();
    const unsigned keycode = zandrel_test::XKeycodeOfScanCode(input::kKeyEscape);
    display_.Key(keycode, true);
    display_.Key(keycode, false);
    ASSERT_TRUE(KeyReads(input::kKeyEscape, true));
    EXPECT_EQ(Keys()[input::kKeyEscape], 0);
}

// --- The mouse ---

TEST_F(ScreenTest, PointerMovementReachesTheMouseAsDeltas)
{
    FocusedScreen();
    MakeInput();
    EXPECT_TRUE(input::PointerCaptured()) << "an acquired exclusive mouse keeps the pointer";
    const struct {
        int dx, dy;
    } moves[] = {{7, -4}, {-12, 9}, {1, 0}, {0, 25}};
    for (const auto& move : moves) {
        SCOPED_TRACE(std::to_string(move.dx) + "," + std::to_string(move.dy));
        Mouse(); // nothing left over
        display_.MoveBy(move.dx, move.dy);
        int x = 0, y = 0;
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] {
            const auto state = Mouse();
            x += state.x;
            y += state.y;
            EXPECT_EQ(state.z, 0);
            return x == move.dx && y == move.dy;
        })) << "got " << x << "," << y;
    }
}

TEST_F(ScreenTest, WheelNotchesAndButtonsReachTheMouse)
{
    FocusedScreen();
    MakeInput();
    const struct {
        unsigned xButton;
        int32_t wheel;
    } notches[] = {{4, input::kWheelNotch}, {5, -input::kWheelNotch}};
    for (const auto& notch : notches) {
        SCOPED_TRACE(notch.xButton);
        display_.Button(notch.xButton, true);
        display_.Button(notch.xButton, false);
        int32_t z = 0;
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return (z += Mouse().z) == notch.wheel; })) << "got " << z;
    }
    const struct {
        unsigned xButton;
        int button;
    } buttons[] = {{1, 0}, {3, 1}, {2, 2}, {8, 3}};
    for (const auto& button : buttons) {
        SCOPED_TRACE(button.xButton);
        display_.Button(button.xButton, true);
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return Mouse().buttons[button.button] == input::kKeyHeld; }));
        auto state = Mouse();
        for (int other = 0; other < input::kMouseButtonCount; ++other)
            EXPECT_EQ(state.buttons[other], other == button.button ? input::kKeyHeld : 0);
        display_.Button(button.xButton, false);
        ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return Mouse().buttons[button.button] == 0; }));
    }
}

// --- The focus ---

TEST_F(ScreenTest, LosingTheFocusLosesTheDevicesUntilItComesBack)
{
    const ::Window x11 = FocusedScreen();
    MakeInput();
    display_.Key(zandrel_test::XKeycodeOfScanCode(input::kKeyW), true);
    ASSERT_TRUE(KeyReads(input::kKeyW, true));

    display_.Unfocus();
    std::vector<uint8_t> keys(input::kKeyboardStateSize, 0xAB);
    ASSERT_TRUE(VirtualDisplay::WaitFor(
        [&] { return keyboard_->GetDeviceState(keys.size(), keys.data()) == input::kInputLost; }));
    EXPECT_EQ(keys[0], 0xAB) << "a failed read leaves the caller's state alone";
    EXPECT_EQ(keyboard_->Acquire(), input::kInputAccessDenied);
    input::MouseState mouse;
    EXPECT_EQ(mouse_->GetDeviceState(sizeof(mouse), &mouse), input::kInputLost);
    EXPECT_FALSE(input::PointerCaptured()) << "a lost mouse lets the pointer go";
    display_.Key(zandrel_test::XKeycodeOfScanCode(input::kKeyW), false);

    display_.Focus(x11);
    ASSERT_TRUE(VirtualDisplay::WaitFor([&] { return keyboard_->Acquire() == input::kInputOk; }));
    ASSERT_EQ(mouse_->Acquire(), input::kInputOk);
    EXPECT_TRUE(input::PointerCaptured());
    EXPECT_EQ(Keys()[input::kKeyW], 0) << "a key released while away is not held any more";
}

} // namespace

namespace {

// A display named but not there: said once on standard output, then headless.
TEST(ScreenWithoutServer, ADisplayThatDoesNotAnswerLeavesTheProgramHeadless)
{
    setenv("DISPLAY", ":987654", 1);
    platform::testing::ResetWindowState(kClass);
    platform::WindowClass windowClass;
    windowClass.procedure = RecordingProc;
    windowClass.className = kClass;
    ASSERT_TRUE(platform::RegisterWindowClass(windowClass));
    platform::Window* window = platform::CreateWindow(0, kClass, kTitle, platform::kStylePopup, 0, 0, 10, 10, nullptr,
                                                      nullptr, platform::CurrentInstance());
    testing::internal::CaptureStdout();
    const bool first = platform::OpenScreen(window, 32, 32, false);
    const bool second = platform::OpenScreen(window, 32, 32, false);
    const std::string said = testing::internal::GetCapturedStdout();
    unsetenv("DISPLAY");
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(said.rfind("No window on the display: ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_FALSE(platform::HasScreen(window));
    EXPECT_FALSE(platform::ScreensOpen());
    platform::DestroyWindow(window);
    platform::testing::ResetWindowState(kClass);
}

} // namespace
