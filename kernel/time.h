#pragma once
// Clocks. A Time is a clock node whose per-update step derives from its parent's
// step; a RootTime is driven by the platform clock (GetSeconds). The first
// RootTime made becomes the global clock, the parent of every Time made after
// it, until it is destroyed; readers of the global time see 0 while there is none.
#include <cstdint>

#include "kernel/math/float4.h"
#include "kernel/node_hierarchy.h"

class Time : public NodeHierarchy {
public:
    Time();
    virtual ~Time();
    Time(const Time&) = delete;
    Time& operator=(const Time&) = delete;

    // Used from the next update on.
    void SetTimeScale(float newScale) { scale = newScale; }

    // One update of a clock that follows its parent: rate x scale x the parent's
    // last step (rate x scale alone without a parent), a negative step or one
    // above 1000 becoming 1.
    void UpdateChildTime();

    float scale = 1.0f;
    float rate = 30.0f;   // child steps count 1/rate of the parent's unit
    double delta = 1.0;   // step of the last update
    float4 delta4 = {1.0f, 1.0f, 1.0f, 1.0f}; // delta as a float in four lanes
    double total = 0.0;   // sum of every step

protected:
    void StoreDelta4();
};

class RootTime : public Time {
public:
    RootTime();
    ~RootTime() override;

    // One more frame in the current one-second frame-rate window.
    void CountFrame();

    // The per-frame update from the platform clock. The step is the clock's advance
    // since the last update: a negative one (the clock wrapped) becomes 1 second,
    // one above 1 second (a pause) becomes 0.001, and it is then scaled. With
    // fixedStep the clock waits for the next fixed step boundary and advances by
    // exactly fixedStepLength x scale.
    void UpdateTime(bool fixedStep = false);

    double last = 0.0; // platform clock at the previous update

    // The frame-rate window: closed when more than a second has passed since it began.
    uint32_t frameCount = 0;     // frames counted in the open window
    double windowStart = 0.0;    // platform clock when the open window began
    double windowSeconds = 0.0;  // length of the last closed window
    float frameRate = 0.0f;      // frames per second of the last closed window

    // Fixed-step mode.
    double fixedStepLength = 1.0 / 60.0;
    double fixedOrigin = 0.0;    // platform clock of the first fixed step
    uint64_t fixedFrame = 0;     // index of the current fixed step since the origin
    double fixedFraction = 0.0;  // how far into that step the clock was read

private:
    double ReadClock() const;
    void AdvanceFrameWindow(double now);
    double WaitForFixedStep();

    bool windowOpen_ = false;
    bool fixedStarted_ = false;
};

// The global clock, or null when there is none.
RootTime* GetGlobalTime();

// The global clock's last step (seconds, after its scale); 0 without a global clock.
double GetGlobalDelta();

// The global clock's total as a float; 0 without a global clock.
float GetTime();
