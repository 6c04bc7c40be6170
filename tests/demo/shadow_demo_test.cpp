#include "demo/shadow_demo.h"

#include <gtest/gtest.h>

#include <memory>

#include "kernel/platform.h"
#include "kernel/time.h"
#include "scene/dynamic.h"
#include "tests/support/settings_cwd.h"

namespace {

// A platform whose clock the test sets by hand; sleeping moves the clock on.
class ClockPlatform : public Platform {
public:
    ClockPlatform() { SetPlatform(this); }
    double GetSeconds() override { return now; }
    void SleepSeconds(float seconds) override
    {
        ++sleeps;
        if (sleepAdvances)
            now += seconds;
    }

    double now = 1000.0;
    bool sleepAdvances = true;
    int sleeps = 0;
};

// The step the clock takes while paused: a millisecond, as a float.
constexpr double kPauseStep = double(0.001f);

} // namespace

TEST(ShadowDemo, IsAlignedForMatricesAndGoesOn)
{
    EXPECT_EQ(alignof(ShadowDemo) % 16, 0u);
    zandrel_test::SettingsCwd settings;
    ShadowDemo demo;
    demo.InitDemo();
    EXPECT_NE(demo.DemoFrame(), 0);
}

namespace {
struct CountingDynamic : Dynamic {
    void Update() override { ++updates; }
    int updates = 0;
};
} // namespace

TEST(ShadowDemo, ItsListIsCurrentForItsLifeAndRunsEachFrame)
{
    zandrel_test::SettingsCwd settings;
    {
        ShadowDemo demo;
        EXPECT_EQ(GetDynamicsList(), &demo.dynamics);
        CountingDynamic member;
        EXPECT_NE(demo.DemoFrame(), 0);
        EXPECT_NE(demo.DemoFrame(), 0);
        EXPECT_EQ(member.updates, 2);
    }
    EXPECT_EQ(GetDynamicsList(), nullptr);
}

TEST(ShadowDemoClock, TheDemoOwnsTheGlobalClockAndStepsItEachFrame)
{
    ClockPlatform platform;
    zandrel_test::SettingsCwd settings;
    testing::internal::CaptureStdout();
    {
        auto demo = std::make_unique<ShadowDemo>();
        EXPECT_EQ(GetGlobalTime(), &demo->clock);
        demo->clock.SetTimeScale(3.0f);
        demo->InitDemo();
        EXPECT_EQ(demo->clock.scale, 1.0f);

        EXPECT_NE(demo->DemoFrame(), 0);
        platform.now += 0.125;
        EXPECT_NE(demo->DemoFrame(), 0);
        EXPECT_DOUBLE_EQ(GetGlobalDelta(), 0.125);
        EXPECT_FLOAT_EQ(GetTime(), float(kPauseStep + 0.125));
        EXPECT_EQ(demo->clock.frameCount, 1u); // the first frame opened the window

        demo.reset();
        EXPECT_EQ(GetGlobalTime(), nullptr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Time object created.\nTime object created.\nTime object released.\n");
}
