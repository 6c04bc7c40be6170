#pragma once
// The demonstration in a folder like the run folder (its data and a warm
// compiled-effect cache), for the benchmarks of its start-up and frames: the
// world it runs in (settings, file system, device, input) made once, on the
// recording device or on the drawing one.
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "demo/shadow_demo.h"
#include "kernel/file_system.h"
#include "kernel/settings.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "platform/os/aligned_memory.h"
#include "render/device/d3d_context.h"
#include "render/device/render_device.h"
#include "scene/input_devices.h"
#include "scene/key_bindings.h"
#include "testing/demo_data.h"
#include "testing/message_box_script.h"
#include "testing/test_files.h"

namespace demo_bench {

namespace fs = std::filesystem;

// Standard output goes nowhere while one lives (the report comes after).
class Quiet {
public:
    Quiet() : saved_(std::cout.rdbuf(sink_.rdbuf())) {}
    ~Quiet() { std::cout.rdbuf(saved_); }
    // Drops what was printed, so the sink does not grow without end.
    void Forget() { sink_.str(""); }

private:
    std::ostringstream sink_;
    std::streambuf* saved_;
};

// The world the start-up runs in, made once: data, settings, file system,
// device and input, with a back buffer of the size given. Frames are presented
// as soon as they are drawn (vsync=0).
struct World {
    explicit World(gfx::GfxMode mode, uint32_t width = 1280, uint32_t height = 720)
        : folder(zandrel_test::MakeTempDir("zandrel-bench-demo"))
    {
        Quiet quiet;
        zandrel_test::CopyDemoDataInto(folder);
        zandrel_test::WriteFile(folder / "settings.ini", "[Graphics]\nwidth=" + std::to_string(width) +
                                                             "\nheight=" + std::to_string(height) +
                                                             "\nvsync=0\nallowInstancing=1\ninstancingBufferSize=1024\n");
        fs::current_path(folder);
        GetSettings();
        GetFileSystem()->Mount(folder.string(), "");
        GetD3DContext()->CreateD3D();
        GetRenderer()->CopyGraphicsSettings(GetSettings());
        gfx::SetDefaultGfxMode(mode);
        made = GetD3DContext()->CreateDevice();
        gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
        gfx::Device* device = GetRenderer()->Device();
        drawing = made && device && device->Rasterizes();
        GetDirectInput()->InitInput(nullptr, nullptr);
    }
    ~World()
    {
        Quiet quiet;
        DestroyControls();
        GetDirectInput()->ReleaseInput();
        DestroyD3DContext();
        DestroyFileSystem();
        ReleaseSettings();
        fs::remove_all(folder);
    }

    platform::testing::ScriptedMessageBoxes boxes;
    fs::path folder;
    bool made = false;
    bool drawing = false; // the device draws, not only records
};

// The one world of a benchmark program: the first call's mode holds.
inline World& TheWorld(gfx::GfxMode mode = gfx::GfxMode::Record)
{
    static World world(mode);
    return world;
}

// Aligned as the start-up allocates it.
struct DemoDeleter {
    void operator()(ShadowDemo* demo) const
    {
        demo->~ShadowDemo();
        platform::os::AlignedFree(demo);
    }
};
using DemoPointer = std::unique_ptr<ShadowDemo, DemoDeleter>;

inline DemoPointer MakeDemo()
{
    void* memory = platform::os::AlignedAlloc(sizeof(ShadowDemo), alignof(ShadowDemo));
    return DemoPointer(new (memory) ShadowDemo);
}

} // namespace demo_bench
