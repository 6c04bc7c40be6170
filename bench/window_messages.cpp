// With real windows on a virtual X server of its own (Xvfb): what a thread
// pays to look at its messages while a real window is open (the window
// system's events are taken and posted by a thread of their own), and how long
// a message box takes from the call until its window is on the screen.
#include <benchmark/benchmark.h>

#include "testing/popup_window.h"
#include "testing/virtual_display.h"

#include <X11/keysym.h>

#include <thread>

#include "platform/window/message_queue.h"
#include "platform/window/screen.h"
#include "platform/window/window.h"
#include "ui/engine_message_box.h"

namespace {

constexpr const char* kClass = "WindowMessagesBench";

void BM_PeekMessageWithARealWindow(benchmark::State& state)
{
    zandrel_test::VirtualDisplay display;
    if (!display.Up()) {
        state.SkipWithError(display.Why().c_str());
        return;
    }
    zandrel_test::PopupWindow window(kClass, 320, 200);
    if (!platform::OpenScreen(window.Get(), 320, 200, false))
        state.SkipWithError("no real window");
    platform::Message message;
    for (auto _ : state)
        benchmark::DoNotOptimize(platform::PeekMessage(message, true));
}

void BM_MessageBoxUntilShown(benchmark::State& state)
{
    zandrel_test::VirtualDisplay display;
    if (!display.Up()) {
        state.SkipWithError(display.Why().c_str());
        return;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::thread box([] { EngineMessageBox(nullptr, "Measured.", "Timed box", 1 | 0x40000000, nullptr); });
        const auto shown = display.WaitForWindow("Timed box");
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (shown) {
            display.Focus(*shown);
            display.Press(XK_Escape);
        }
        box.join();
    }
}

BENCHMARK(BM_PeekMessageWithARealWindow)->Unit(benchmark::kNanosecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(BM_MessageBoxUntilShown)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(25);

} // namespace
