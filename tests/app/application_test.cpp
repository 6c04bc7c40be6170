#include "app/application.h"

#include <gtest/gtest.h>

#include <csignal>
#include <new>

#include "app/app_platform.h"
#include "demo/shadow_demo.h"
#include "kernel/file_system.h"
#include "kernel/platform.h"
#include "render/device/d3d_context.h"
#include "render/device/render_device.h"
#include "testing/gfx_failure_injection.h"
#include "testing/message_box_script.h"
#include "testing/test_files.h"
#include "testing/window_hooks.h"
#include "tests/render/device_fixture.h"
#include "tests/support/settings_cwd.h"

namespace {

using zandrel_test::CoutCapture;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { platform::testing::ResetWindowState("Korvane"); }
    void TearDown() override { platform::testing::ResetWindowState("Korvane"); }
};

} // namespace

TEST_F(MainWindowTest, PumpRunsAFrameOnlyWithoutAMessageAndStopsOnQuit)
{
    zandrel_test::SettingsCwd settings;
    AppPlatform host;
    CoutCapture out;
    host.mainWindow.CreateMainWindow(platform::CurrentInstance(), 10, 10);
    alignas(ShadowDemo) unsigned char storage[sizeof(ShadowDemo)];
    host.demo = new (storage) ShadowDemo;

    EXPECT_EQ(host.PumpMessages(), 0); // a frame that goes on
    platform::PostMessage(host.mainWindow.handle, 0x400, 0, 0);
    EXPECT_EQ(host.PumpMessages(), 0);
    EXPECT_EQ(host.message.message, 0x400u);

    // Ctrl+C: the close message destroys the window, whose destruction posts quit.
    platform::testing::RecordCloseSignal(SIGINT);
    EXPECT_EQ(host.PumpMessages(), 0);
    EXPECT_EQ(host.message.message, platform::kMsgClose);
    EXPECT_FALSE(platform::IsWindow(host.mainWindow.handle));
    EXPECT_EQ(host.PumpMessages(), 1);
    EXPECT_EQ(host.message.message, platform::kMsgQuit);

    host.pauseFrames = true;
    EXPECT_EQ(host.PumpMessages(), 0);
    host.demo->~ShadowDemo();
    host.demo = nullptr;
    host.mainWindow.handle = nullptr;
}

TEST(Application, IsMadeOnceAndReleased)
{
    Application* first = GetApplication();
    EXPECT_EQ(GetApplication(), first);
    ReleaseApplication();
    Application* second = GetApplication();
    EXPECT_NE(second, nullptr);
    ReleaseApplication();
}

TEST(D3DContext, ARunWhoseDeviceFailedStopsBeforeTheDemoAndReleasesInOrder)
{
    render_test::SettingsFolder folder("[Graphics]\nwidth=32\nheight=32\n");
    platform::testing::ResetWindowState("Korvane"); // the main window's class is new to this process
    platform::testing::ScriptedMessageBoxes boxes; // "Continue Anyway"
    platform::testing::GfxFailureInjection inject;
    inject.Fail("CreateDevice", gfx::kDeviceLost);
    render_test::CoutCapture out;
    {
        AppPlatform platform;
        platform.Run();
        EXPECT_EQ(platform.demo, nullptr);
        EXPECT_TRUE(platform.startFailed); // the program's exit code is 1
        platform.Shutdown();
        SetPlatform(nullptr);
    }
    DestroyD3DContext();
    DestroyFileSystem();
    platform::testing::ResetWindowState("Korvane");
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't create Direct3D device: Device lost\n"));
    const std::string text = out.Text();
    EXPECT_EQ(text.find("D3D9Device Handle"), std::string::npos);
    EXPECT_NE(text.find("Without a Direct3D device there is nothing to show: the program ends.\n"),
              std::string::npos);
    EXPECT_NE(text.find("!D3D9Device released\nD3D9 released\n"), std::string::npos) << text;
    EXPECT_FALSE(RendererExists());
}
