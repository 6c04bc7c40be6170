#pragma once
// The shadow and lighting demonstration: the application object the kernel
// runs. Start-up builds it (16-byte aligned), runs InitDemo once before any
// engine thread exists, then calls DemoFrame in every main-loop cycle that
// found no window message, and destroys it before the engine's singletons go.
//
// It holds every part of the demonstration by value, built in the order of the
// members below and destroyed in the reverse order: the per-frame list, the
// view camera and the five cameras of the directional light, the frame
// renderer and its pass sequence, the global clock, the scene, the free
// camera, the atlas's guard grid, the six node layers and their renderers, the
// scene passes, the textures and render targets, the shadow matrices, the post
// passes, the atlas tiles and the casters' values. InitDemo bakes the sky
// light, loads the scene and its textures and sets everything up; each frame
// then draws four light depth passes into the tiles of the shadow atlas, the
// grid over it, the self-shadow map, the atlas's summed-area table in four
// passes, and the lit scene into the back buffer.
#include <cstdint>

#include "demo/shadow_atlas_tiles.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "kernel/time.h"
#include "render/nodes/camera_node.h"
#include "render/resources/material.h"
#include "render/nodes/mesh_node.h"
#include "render/frame/post_pass.h"
#include "render/device/render_device.h"
#include "render/frame/render_pass.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/renderer_template_scene.h"
#include "render/nodes/scene.h"
#include "render/frame/scene_renderer.h"
#include "render/textures/texture_resource.h"
#include "scene/dynamic.h"
#include "scene/free_camera.h"
#include "scene/scene_node.h"

inline constexpr uint32_t kDemoLayers = 6;
inline constexpr uint32_t kDemoPasses = 10;
inline constexpr uint32_t kDemoPostPasses = 16;
inline constexpr uint32_t kLightDepthTargets = 3;

class alignas(16) ShadowDemo {
public:
    // Builds every member; loads nothing and binds no effect parameter.
    ShadowDemo();
    // The frame renderer stops drawing the queues of the members about to go.
    ~ShadowDemo();
    ShadowDemo(const ShadowDemo&) = delete;
    ShadowDemo& operator=(const ShadowDemo&) = delete;

    // The start-up: bake, scene and layers, render targets and file textures,
    // light and material parameters, passes and post passes, cameras, the
    // render queues, the pass sequence and the clock scale.
    void InitDemo();
    // One frame; 0 ends the program (Escape), anything else goes on.
    int DemoFrame();

    // First: the current per-frame list before any member that registers in it.
    DynamicsList dynamics;
    // The first camera made, so the active one; flown by freeCamera.
    CameraNode viewCamera;
    // Stands for the directional light: its turn is the light's direction.
    CameraNode dirLightCamera;
    // One orthographic shadow camera per caster; the fourth also draws the
    // self-shadow map.
    CameraNode lightCameras[kCasterCount];
    SceneNode sceneNode;
    SceneRenderer sceneRenderer;
    // The frame's passes in the order they run; not owned.
    RenderPassList passSequence;
    // The only root clock, so the global one.
    RootTime time;
    Scene scene;
    FreeCamera freeCamera;
    // Guard lines over the shadow atlas, drawn with gridMaterial.
    MeshNode gridNode;
    MaterialResource gridMaterial;
    // Layer k holds Object01..Object04, Box01 and the grid; renderer k draws it.
    RenderLayer layers[kDemoLayers];
    SceneNodeRenderer nodeRenderers[kDemoLayers];
    RenderPass passes[kDemoPasses];
    TextureResource screenTargetA, screenTargetB, prtNTexture, prtPTexture, extraTexture0, extraTexture1,
        extraTexture2, screenLumaTarget;
    TextureResource lightDepthR32F[kLightDepthTargets];
    TextureResource jitterVolume, noiseTexture;
    TextureResource lightDepthTex[kLightDepthTargets];
    TextureResource shadowTarget, satTemp, extraTexture3, shadowAtlas, shadowAtlasSAT, selfShadowMap, extraTexture4;
    float4x4 texBiasMatrix;
    // "lightMatrix": light k's view-projection into its 256-texel square.
    float4x4 lightMatrices[kCasterCount];
    PostPass postPasses[kDemoPostPasses];
    // Light k's quarter of the shadow atlas.
    RenderTargetRecord atlasTiles[kCasterCount];
    // "casterRadius": one over the caster's diameter, in all four lanes.
    float4 casterRadius[kCasterCount];
    // The casters' world centres, where the light cameras are aimed.
    float4 casterPositions[kCasterCount];
    // "lightSize"; the mouse wheel changes it.
    float lightSize = 0.0f;
    // "lightMatrixSelf": light 3's view-projection into the self-shadow map.
    float4x4 lightMatrixSelf;
    float4x4 selfBiasMatrix;
};
