// An error written on the IO thread, with a display (a virtual X server of the
// test's own): its box is a real window, shown while the render loop keeps
// running inline on the test's thread, and answered there; the answer lets the
// IO thread go on.
#include <gtest/gtest.h>

#include "testing/virtual_display.h"

#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "kernel/engine_threads.h"
#include "kernel/error_stream.h"
#include "kernel/handler_module.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"

using zandrel_test::VirtualDisplay;

namespace {

std::atomic<int> renderRounds{0};

struct FailingModule : HandlerModule<FailingModule> {
    void RegisterHandlers() override { RegisterHandler("Fail", &FailingModule::Fail); }
    void Fail(TaskMessage*)
    {
        onMainThread = std::this_thread::get_id() == mainThread;
        errorTwoLines = false;
        GetErrorStream() << "Disk on fire\n";
        roundAnswered = renderRounds.load();
    }
    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> onMainThread{true};
    std::atomic<int> roundAnswered{0};
};

TEST(ErrorBoxWindow, AnErrorOnTheIoThreadIsShownAndAnsweredWhileTheRenderLoopRuns)
{
    VirtualDisplay display;
    ZANDREL_NEED_DISPLAY(display);
    QueueRegistry* registry = GetQueueRegistry();
    registry->ResetQueues();
    FailingModule failing;
    IOThread io;
    RenderThread render;
    io.SetName("IOTHREAD");
    render.SetName("RENDERTHREAD");
    io.AddModule(&failing);

    std::atomic<int> roundShown{0};
    std::atomic<bool> ranOn{false};
    std::thread person([&] {
        if (const auto box = display.WaitForWindow(kErrorBoxCaption)) {
            roundShown = renderRounds.load();
            ranOn = VirtualDisplay::WaitFor([&] { return renderRounds > roundShown + 2; });
            display.Focus(*box);
            display.Press(XK_c, {XK_Alt_L}); // "&Continue Anyway"
        }
    });
    registry->AddThread(&io, false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    render.SetWorkFunction([&] {
        const int round = ++renderRounds;
        if (round == 1) {
            TaskMessage fail;
            fail.taskId = RSHashConst("Fail");
            registry->AllocQueue(0)->PushTask(fail, GetThreadMap().Find(kIOThreadId), "fail");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return failing.roundAnswered > 0 || std::chrono::steady_clock::now() > deadline ? 1 : 0;
    });
    registry->AddThread(&render, true);
    person.join();
    registry->ResetQueues();

    EXPECT_GT(roundShown, 0) << "the box was shown";
    EXPECT_TRUE(ranOn) << "the render loop ran on while it was up";
    EXPECT_GT(failing.roundAnswered, roundShown + 2) << "answered, the IO thread went on";
    EXPECT_FALSE(failing.onMainThread);
}

} // namespace
