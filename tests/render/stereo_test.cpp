// 3D Vision stereo as the device creation and the shutdown drive it: the steps
// with the driver answering each status, the settings that switch them, the
// arguments the driver gets, and the absent driver of this platform.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kernel/error_stream.h"
#include "platform/gfx/device/stereo_driver.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_failure_injection.h"
#include "tests/render/device_fixture.h"
#include "tests/support/program_run.h"

using render_test::DeviceRun;
using render_test::Pointer;
namespace stereo = gfx::stereo;

namespace {

const char* const kCapsLines = "Support for chosen antialiasing mode: OK\n"
                               "Support for dynamic textures: OK\n"
                               "Support for stretching from textures: OK\n"
                               "Support for Vertex Shader Model 3.0: OK\n"
                               "Support for Pixel Shader Model 3.0: OK\n";

const char* const kAllOn = "[Graphics]\nwidth=32\nheight=32\nuse3DVision=1\nuseStereoHandle=1\n"
                           "useCustomStereoSettings=1\nstereoConvergence=4.5\n";

// One driver call with the progress text printed before it and the text its success adds.
struct Step {
    const char* call;
    const char* progress;
    const char* ok;
};

const Step kVisionSteps[] = {
    {"Stereo::Initialize", "Initializing NvAPI...", "OK.\n"},
    {"Stereo::CreateConfigurationProfileRegistryKey", "Accessing NVIDIA registry key...", "OK.\n"},
    {"Stereo::SetConfigurationProfileValue", "Applying stereo settings, convergence...", "OK.\n"},
    {"Stereo::Enable", "Enabling stereo...", "OK.\n\n"},
};
const Step kHandleSteps[] = {
    {"Stereo::CreateHandleFromDevice", "Getting stereo handle...", "OK.\n"},
    {"Stereo::Activate", "Activating stereo handle...", "OK.\n\n"},
};
const Step kCustomSteps[] = {
    {"Stereo::SetConvergence", "Applying convergence...", "OK.\n"},
    {"Stereo::SetSeparation", "Applying separation...", "OK.\n\n"},
};

const std::vector<std::string> kStartCalls{
    "Stereo::Initialize",     "Stereo::CreateConfigurationProfileRegistryKey",
    "Stereo::SetConfigurationProfileValue", "Stereo::Enable",
    "Stereo::CreateHandleFromDevice",       "Stereo::Activate",
    "Stereo::SetConvergence", "Stereo::SetSeparation",
};
const std::vector<std::string> kReleaseCalls{"Stereo::Deactivate", "Stereo::DestroyHandle"};

std::string Printed(const Step* begin, const Step* end, const std::string& failing)
{
    std::string text;
    for (const Step* step = begin; step != end; ++step)
        text += std::string(step->progress) + (failing == step->call ? "" : step->ok);
    return text;
}

// Everything the start-up prints with stereo fully on, the failing call (if
// any) printing nothing after its progress text.
std::string StartOutput(const DeviceRun& run, const std::string& failing = "", bool custom = true)
{
    std::string text = "Direct3D9 handle: " + Pointer(GetD3DContext()->d3d) + "\n" + kCapsLines;
    text += "\nInitializing 3D Vision...\n" + Printed(std::begin(kVisionSteps), std::end(kVisionSteps), failing);
    text += "Support for GPU queries: OK\n";
    text += Printed(std::begin(kHandleSteps), std::end(kHandleSteps), failing);
    if (custom)
        text += "\nApplying stereo settings...\n" + Printed(std::begin(kCustomSteps), std::end(kCustomSteps), failing);
    return text + "D3D9Device Handle: " + Pointer(const_cast<DeviceRun&>(run).Device()) + "\n";
}

std::vector<std::string> StereoCalls(const platform::testing::GfxCallRecord& record)
{
    std::vector<std::string> names;
    for (const auto& name : record.Names())
        if (name.rfind("Stereo::", 0) == 0)
            names.push_back(name);
    return names;
}

std::vector<std::string> BoxTexts(const DeviceRun& run)
{
    std::vector<std::string> texts;
    for (const auto& box : run.Boxes())
        texts.push_back(box.text);
    return texts;
}

// A driver that answers success to every call, but `failing` answers `status`.
void ScriptDriver(platform::testing::GfxFailureInjection& inject, const std::string& failing = "",
                  stereo::Status status = stereo::kOk)
{
    std::vector<std::string> calls = kStartCalls;
    calls.insert(calls.end(), kReleaseCalls.begin(), kReleaseCalls.end());
    for (const auto& call : calls)
        inject.Fail(call, call == failing ? status : stereo::kOk, 0);
}

} // namespace

TEST(Stereo, OffAsksTheDriverNothingWhateverTheOtherKeysSay)
{
    DeviceRun run("[Graphics]\nwidth=32\nheight=32\nuseStereoHandle=1\nuseCustomStereoSettings=1\n"
                  "stereoConvergence=4.5\n");
    platform::testing::GfxCallRecord record;
    ASSERT_TRUE(run.Start());
    EXPECT_FALSE(GetD3DContext()->use3DVision);
    EXPECT_EQ(run.Out().find("3D Vision"), std::string::npos);
    EXPECT_EQ(run.Out().find("stereo"), std::string::npos);
    run.ClearOut();
    run.Release();
    EXPECT_EQ(run.Out(), "!D3D9Device released\nD3D9 released\n");
    EXPECT_TRUE(StereoCalls(record).empty());
    EXPECT_TRUE(run.Boxes().empty());
}

TEST(Stereo, WithoutTheDriverEveryStepFailsInTurnAndTheDeviceIsStillMade)
{
    DeviceRun run(kAllOn);
    platform::testing::GfxCallRecord record;
    ASSERT_TRUE(run.Start());
    ASSERT_NE(run.Device(), nullptr);
    const std::vector<std::string> boxes{
        ErrorBoxText("Error initializing NvAPI.\n"),
        ErrorBoxText("NVAPI_API_NOT_INTIALIZED\n"),
        ErrorBoxText("Error applying convergence.\n"),
        ErrorBoxText("NVAPI_API_NOT_INTIALIZED\n"),
        ErrorBoxText("NVAPI_API_NOT_INTIALIZED\n"),
        ErrorBoxText("NvAPI_Stereo_Activate error.\n"),
        ErrorBoxText("NvAPI_Stereo_SetConvergence error.\n"),
        ErrorBoxText("NvAPI_Stereo_SetSeparation error.\n"),
    };
    EXPECT_EQ(BoxTexts(run), boxes);
    std::string printed = "Direct3D9 handle: " + Pointer(GetD3DContext()->d3d) + "\n" + kCapsLines +
                          "\nInitializing 3D Vision...\nInitializing NvAPI...Accessing NVIDIA registry key..."
                          "Applying stereo settings, convergence...Enabling stereo...Support for GPU queries: OK\n"
                          "Getting stereo handle...Activating stereo handle...\nApplying stereo settings...\n"
                          "Applying convergence...Applying separation...D3D9Device Handle: " +
                          Pointer(run.Device()) + "\n";
    EXPECT_EQ(run.Out(), printed);
    EXPECT_EQ(StereoCalls(record), kStartCalls);
    EXPECT_EQ(GetD3DContext()->nvStatus, stereo::kApiNotInitialized);
    EXPECT_EQ(GetD3DContext()->stereoHandle, nullptr);

    // No handle was made: the shutdown asks the driver nothing.
    record.Clear();
    run.ClearOut();
    run.Release();
    EXPECT_TRUE(StereoCalls(record).empty());
    EXPECT_EQ(run.Out(), "!D3D9Device released\nD3D9 released\n");
    EXPECT_EQ(run.Boxes().size(), boxes.size());
}

TEST(Stereo, AWorkingDriverGetsEveryCallInOrderWithItsArguments)
{
    DeviceRun run(kAllOn);
    platform::testing::GfxFailureInjection inject;
    ScriptDriver(inject);
    platform::testing::GfxCallRecord record;
    ASSERT_TRUE(run.Start());
    EXPECT_TRUE(run.Boxes().empty());
    EXPECT_EQ(run.Out(), StartOutput(run));
    EXPECT_EQ(StereoCalls(record), kStartCalls);

    // The profile first, then the device: stereo is on before the device exists.
    const auto names = record.Names();
    const auto at = [&](const std::string& name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    EXPECT_LT(at("Stereo::Enable"), at("CreateDevice"));
    EXPECT_LT(at("CreateQuery"), at("Stereo::CreateHandleFromDevice"));
    EXPECT_LT(at("Stereo::SetSeparation"), at("CreateDirectDraw"));

    const auto key = record.Calls("Stereo::CreateConfigurationProfileRegistryKey");
    ASSERT_EQ(key.size(), 1u);
    EXPECT_EQ(key[0].args, std::vector<uint64_t>{stereo::kDefaultProfile});
    const auto value = record.Calls("Stereo::SetConfigurationProfileValue");
    ASSERT_EQ(value.size(), 1u);
    EXPECT_EQ(value[0].args, (std::vector<uint64_t>{stereo::kDefaultProfile, stereo::kConvergenceValue}));
    EXPECT_EQ(value[0].floats, std::vector<float>{4.5f});

    const auto device = reinterpret_cast<uint64_t>(run.Device());
    const auto made = record.Calls("Stereo::CreateHandleFromDevice");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].args[0], device);
    const stereo::Handle handle = GetD3DContext()->stereoHandle;
    ASSERT_NE(handle, nullptr);
    const auto handleArg = reinterpret_cast<uint64_t>(handle);
    for (const char* call : {"Stereo::Activate", "Stereo::SetConvergence", "Stereo::SetSeparation"})
        EXPECT_EQ(record.Calls(call).at(0).args, std::vector<uint64_t>{handleArg}) << call;
    // Convergence and separation percentage both come from stereoConvergence.
    EXPECT_EQ(record.Calls("Stereo::SetConvergence")[0].floats, std::vector<float>{4.5f});
    EXPECT_EQ(record.Calls("Stereo::SetSeparation")[0].floats, std::vector<float>{4.5f});
    EXPECT_EQ(GetD3DContext()->nvStatus, stereo::kOk);

    // The handle goes before the device and the Direct3D object.
    record.Clear();
    run.ClearOut();
    run.Release();
    EXPECT_EQ(StereoCalls(record), kReleaseCalls);
    for (const auto& call : kReleaseCalls)
        EXPECT_EQ(record.Calls(call).at(0).args, std::vector<uint64_t>{handleArg}) << call;
    EXPECT_EQ(run.Out(), "!NvAPI stereoHandle destroyed.\nD3D9Device released\nD3D9 released\n");
    EXPECT_TRUE(run.Boxes().empty());
}

TEST(Stereo, EachStartStepReportsItsStatusAndTheNextStepStillRuns)
{
    struct Case {
        const char* call;
        stereo::Status status;
        const char* message;
    };
    const Case cases[] = {
        {"Stereo::Initialize", stereo::kLibraryNotFound, "Error initializing NvAPI.\n"},
        {"Stereo::Initialize", stereo::kError, "Error initializing NvAPI.\n"},
        {"Stereo::CreateConfigurationProfileRegistryKey", stereo::kRegistryProfileTypeNotSupported,
         "NVAPI_STEREO_REGISTRY_PROFILE_TYPE_NOT_SUPPORTED\n"},
        {"Stereo::CreateConfigurationProfileRegistryKey", stereo::kRegistryAccessFailed,
         "NVAPI_STEREO_REGISTRY_ACCESS_FAILED\n"},
        {"Stereo::CreateConfigurationProfileRegistryKey", stereo::kApiNotInitialized, "NVAPI_API_NOT_INTIALIZED\n"},
        {"Stereo::CreateConfigurationProfileRegistryKey", stereo::kStereoNotInitialized,
         "NVAPI_STEREO_NOT_INITIALIZED\n"},
        {"Stereo::CreateConfigurationProfileRegistryKey", stereo::kRegistryValueNotSupported, "NVAPI_ERROR\n"},
        {"Stereo::CreateConfigurationProfileRegistryKey", stereo::kInvalidArgument, "NVAPI_ERROR\n"},
        {"Stereo::CreateConfigurationProfileRegistryKey", stereo::kError, "NVAPI_ERROR\n"},
        {"Stereo::SetConfigurationProfileValue", stereo::kRegistryProfileTypeNotSupported,
         "NVAPI_STEREO_REGISTRY_PROFILE_TYPE_NOT_SUPPORTED\n"},
        {"Stereo::SetConfigurationProfileValue", stereo::kRegistryValueNotSupported,
         "NVAPI_STEREO_REGISTRY_VALUE_NOT_SUPPORTED\n"},
        {"Stereo::SetConfigurationProfileValue", stereo::kRegistryAccessFailed, "Error applying convergence.\n"},
        {"Stereo::SetConfigurationProfileValue", stereo::kApiNotInitialized, "Error applying convergence.\n"},
        {"Stereo::Enable", stereo::kApiNotInitialized, "NVAPI_API_NOT_INTIALIZED\n"},
        {"Stereo::Enable", stereo::kStereoNotInitialized, "NVAPI_STEREO_NOT_INITIALIZED\n"},
        {"Stereo::Enable", stereo::kRegistryAccessFailed, "Error enabling stereo.\n"},
        {"Stereo::CreateHandleFromDevice", stereo::kInvalidArgument, "NVAPI_INVALID_ARGUMENT\n"},
        {"Stereo::CreateHandleFromDevice", stereo::kApiNotInitialized, "NVAPI_API_NOT_INTIALIZED\n"},
        {"Stereo::CreateHandleFromDevice", stereo::kStereoNotInitialized, "NVAPI_STEREO_NOT_INITIALIZED\n"},
        {"Stereo::CreateHandleFromDevice", stereo::kError, "NvAPI_Stereo_CreateHandleFromIUnknown error.\n"},
        {"Stereo::Activate", stereo::kStereoNotInitialized, "NvAPI_Stereo_Activate error.\n"},
        {"Stereo::SetConvergence", stereo::kInvalidArgument, "NvAPI_Stereo_SetConvergence error.\n"},
        {"Stereo::SetSeparation", stereo::kError, "NvAPI_Stereo_SetSeparation error.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.status));
        DeviceRun run(kAllOn);
        platform::testing::GfxFailureInjection inject;
        ScriptDriver(inject, c.call, c.status);
        platform::testing::GfxCallRecord record;
        ASSERT_TRUE(run.Start());
        EXPECT_EQ(BoxTexts(run), std::vector<std::string>{ErrorBoxText(c.message)});
        EXPECT_EQ(run.Out(), StartOutput(run, c.call));
        EXPECT_EQ(StereoCalls(record), kStartCalls);
        // Only the last call's status stays.
        const bool last = std::string(c.call) == "Stereo::SetSeparation";
        EXPECT_EQ(GetD3DContext()->nvStatus, last ? c.status : stereo::kOk);

        // A handle the driver did not make is not released.
        const bool made = std::string(c.call) != "Stereo::CreateHandleFromDevice";
        EXPECT_EQ(GetD3DContext()->stereoHandle != nullptr, made);
        record.Clear();
        run.Release();
        EXPECT_EQ(StereoCalls(record), made ? kReleaseCalls : std::vector<std::string>{});
    }
}

TEST(Stereo, TheShutdownReportsOnlyTheDestructionsFailure)
{
    {
        DeviceRun run(kAllOn);
        platform::testing::GfxFailureInjection inject;
        ScriptDriver(inject, "Stereo::DestroyHandle", stereo::kError);
        ASSERT_TRUE(run.Start());
        run.ClearOut();
        run.Release();
        EXPECT_EQ(BoxTexts(run), std::vector<std::string>{ErrorBoxText("NvAPI_Stereo_DestroyHandle error.\n")});
        EXPECT_EQ(run.Out(), "!D3D9Device released\nD3D9 released\n");
    }
    {
        // Deactivating's answer is not looked at.
        DeviceRun run(kAllOn);
        platform::testing::GfxFailureInjection inject;
        ScriptDriver(inject, "Stereo::Deactivate", stereo::kError);
        platform::testing::GfxCallRecord record;
        ASSERT_TRUE(run.Start());
        run.ClearOut();
        record.Clear();
        GetD3DContext()->ReleaseStereoHandle();
        EXPECT_EQ(StereoCalls(record), kReleaseCalls);
        EXPECT_EQ(GetD3DContext()->nvStatus, stereo::kOk);
        EXPECT_EQ(GetD3DContext()->stereoHandle, nullptr);
        EXPECT_TRUE(run.Boxes().empty());
        EXPECT_EQ(run.Out(), "NvAPI stereoHandle destroyed.\n");
        // Released once: the shutdown does not destroy it again.
        record.Clear();
        run.Release();
        EXPECT_TRUE(StereoCalls(record).empty());
    }
}

TEST(Stereo, WithoutAStereoHandleOnlyTheProfileIsWritten)
{
    DeviceRun run("[Graphics]\nwidth=32\nheight=32\nuse3DVision=1\nuseCustomStereoSettings=1\nstereoConvergence=3\n");
    platform::testing::GfxFailureInjection inject;
    ScriptDriver(inject);
    platform::testing::GfxCallRecord record;
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(StereoCalls(record), std::vector<std::string>(kStartCalls.begin(), kStartCalls.begin() + 4));
    EXPECT_EQ(run.Out().find("Getting stereo handle"), std::string::npos);
    EXPECT_EQ(record.Calls("Stereo::SetConfigurationProfileValue").at(0).floats, std::vector<float>{3.0f});
    record.Clear();
    run.Release();
    EXPECT_TRUE(StereoCalls(record).empty());
    EXPECT_TRUE(run.Boxes().empty());
}

TEST(Stereo, WithoutCustomSettingsTheHandleKeepsTheProfilesConvergence)
{
    DeviceRun run("[Graphics]\nwidth=32\nheight=32\nuse3DVision=1\nuseStereoHandle=1\nstereoConvergence=4.5\n");
    platform::testing::GfxFailureInjection inject;
    ScriptDriver(inject);
    platform::testing::GfxCallRecord record;
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(run.Out(), StartOutput(run, "", false));
    EXPECT_EQ(StereoCalls(record), std::vector<std::string>(kStartCalls.begin(), kStartCalls.begin() + 6));
    EXPECT_EQ(record.Calls("Stereo::SetConfigurationProfileValue").at(0).floats, std::vector<float>{4.5f});
    record.Clear();
    run.Release();
    EXPECT_EQ(StereoCalls(record), kReleaseCalls);
}

TEST(Stereo, AnAbsentConvergenceIsZero)
{
    DeviceRun run("[Graphics]\nwidth=32\nheight=32\nuse3DVision=1\nuseStereoHandle=1\nuseCustomStereoSettings=1\n");
    platform::testing::GfxFailureInjection inject;
    ScriptDriver(inject);
    platform::testing::GfxCallRecord record;
    ASSERT_TRUE(run.Start());
    for (const char* call : {"Stereo::SetConfigurationProfileValue", "Stereo::SetConvergence", "Stereo::SetSeparation"})
        EXPECT_EQ(record.Calls(call).at(0).floats, std::vector<float>{0.0f}) << call;
}

TEST(Stereo, AFailedDeviceGetsNoHandle)
{
    DeviceRun run(kAllOn);
    platform::testing::GfxFailureInjection inject;
    ScriptDriver(inject);
    inject.Fail("CreateDevice", gfx::kDeviceLost);
    platform::testing::GfxCallRecord record;
    EXPECT_FALSE(run.Start());
    EXPECT_EQ(StereoCalls(record), std::vector<std::string>(kStartCalls.begin(), kStartCalls.begin() + 4));
    EXPECT_EQ(BoxTexts(run), std::vector<std::string>{ErrorBoxText("Can't create Direct3D device: Device lost\n")});
    record.Clear();
    run.Release();
    EXPECT_TRUE(StereoCalls(record).empty());
}

TEST(Stereo, MakingTheDirect3DObjectForgetsAnyOldHandle)
{
    DeviceRun run(kAllOn);
    int old = 0;
    GetD3DContext()->stereoHandle = &old;
    GetD3DContext()->CreateD3D();
    EXPECT_EQ(GetD3DContext()->stereoHandle, nullptr);
}

// The program itself on a terminal, 3D Vision on and no driver: each step's box
// is answered "Continue Anyway", the device is made and the program runs on.
TEST(Stereo, TheProgramWithoutTheDriverRunsOnOnceEachBoxIsAnswered)
{
    using namespace std::chrono_literals;
    zandrel_test::TempDir folder("zandrel-stereo");
    zandrel_test::fs::copy_file(ZANDREL_EXE, folder.Path("zandrel"));
    zandrel_test::CopyDemoDataInto(folder.Dir());
    folder.Write("settings.ini", std::string(kAllOn) + "instancingBufferSize=64\n");
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string exe = folder.Path("zandrel").string();
    const std::string out = folder.Path("out.txt").string();
    const pid_t pid = zandrel_test::StartOnTerminal(exe, out, master, slave);
    ASSERT_GT(pid, 0);

    const std::string boxMark = "Press Abort to close the program";
    const auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    size_t answered = 0;
    int status = 0;
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        const std::string text = zandrel_test::ReadFile(out);
        if (count(text, boxMark) > answered) {
            ASSERT_EQ(write(master, "c", 1), 1);
            ++answered;
        }
        // Once the last answer has been read the start-up goes on to the main loop.
        int unread = 0;
        if (answered == 8 && ioctl(slave, FIONREAD, &unread) == 0 && unread == 0)
            break;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(ended) << zandrel_test::ReadFile(out);
    if (!ended) {
        kill(pid, SIGINT);
        const auto stopDeadline = std::chrono::steady_clock::now() + 30s;
        while (!ended && std::chrono::steady_clock::now() < stopDeadline) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                ended = true;
            else
                std::this_thread::sleep_for(5ms);
        }
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
    }
    close(master);
    close(slave);
    ASSERT_TRUE(ended);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string text = zandrel_test::ReadFile(out);
    EXPECT_EQ(answered, 8u) << text;
    const std::vector<std::string> messages{
        "Error initializing NvAPI.",          "NVAPI_API_NOT_INTIALIZED",
        "Error applying convergence.",        "NVAPI_API_NOT_INTIALIZED",
        "NVAPI_API_NOT_INTIALIZED",           "NvAPI_Stereo_Activate error.",
        "NvAPI_Stereo_SetConvergence error.", "NvAPI_Stereo_SetSeparation error.",
    };
    std::vector<std::string> shown;
    for (const auto& line : zandrel_test::Lines(text))
        if (std::find(messages.begin(), messages.end(), line) != messages.end())
            shown.push_back(line);
    EXPECT_EQ(shown, messages) << text;
    EXPECT_NE(text.find("Applying convergence...Applying separation..."), std::string::npos) << text;
    // No handle was made, so none is destroyed.
    EXPECT_EQ(text.find("NvAPI stereoHandle destroyed."), std::string::npos);
    EXPECT_NE(text.find("D3D9Device Handle: "), std::string::npos) << text;
    EXPECT_NE(text.find("D3D9Device released\nD3D9 released\n"), std::string::npos) << text;
    EXPECT_EQ(zandrel_test::LinesAmong(text, zandrel_test::ReleaseLines()), zandrel_test::ReleaseLines()) << text;
}
