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
// passes, and the lit scene into the back buffer. Between the dynamic objects'
// update and the drawing, each frame brings the light cameras' shadow matrices
// up to date and hands them, the caster radii and the light size to every
// material of the scene, turning the light to the view while the left mouse
// button is held.
#include <cstdint>

#include "demo/scene_bindings.h"
#include "demo/shadow_atlas_tiles.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"
#include "kernel/time.h"
#include "render/device/render_device.h"
#include "render/frame/post_pass.h"
#include "render/frame/render_pass.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/renderer_template_scene.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "render/nodes/scene.h"
#include "render/resources/material.h"
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

    // The frame's light steps, in the order it runs them.
    // Applies light cameras 3, 2, 1, 0 (0 ends up the active camera), then
    // lightMatrices[k] = view-projection of light camera k x texBiasMatrix and
    // lightMatrixSelf = view-projection of light camera 3 x selfBiasMatrix.
    void UpdateLightMatrices();
    // For every material of the scene in list order (the list read afresh each
    // step): "lightMatrix", "lightMatrixSelf", "casterRadius" and "lightSize"
    // on its effect, then AlignLightToView for it. The first three are
    // registered by address, the size copied; a material without an effect
    // gets no constants but still its alignment step.
    void SetLightConstants();
    // Nothing unless mouse button 0 was held at the frame's poll; then "lht"
    // on material i's effect (when it has one) from the view's direction, the
    // light node given the view camera's own position, rotation and scale, and
    // the light cameras placed from it (see light_alignment.h).
    void AlignLightToView(uint32_t materialIndex);

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

private:
    // The start-up's steps, in the order InitDemo runs them.
    // Bakes the sky light, loads the scene, fills the layers (nodes: the named
    // nodes, each looked up once) and builds the grid; returns the baked
    // coefficients, which the scene materials keep by address.
    const float4* BakeAndLoadScene(SceneNode* (&nodes)[kDemoNodeCount]);
    // The 256, 512 and 1024 texel render targets.
    void MakeShadowTargets();
    // The file textures, with the shadow and luma screen targets between them.
    void LoadTextures();
    // The lighting and shadow parameters of the scene materials and of the
    // named nodes, and both bias matrices.
    void BindMaterials(const float4* splats, SceneNode* const (&nodes)[kDemoNodeCount]);
    // The two screen targets of the lit passes, then "diff" and "drawShadow".
    void SetUpLitPasses();
    // The light cameras framed on their casters, the caster positions and
    // radii, and the atlas tiles.
    void FrameLightCameras(SceneNode* const (&nodes)[kDemoNodeCount]);
    // The four "depth" passes, "depthSelf" and the grid over the atlas.
    void SetUpDepthPasses();
    // The post passes: the blur, "genSAT", the summed-area table's four
    // steps, "deSAT" and the FXAA pair.
    void SetUpPostPasses();
    void SetUpTablePasses();
    void SetUpFxaaPasses();
    // The render queues, the pass sequence (leaving out a pass whose target
    // could not be made) and the clock scale.
    void RegisterPasses();
};
