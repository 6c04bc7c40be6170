#include "kernel/time.h"

#include <cmath>
#include <iostream>

#include "kernel/platform.h"

namespace {
RootTime* globalTime = nullptr;

// A waiting fixed step never spins for ever on a clock that stands still.
constexpr int kMaxFixedStepWaits = 1000;
} // namespace

Time::Time()
{
    if (globalTime)
        SetParent(globalTime);
    std::cout << "Time object created.\n";
}

Time::~Time()
{
    std::cout << "Time object released.\n";
    DetachNode();
}

void Time::StoreDelta4()
{
    const float d = float(delta);
    delta4 = {d, d, d, d};
}

void Time::UpdateChildTime()
{
    double d = double(rate) * double(scale);
    // Clocks are only ever parented to clocks.
    if (const auto* parent = static_cast<const Time*>(GetParent()))
        d = parent->delta * d;
    if (d < 0.0)
        d = 1.0;
    if (d > 1000.0)
        d = 1.0;
    delta = d;
    StoreDelta4();
    total += delta;
}

RootTime::RootTime()
{
    if (!globalTime)
        globalTime = this;
    std::cout << "Time object created.\n";
}

RootTime::~RootTime()
{
    // Nothing may read a destroyed clock through the global pointer.
    if (globalTime == this)
        globalTime = nullptr;
}

double RootTime::ReadClock() const
{
    Platform* platform = GetPlatform();
    return platform ? platform->GetSeconds() : 0.0;
}

void RootTime::CountFrame()
{
    ++frameCount;
}

void RootTime::AdvanceFrameWindow(double now)
{
    // A clock that went backwards (wrapped) would hold the window open for ever.
    if (!windowOpen_ || now < windowStart) {
        windowOpen_ = true;
        windowStart = now;
        frameCount = 0;
        return;
    }
    const double elapsed = now - windowStart;
    if (elapsed > 1.0) {
        windowSeconds = elapsed;
        frameRate = float(frameCount / elapsed);
        frameCount = 0;
        windowStart = now;
    }
}

double RootTime::WaitForFixedStep()
{
    Platform* platform = GetPlatform();
    double now = ReadClock();
    if (!fixedStarted_) {
        fixedStarted_ = true;
        fixedOrigin = now;
        fixedFrame = 0;
        fixedFraction = 0.0;
        return now;
    }
    const double next = fixedOrigin + double(fixedFrame + 1) * fixedStepLength;
    for (int i = 0; i < kMaxFixedStepWaits && now < next && platform; ++i) {
        platform->SleepSeconds(float(next - now));
        now = ReadClock();
    }
    const double steps = (now - fixedOrigin) / fixedStepLength;
    if (steps >= 0.0 && std::isfinite(steps)) {
        const double index = std::floor(steps);
        // The wait is bounded, so a frozen clock still moves on by one step.
        fixedFrame = index > double(fixedFrame) ? uint64_t(index) : fixedFrame + 1;
        fixedFraction = steps - index;
    } else {
        // The clock went behind the origin (wrapped): start counting again here.
        fixedOrigin = now;
        fixedFrame = 0;
        fixedFraction = 0.0;
    }
    return now;
}

void RootTime::UpdateTime(bool fixedStep)
{
    if (!GetPlatform()) {
        // Without a clock no time passes.
        delta = 0.0;
        StoreDelta4();
        return;
    }
    if (fixedStep) {
        const double now = WaitForFixedStep();
        AdvanceFrameWindow(now);
        last = now;
        delta = fixedStepLength * double(scale);
    } else {
        const double now = ReadClock();
        AdvanceFrameWindow(now);
        double d = now - last;
        last = now;
        if (d < 0.0)
            d = 1.0;
        if (d > 1.0)
            d = double(0.001f);
        delta = double(scale) * d;
    }
    StoreDelta4();
    total += delta;
}

RootTime* GetGlobalTime()
{
    return globalTime;
}

double GetGlobalDelta()
{
    return globalTime ? globalTime->delta : 0.0;
}

float GetTime()
{
    return globalTime ? float(globalTime->total) : 0.0f;
}
