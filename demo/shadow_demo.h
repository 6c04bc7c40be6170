#pragma once
// The shadow and lighting demonstration: the application object the kernel
// runs. Start-up builds it (16-byte aligned), runs InitDemo once before any
// engine thread exists, then calls DemoFrame in every main-loop cycle that
// found no window message. It owns the program's root clock, the global clock
// every other clock and transform follows, and the list of per-frame objects.
#include "kernel/time.h"
#include "scene/dynamic.h"
#include "scene/free_camera.h"

class alignas(16) ShadowDemo {
public:
    ShadowDemo();
    ~ShadowDemo();
    ShadowDemo(const ShadowDemo&) = delete;
    ShadowDemo& operator=(const ShadowDemo&) = delete;

    void InitDemo();
    // One frame; 0 ends the program, anything else goes on.
    int DemoFrame();

    // First, so it is the current list before any per-frame member is built,
    // and is destroyed after them.
    DynamicsList dynamics;
    RootTime clock;
    // Flies the view camera by the mouse and the keys of section Controls.
    FreeCamera freeCamera;
    // The light's size: 0.25 from start-up on, changed by the mouse wheel.
    float lightSize = 0.0f;
};
