#pragma once
// The shadow and lighting demonstration: the application object the kernel
// runs. Start-up builds it (16-byte aligned), runs InitDemo once before any
// engine thread exists, then calls DemoFrame in every main-loop cycle that
// found no window message. It owns the program's root clock, the global clock
// every other clock and transform follows, the list of per-frame objects, the
// scene renderer and the render passes each frame runs between the frame's
// begin and its present.
#include "kernel/time.h"
#include "render/render_pass_list.h"
#include "render/scene_renderer.h"
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
    // The light's size, which the mouse wheel changes.
    float lightSize = 0.0f;
    SceneRenderer sceneRenderer;
    // The frame's passes in the order they run; not owned.
    RenderPassList passList;
};
