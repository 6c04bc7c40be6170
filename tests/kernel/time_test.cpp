#include "kernel/time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "kernel/platform.h"

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

// The platform clock as the millisecond counter feeds it: a 32-bit count,
// offset by a million, in seconds.
double SecondsFromTicks(uint32_t ticks)
{
    return double(uint32_t(ticks + 1000000u)) * 0.001;
}

constexpr double kPauseStep = double(0.001f);

} // namespace

TEST(RootTime, PrintsTwiceWhenMadeAndOnceWhenReleased)
{
    testing::internal::CaptureStdout();
    {
        RootTime root;
        Time child;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Time object created.\nTime object created.\nTime object created.\n"
              "Time object released.\nTime object released.\n");
}

TEST(RootTime, FirstRootIsTheGlobalClockUntilDestroyed)
{
    ASSERT_EQ(GetGlobalTime(), nullptr);
    ClockPlatform platform;
    auto first = std::make_unique<RootTime>();
    RootTime second;
    Time child;

    EXPECT_EQ(GetGlobalTime(), first.get());
    EXPECT_EQ(second.GetParent(), first.get());
    EXPECT_EQ(child.GetParent(), first.get());

    first->UpdateTime();
    platform.now += 0.25;
    first->UpdateTime();
    EXPECT_DOUBLE_EQ(GetGlobalDelta(), 0.25);
    EXPECT_FLOAT_EQ(GetTime(), float(kPauseStep + 0.25));

    first.reset();
    EXPECT_EQ(GetGlobalTime(), nullptr);
    EXPECT_EQ(GetGlobalDelta(), 0.0);
    EXPECT_EQ(GetTime(), 0.0f);
    EXPECT_EQ(second.GetParent(), nullptr);
    EXPECT_EQ(child.GetParent(), nullptr);

    // With the global clock gone, the next root clock takes its place.
    RootTime next;
    EXPECT_EQ(GetGlobalTime(), &next);
}

TEST(RootTime, StepsFollowThePlatformClockAndTheScale)
{
    ClockPlatform platform;
    RootTime root;
    root.SetTimeScale(2.0f);

    // The first step sees the whole clock reading, a "pause", whatever it reads.
    root.UpdateTime();
    EXPECT_DOUBLE_EQ(root.delta, 2.0 * kPauseStep);
    EXPECT_DOUBLE_EQ(root.total, 2.0 * kPauseStep);

    root.SetTimeScale(1.0f);
    const double start = root.total;
    for (int i = 1; i <= 3; ++i) {
        platform.now += 1.0 / 60.0;
        root.UpdateTime();
        EXPECT_NEAR(root.delta, 1.0 / 60.0, 1e-9);
        EXPECT_NEAR(root.total, start + i / 60.0, 1e-9);
    }

    root.SetTimeScale(0.5f);
    platform.now += 1.0 / 60.0;
    root.UpdateTime();
    EXPECT_NEAR(root.delta, 0.5 / 60.0, 1e-9);
    EXPECT_NEAR(root.total, start + 3.5 / 60.0, 1e-9);
    EXPECT_EQ(root.delta4.x, float(root.delta));
    EXPECT_EQ(root.delta4.w, float(root.delta));
}

TEST(RootTime, FrameDeltaClamps)
{
    ClockPlatform platform;
    RootTime root;
    root.UpdateTime();

    platform.now += 2.0; // a pause longer than a second
    root.UpdateTime();
    EXPECT_DOUBLE_EQ(root.delta, kPauseStep);

    platform.now += 1.0; // exactly one second is kept
    root.UpdateTime();
    EXPECT_DOUBLE_EQ(root.delta, 1.0);

    platform.now -= 5.0; // backwards
    root.UpdateTime();
    EXPECT_DOUBLE_EQ(root.delta, 1.0);

    platform.now = std::numeric_limits<double>::quiet_NaN();
    root.UpdateTime();
    EXPECT_TRUE(std::isnan(root.delta));
}

TEST(RootTime, ThirtyTwoBitClockWrapGivesOneSecondThenNormalSteps)
{
    ClockPlatform platform;
    RootTime root;
    root.SetTimeScale(0.5f);

    uint32_t ticks = 0xFFFFFFFFu - 1000000u - 10u; // 10 ms before the wrap
    platform.now = SecondsFromTicks(ticks);
    root.UpdateTime();
    ASSERT_GT(platform.now, 4294967.0);

    ticks += 16; // crosses the wrap: the reading falls back to about zero
    platform.now = SecondsFromTicks(ticks);
    ASSERT_LT(platform.now, 1.0);
    const double before = root.total;
    root.UpdateTime();
    EXPECT_DOUBLE_EQ(root.delta, 0.5);
    EXPECT_DOUBLE_EQ(root.total, before + 0.5);

    ticks += 16;
    platform.now = SecondsFromTicks(ticks);
    root.UpdateTime();
    EXPECT_NEAR(root.delta, 0.5 * 0.016, 1e-9);
}

TEST(RootTime, WithoutAPlatformNoTimePasses)
{
    ASSERT_EQ(GetPlatform(), nullptr);
    RootTime root;
    root.UpdateTime();
    root.UpdateTime(true);
    EXPECT_EQ(root.delta, 0.0);
    EXPECT_EQ(root.total, 0.0);
    EXPECT_EQ(root.delta4.x, 0.0f);
}

TEST(RootTime, FrameRateWindowClosesAfterMoreThanASecond)
{
    ClockPlatform platform;
    RootTime root;
    root.CountFrame();
    root.UpdateTime(); // opens the window
    EXPECT_EQ(root.frameCount, 0u);

    for (int i = 0; i < 8; ++i) {
        platform.now += 0.125;
        root.CountFrame();
        root.UpdateTime();
    }
    // Exactly one second is not yet more than one.
    EXPECT_EQ(root.frameCount, 8u);
    EXPECT_EQ(root.frameRate, 0.0f);

    platform.now += 0.25;
    root.CountFrame();
    root.UpdateTime();
    EXPECT_DOUBLE_EQ(root.windowSeconds, 1.25);
    EXPECT_FLOAT_EQ(root.frameRate, 9.0f / 1.25f);
    EXPECT_EQ(root.frameCount, 0u);
    EXPECT_EQ(root.windowStart, platform.now);

    // A clock that wrapped restarts the window instead of stalling it.
    platform.now = 0.5;
    root.CountFrame();
    root.UpdateTime();
    EXPECT_EQ(root.windowStart, 0.5);
    platform.now = 1.75;
    root.CountFrame();
    root.UpdateTime();
    EXPECT_NEAR(root.windowSeconds, 1.25, 1e-9);
}

TEST(RootTime, FixedStepWaitsForTheNextBoundaryAndUsesTheStep)
{
    ClockPlatform platform;
    RootTime root;
    root.SetTimeScale(2.0f);
    root.UpdateTime(true);
    EXPECT_DOUBLE_EQ(root.delta, 2.0 * root.fixedStepLength);
    EXPECT_EQ(root.fixedFrame, 0u);

    platform.now += 0.004; // early: the clock is slept up to the boundary
    root.UpdateTime(true);
    EXPECT_GT(platform.sleeps, 0);
    EXPECT_GE(platform.now, root.fixedOrigin + root.fixedStepLength - 1e-9);
    EXPECT_EQ(root.fixedFrame, 1u);
    EXPECT_DOUBLE_EQ(root.delta, 2.0 * root.fixedStepLength);

    platform.now = root.fixedOrigin + 3.5 * root.fixedStepLength; // late
    root.UpdateTime(true);
    EXPECT_EQ(root.fixedFrame, 3u);
    EXPECT_NEAR(root.fixedFraction, 0.5, 1e-6);
    EXPECT_NEAR(root.total, 3 * 2.0 * root.fixedStepLength, 1e-12);
}

TEST(RootTime, FixedStepOnAStoppedClockDoesNotHang)
{
    ClockPlatform platform;
    platform.sleepAdvances = false;
    RootTime root;
    root.UpdateTime(true);
    root.UpdateTime(true);
    EXPECT_EQ(root.fixedFrame, 1u);
    EXPECT_DOUBLE_EQ(root.delta, root.fixedStepLength);
}

TEST(Time, ChildStepsScaleThroughTheParentChain)
{
    ClockPlatform platform;
    RootTime root;
    Time child;
    Time grandchild;
    grandchild.SetParent(&child);
    ASSERT_EQ(child.GetParent(), &root);

    root.UpdateTime();
    platform.now += 1.0 / 60.0;
    root.UpdateTime();

    child.UpdateChildTime();
    EXPECT_NEAR(child.delta, 0.5, 1e-9);
    child.UpdateChildTime();
    EXPECT_NEAR(child.total, 1.0, 1e-9);

    // 0.5 x (rate 2 x scale 0.25) of a step of 0.5.
    grandchild.rate = 2.0f;
    grandchild.SetTimeScale(0.25f);
    grandchild.UpdateChildTime();
    EXPECT_NEAR(grandchild.delta, 0.25, 1e-9);
    EXPECT_EQ(grandchild.delta4.y, float(grandchild.delta));

    // Scaling the root reaches the whole chain on the next updates.
    root.SetTimeScale(0.5f);
    platform.now += 1.0 / 60.0;
    root.UpdateTime();
    child.UpdateChildTime();
    grandchild.UpdateChildTime();
    EXPECT_NEAR(child.delta, 0.25, 1e-9);
    EXPECT_NEAR(grandchild.delta, 0.125, 1e-9);
}

TEST(Time, ChildUpdatedBeforeItsParentUsesTheParentsPreviousStep)
{
    ClockPlatform platform;
    RootTime root;
    Time child;
    root.UpdateTime();
    platform.now += 0.02;
    root.UpdateTime();

    platform.now += 0.01;
    child.UpdateChildTime(); // root still holds 0.02
    root.UpdateTime();
    EXPECT_NEAR(child.delta, 30.0 * 0.02, 1e-9);
}

TEST(Time, ChildStepClamps)
{
    ClockPlatform platform;
    RootTime root;
    Time child;
    root.UpdateTime();
    platform.now += 1.0;
    root.UpdateTime();
    ASSERT_DOUBLE_EQ(root.delta, 1.0);

    child.rate = -1.0f;
    child.UpdateChildTime();
    EXPECT_DOUBLE_EQ(child.delta, 1.0);

    child.rate = 2000.0f;
    child.UpdateChildTime();
    EXPECT_DOUBLE_EQ(child.delta, 1.0);

    child.rate = 1000.0f; // exactly the limit is kept
    child.UpdateChildTime();
    EXPECT_DOUBLE_EQ(child.delta, 1000.0);
    EXPECT_DOUBLE_EQ(child.total, 1002.0);
}

TEST(Time, ChildOfADestroyedClockStepsOnItsOwn)
{
    ClockPlatform platform;
    auto root = std::make_unique<RootTime>();
    Time child;
    root.reset();
    ASSERT_EQ(child.GetParent(), nullptr);

    child.SetTimeScale(0.5f);
    child.UpdateChildTime();
    EXPECT_DOUBLE_EQ(child.delta, 15.0);

    // A clock made with no global clock is a root from the start.
    Time orphan;
    EXPECT_EQ(orphan.GetParent(), nullptr);
    orphan.UpdateChildTime();
    EXPECT_DOUBLE_EQ(orphan.delta, 30.0);
}
