// Frames per second a drawing device presents to a real 1280 x 720 window on
// a virtual X server of its own (Xvfb, so llvmpipe draws): each frame cleared
// on the GPU and presented, either copied into the window through OpenGL and
// swapped, or read back to memory and shown from there.
#include <benchmark/benchmark.h>

#include "testing/popup_window.h"
#include "testing/virtual_display.h"

#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "testing/gfx_device_hooks.h"
#include "platform/window/window.h"

namespace {

constexpr uint32_t kWidth = 1280;
constexpr uint32_t kHeight = 720;
constexpr const char* kClass = "WindowPresentBench";

void Run(benchmark::State& state, bool fromMemory)
{
    zandrel_test::VirtualDisplay display;
    if (!display.Up()) {
        state.SkipWithError(display.Why().c_str());
        return;
    }
    zandrel_test::PopupWindow popup(kClass, 100, 100);
    platform::Window* window = popup.Get();
    gfx::Direct3D* d3d = gfx::CreateDirect3D(gfx::kSdkVersion);
    gfx::PresentParameters parameters;
    parameters.backBufferWidth = kWidth;
    parameters.backBufferHeight = kHeight;
    parameters.backBufferFormat = gfx::kFormatX8R8G8B8;
    parameters.swapEffect = gfx::kSwapDiscard;
    parameters.deviceWindow = window;
    parameters.presentationInterval = gfx::kPresentIntervalImmediate;
    gfx::SetDefaultGfxMode(gfx::GfxMode::Raster);
    platform::testing::ShowDrawnFramesFromMemory(fromMemory);
    gfx::Device* device = nullptr;
    d3d->CreateDevice(gfx::kDefaultAdapter, gfx::kDeviceHal, window, gfx::kCreateHardwareVertexProcessing, &parameters,
                      &device);
    platform::testing::ShowDrawnFramesFromMemory(false);
    gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
    if (!device || !device->Rasterizes() || platform::testing::PresentsThroughGl(*device) == fromMemory) {
        state.SkipWithError("no OpenGL 4.5 context on the window");
    } else {
        uint32_t colour = 0;
        auto frame = [&] {
            device->Clear(0, nullptr, gfx::kClearTarget, 0xFF000000u | (colour += 0x010203u), 1.0f, 0);
            device->Present();
        };
        frame();
        for (auto _ : state)
            frame();
        state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
        state.counters["readBacksPerFrame"] =
            double(platform::testing::ReadBacks(*device)) / double(state.iterations() + 1);
    }
    gfx::SafeRelease(device);
    gfx::SafeRelease(d3d);
}

void BM_PresentThroughGl(benchmark::State& state) { Run(state, false); }
void BM_PresentFromMemory(benchmark::State& state) { Run(state, true); }

BENCHMARK(BM_PresentThroughGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PresentFromMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

} // namespace
