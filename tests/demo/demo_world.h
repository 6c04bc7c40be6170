#pragma once
// The world the demonstration starts in, as the program's start-up leaves it:
// a current folder holding the run folder's data (scene, textures, effects and
// the compiled-effect cache the build filled) and a settings.ini, the file
// system mounted on it, the device and the input devices made from the
// settings. Standard output is
// captured from the start and error boxes are answered "Continue Anyway" and
// recorded; everything is released again at the end.
#include <gtest/gtest.h>

#include <string>

#include "kernel/file_system.h"
#include "render/device/d3d_context.h"
#include "render/nodes/scene.h"
#include "render/resources/material.h"
#include "scene/input_devices.h"
#include "scene/key_bindings.h"
#include "tests/render/device_fixture.h"
#include "tests/support/program_run.h"

namespace demo_test {

inline constexpr const char* kDemoSettings =
    "[Graphics]\nwidth=1280\nheight=720\nvsync=1\nallowInstancing=1\ninstancingBufferSize=1024\n";

class DemoWorld {
public:
    explicit DemoWorld(const std::string& settings = kDemoSettings) : run_(settings)
    {
        zandrel_test::CopyDemoDataInto(zandrel_test::fs::current_path());
        GetFileSystem()->Mount(zandrel_test::fs::current_path().string(), "");
        started_ = run_.Start();
        GetDirectInput()->InitInput(nullptr, nullptr);
        run_.ClearOut();
    }
    ~DemoWorld()
    {
        DestroyControls();
        GetDirectInput()->ReleaseInput();
        run_.Release();
        DestroyFileSystem();
    }
    DemoWorld(const DemoWorld&) = delete;
    DemoWorld& operator=(const DemoWorld&) = delete;

    bool Started() const { return started_; }
    // What was printed since the device was made.
    std::string Out() const { return run_.Out(); }
    void ClearOut() { run_.ClearOut(); }
    const std::vector<platform::testing::ShownBox>& Boxes() const { return run_.Boxes(); }
    // The first line of each box shown, each followed by "|".
    std::string BoxTexts() const
    {
        std::string all;
        for (const auto& box : Boxes())
            all += box.text.substr(0, box.text.find_first_of("\r\n")) + "|";
        return all;
    }

private:
    render_test::DeviceRun run_;
    bool started_ = false;
};

// Appends `count` materials, each with a block and an effect of its own, to
// the list of a scene that has a block.
inline void AddUniqueMaterials(Scene& scene, uint32_t count)
{
    scene.Materials()->Allocate(count);
    for (uint32_t i = 0; i < count; ++i) {
        MaterialResource* material = new MaterialResource;
        MakeUniqueMaterial(*material);
        scene.Materials()->Push() = material;
    }
}

} // namespace demo_test
