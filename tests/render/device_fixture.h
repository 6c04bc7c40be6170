#pragma once
// A render device made as the start-up makes it, from settings written into a
// temporary current folder: the Direct3D object, the settings copy, the device.
// Standard output is captured, error boxes are answered "Continue Anyway" and
// recorded, and everything is released again at the end of the test.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "kernel/engine_threads.h"
#include "kernel/error_stream.h"
#include "kernel/settings.h"
#include "render/device/d3d_context.h"
#include "render/device/render_device.h"
#include "testing/message_box_script.h"
#include "testing/test_files.h"

namespace render_test {

using zandrel_test::CoutCapture;

inline std::string Pointer(const void* pointer)
{
    std::ostringstream text;
    text << pointer;
    return text.str();
}

// Settings read from a settings.ini in a folder of its own.
class SettingsFolder {
public:
    explicit SettingsFolder(const std::string& settings)
    {
        folder_.Write("settings.ini", settings);
        ReleaseSettings();
        CoutCapture quiet;
        GetSettings();
    }
    ~SettingsFolder() { ReleaseSettings(); }

private:
    zandrel_test::TempCwd folder_{"zandrel-render"};
};

// The start-up's copy of section Graphics into the render device.
inline void CopyGraphicsSettings()
{
    GetRenderer()->CopyGraphicsSettings(GetSettings());
}

inline constexpr const char* kPlainSettings = "[Graphics]\nwidth=320\nheight=200\nvsync=1\nallowInstancing=1\n";

// Owns one start-up's worth of Direct3D context and render device.
class DeviceRun {
public:
    explicit DeviceRun(const std::string& settings = kPlainSettings) : folder_(settings) {}
    ~DeviceRun() { Release(); }

    // CreateD3D, the settings copy and CreateDevice, as the start-up runs them.
    bool Start()
    {
        GetD3DContext()->CreateD3D();
        CopyGraphicsSettings();
        return GetD3DContext()->CreateDevice();
    }

    // The shutdown's order: the render thread object first, then the context.
    void Release()
    {
        DestroyRenderThread();
        DestroyD3DContext();
    }

    RenderDevice* Renderer() { return GetRenderer(); }
    gfx::Device* Device() { return GetRenderer()->Device(); }
    std::string Out() const { return out_.Text(); }
    void ClearOut() { out_.Clear(); }
    const std::vector<platform::testing::ShownBox>& Boxes() const { return boxes_.Shown(); }
    void ClearBoxes() { boxes_.Clear(); }

private:
    SettingsFolder folder_;
    CoutCapture out_;
    platform::testing::ScriptedMessageBoxes boxes_;
};

} // namespace render_test
