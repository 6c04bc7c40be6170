#include "demo/shadow_demo.h"

#include <functional>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "demo/light_alignment.h"
#include "demo/light_cameras.h"
#include "demo/light_rig.h"
#include "demo/scene_bindings.h"
#include "demo/sh_bake.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/input/scan_codes.h"
#include "render/effects/effect.h"
#include "scene/input_devices.h"
#include "scene/key_bindings.h"

namespace {

constexpr uint32_t kAtlasSide = 512;
constexpr uint32_t kLightDepthSide = 256;
constexpr uint32_t kSelfShadowSide = 1024;
constexpr uint32_t kDefaultPool = 0;
constexpr uint32_t kCmpAlways = 8;
constexpr uint32_t kClearBlack = 0x00000000u;
constexpr uint32_t kClearGrey = 0xBBBBBBBBu;
constexpr uint32_t kClearWhite = 0xFFFFFFFFu;
constexpr float kWheelToLightSize = 0.0005f;

// The atlas's guard lines in atlas coordinates: across the middle, down the
// middle and down the left edge (two points per line).
const std::vector<float3> kGridPoints = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {-1, -1, 0}, {-1, 1, 0}};

RenderTargetRecord* TargetOf(TextureResource& texture)
{
    TextureData* data = texture.GetPayload();
    return data ? &data->target : nullptr;
}

void MakeTarget(TextureResource& texture, uint32_t width, uint32_t height, uint32_t format, uint32_t depthFormat,
                uint32_t usage = gfx::kUsageRenderTarget)
{
    texture.InitRenderTexture(width, height, format, depthFormat, usage, kDefaultPool, 1);
}

// A scene pass drawing the renderers' layers through the camera into the target.
void ConfigurePass(RenderPass& pass, std::initializer_list<SceneNodeRenderer*> renderers, RenderTargetRecord* target,
                   const char* technique, CameraNode* camera, uint32_t clearColour,
                   RenderTargetRecord* copyAfter = nullptr, uint8_t keepContents = 0)
{
    for (SceneNodeRenderer* renderer : renderers)
        pass.AddRendererTemplate(renderer);
    pass.target = target;
    pass.name = technique;
    pass.camera = camera;
    pass.keepContents = keepContents;
    pass.alwaysDraw = 1;
    pass.clearColour = clearColour;
    pass.copyAfterDraw = copyAfter;
}

// A post pass: its effect loaded with the drawn item's matrix and its own
// parameters, the quad set up for the target, then named for its technique.
void ConfigurePostPass(PostPass& pass, const char* effectFile, const char* technique, RenderTargetRecord* target,
                       const std::function<void(Effect&)>& parameters)
{
    if (Effect* effect = pass.material.GetEffect()) {
        effect->LoadByName(effectFile);
        effect->SetAutoMatrix("MatWorldViewProj", 0);
        parameters(*effect);
    }
    pass.SetupPostPass(1, target);
    pass.name = technique;
}

bool HasSurface(const RenderTargetRecord* record)
{
    return record && record->colour;
}

} // namespace

ShadowDemo::ShadowDemo()
{
    MakeUniqueMaterial(gridMaterial);
    texBiasMatrix.SetIdentity();
    for (float4x4& matrix : lightMatrices)
        matrix.SetIdentity();
    lightMatrixSelf.SetIdentity();
    selfBiasMatrix.SetIdentity();
}

ShadowDemo::~ShadowDemo()
{
    // The queues belong to renderers destroyed before the frame renderer.
    sceneRenderer.queues.clear();
    passSequence.passes.clear();
}

void ShadowDemo::InitDemo()
{
    // ---- The sky light's bake, the scene and its layers, the grid ----
    const float4* splats = BakeShLighting(std::cout);
    lightSize = 0.25f;
    scene.LoadByName("data/shadowDemo.ids");
    // Each node is looked up once: a missing one is reported once and then
    // left out of every step.
    SceneNode* nodes[kDemoNodeCount] = {};
    FindDemoNodes(scene, nodes);
    for (uint32_t k = 0; k < kDemoNodeCount; ++k) {
        if (nodes[k])
            layers[k].nodes.push_back(nodes[k]);
        nodeRenderers[k].layers.push_back(&layers[k]);
    }
    gridNode.mesh.BuildVertexBufferNoNormals(kGridPoints, nullptr);
    if (Effect* effect = gridMaterial.GetEffect())
        effect->LoadByName("shadowSafeGrid.fx");
    gridNode.mesh.SetMeshMaterial(gridMaterial);
    layers[kDemoLayers - 1].nodes.push_back(&gridNode);
    nodeRenderers[kDemoLayers - 1].layers.push_back(&layers[kDemoLayers - 1]);

    // ---- Render targets and file textures ----
    const GraphicsSettings& screen = GetRenderer()->Graphics();
    const uint32_t width = screen.width;
    const uint32_t height = screen.height;
    for (TextureResource& target : lightDepthR32F)
        MakeTarget(target, kLightDepthSide, kLightDepthSide, gfx::kFormatR32F, gfx::kFormatD24X8);
    for (TextureResource& target : lightDepthTex)
        MakeTarget(target, kLightDepthSide, kLightDepthSide, gfx::kFormatD24X8, gfx::kFormatD24X8,
                   gfx::kUsageDepthStencil);
    MakeTarget(shadowAtlas, kAtlasSide, kAtlasSide, gfx::kFormatG32R32F, gfx::kFormatD24X8);
    MakeTarget(shadowAtlasSAT, kAtlasSide, kAtlasSide, gfx::kFormatG32R32F, gfx::kFormatD24X8);
    MakeTarget(satTemp, kAtlasSide, kAtlasSide, gfx::kFormatG32R32F, gfx::kFormatD24S8);
    MakeTarget(selfShadowMap, kSelfShadowSide, kSelfShadowSide, gfx::kFormatG32R32F, gfx::kFormatD24S8);

    jitterVolume.SetTextureFlags(16); // a volume texture
    jitterVolume.LoadByName("textures/Noise3D.dds");
    noiseTexture.LoadByName("textures/enbjitter.tga");
    MakeTarget(shadowTarget, width, height, gfx::kFormatA8R8G8B8, gfx::kFormatD24S8);
    MakeTarget(screenLumaTarget, width, height, gfx::kFormatL8, gfx::kFormatD24S8);
    prtNTexture.LoadByName("textures/box2_prtN.BMP");
    prtPTexture.LoadByName("textures/box2_prtP.BMP");

    // ---- The light, the scene materials' parameters, the bias matrices ----
    SetDirLightCameraPose(dirLightCamera);
    SceneMaterialInputs inputs;
    inputs.shCoeffSplats = splats;
    inputs.shadowAtlas = &shadowAtlas;
    inputs.shadowAtlasSAT = &shadowAtlasSAT;
    inputs.noiseTexture = &noiseTexture;
    inputs.jitterVolume = &jitterVolume;
    inputs.prtNTexture = &prtNTexture;
    inputs.prtPTexture = &prtPTexture;
    inputs.lightDirection = LightDirectionParam(dirLightCamera);
    BindSceneMaterials(scene, inputs);
    BindObjectParameters(nodes, &selfShadowMap);
    texBiasMatrix = MakeShadowMapBias(kShadowMapBiasOffset);
    selfBiasMatrix = MakeShadowMapBias(kSelfShadowMapBiasOffset);

    // ---- The screen targets and the lit passes ----
    MakeTarget(screenTargetA, width, height, gfx::kFormatA8R8G8B8, gfx::kFormatD24S8);
    MakeTarget(screenTargetB, width, height, gfx::kFormatA8R8G8B8, gfx::kFormatD24S8);
    RenderTargetRecord* backBuffer = &GetRenderer()->Targets().BackBufferTarget();
    SceneNodeRenderer* r = nodeRenderers;
    ConfigurePass(passes[0], {&r[0], &r[1], &r[2], &r[3], &r[4]}, backBuffer, "diff", &viewCamera, kClearBlack,
                  TargetOf(screenTargetA));
    ConfigurePass(passes[6], {&r[0], &r[1], &r[2], &r[4]}, backBuffer, "drawShadow", &viewCamera, kClearGrey,
                  TargetOf(shadowTarget));

    // ---- The light cameras framed on their casters, the atlas tiles ----
    SceneNode* const casters[kCasterCount] = {nodes[0], nodes[1], nodes[2], nodes[3]};
    SetLightCameraScales(casters, lightCameras, casterRadius);
    const LightPlaneFrame frame = TakeLightPlaneFrame(dirLightCamera);
    ComputeCasterPositions(casters, casterPositions);
    PoseLightCameras(frame, dirLightCamera, casterPositions, lightCameras);
    if (RenderTargetRecord* atlas = TargetOf(shadowAtlas))
        FillAtlasTiles(*atlas, atlasTiles);

    // ---- The depth passes and the grid ----
    const uint32_t depthPasses[kCasterCount] = {3, 4, 5, 8};
    for (uint32_t k = 0; k < kCasterCount; ++k)
        ConfigurePass(passes[depthPasses[k]], {&r[k]}, &atlasTiles[k], "depth", &lightCameras[k], kClearWhite);
    ConfigurePass(passes[9], {&r[3]}, TargetOf(selfShadowMap), "depthSelf", &lightCameras[3], kClearWhite);
    ConfigurePass(passes[7], {&r[5]}, TargetOf(shadowAtlas), "diff", &viewCamera, kClearBlack, nullptr, 1);
    passes[7].stateOverrides[kRsZFunc] = kCmpAlways;

    // ---- The post passes ----
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    const float4 pixelSizeX{1.0f / w, 0.0f, 0.0f, 0.0f};
    const float4 pixelSizeY{0.0f, 1.0f / h, 0.0f, 0.0f};
    const float4 rcpFrame{1.0f / w, 1.0f / h, 0.0f, 0.0f};
    const float4 rcpFrameOpt{2.0f / w, 2.0f / h, 0.5f / w, 0.5f / h};
    ConfigurePostPass(postPasses[4], "blurQuad_diff.fx", "bilaterial", TargetOf(screenLumaTarget),
                      [&](Effect& e) { e.SetTexture("diffuse", &shadowTarget); });
    ConfigurePostPass(postPasses[5], "genSAT.fx", "ver", backBuffer, [&](Effect& e) {
        e.SetTexture("diffuse", &screenTargetA);
        e.SetVector("pixelSizeX", &pixelSizeX);
        e.SetVector("pixelSizeY", &pixelSizeY);
    });
    struct TableStep {
        uint32_t pass;
        const char* technique;
        float passId;
        TextureResource* source;
        TextureResource* target;
    };
    const TableStep steps[] = {
        {8, "hor", 0.0f, &shadowAtlas, &satTemp},
        {9, "hor", 1.0f, &satTemp, &shadowAtlasSAT},
        {10, "ver", 0.0f, &shadowAtlasSAT, &satTemp},
        {11, "ver", 1.0f, &satTemp, &shadowAtlasSAT},
    };
    for (const TableStep& step : steps)
        ConfigurePostPass(postPasses[step.pass], "doSAT.fx", step.technique, TargetOf(*step.target),
                          [&](Effect& e) {
                              e.SetFloat("passID", step.passId);
                              e.SetFloat("atlasRes", static_cast<float>(kAtlasSide));
                              e.SetTexture("temptex", step.source);
                          });
    ConfigurePostPass(postPasses[7], "deSAT.fx", "test", backBuffer,
                      [&](Effect& e) { e.SetTexture("temptex", &selfShadowMap); });
    postPasses[7].keepContents = 0;
    postPasses[7].clearColour = kClearWhite;
    postPasses[7].alwaysDraw = 1;
    auto fxaa = [&](TextureResource* source) {
        return [&, source](Effect& e) {
            e.SetVector("rcpFrame", &rcpFrame);
            e.SetVector("rcpFrameOpt", &rcpFrameOpt);
            e.SetFloat("screenWidth", w);
            e.SetFloat("screenHeight", h);
            e.SetTexture("temptex", source);
        };
    };
    ConfigurePostPass(postPasses[1], "post_diff.fx", "preFXAA", TargetOf(screenTargetB), fxaa(&screenTargetA));
    ConfigurePostPass(postPasses[0], "post_diff.fx", "postFXAA", backBuffer, fxaa(&screenTargetB));

    // ---- The view and its free camera ----
    SetUpViewCamera(viewCamera, freeCamera);

    // ---- The render queues, the pass sequence, the clock ----
    for (SceneNodeRenderer& renderer : nodeRenderers)
        sceneRenderer.queues.push_back(&renderer.instanceList);
    for (uint32_t i : {5u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 7u, 1u, 0u})
        sceneRenderer.queues.push_back(&postPasses[i].renderer.instanceList);

    RenderPass* const sequence[] = {&passes[3],     &passes[4],      &passes[5],      &passes[8],
                                    &passes[7],     &passes[9],      &postPasses[8],  &postPasses[9],
                                    &postPasses[10], &postPasses[11], &passes[0]};
    for (RenderPass* pass : sequence) {
        // A render target that could not be made would fail the pass in every
        // frame: the pass is left out, once said.
        if (!HasSurface(pass->target)) {
            std::cout << "Render pass " << pass->name << " left out: its render target was not created.\n";
            continue;
        }
        if (pass->copyAfterDraw && !HasSurface(pass->copyAfterDraw)) {
            std::cout << "Render pass " << pass->name << " copies nothing: its copy's target was not created.\n";
            pass->copyAfterDraw = nullptr;
        }
        passSequence.passes.push_back(pass);
    }
    time.SetTimeScale(1.0f);
}

int ShadowDemo::DemoFrame()
{
    time.CountFrame();
    time.UpdateTime(false);

    DirectInputDevices* input = GetDirectInput();
    input->PollMouse();
    input->PollKeyboard();
    GetControls()->UpdateControls();
    if (input->IsKeyHit(platform::input::kKeyEscape))
        return 0;

    viewCamera.ApplyCamera();
    viewCamera.GetWorldMatrix();
    dynamics.UpdateDynamics();

    CameraNode* const cameras[kCasterCount] = {&lightCameras[0], &lightCameras[1], &lightCameras[2],
                                               &lightCameras[3]};
    UpdateLightMatrices(cameras, texBiasMatrix, selfBiasMatrix, lightMatrices, lightMatrixSelf);
    LightAlignmentNodes align;
    align.viewCamera = &viewCamera;
    align.lightNode = &dirLightCamera;
    for (uint32_t k = 0; k < kCasterCount; ++k)
        align.lightCameras[k] = cameras[k];
    align.casterCentres = casterPositions;
    SetLightConstants(scene, lightMatrices, lightMatrixSelf, casterRadius, lightSize,
                      [&align](uint32_t, Effect* effect) { AlignLightToView(effect, align); });
    lightSize += input->GetMouseDZ() * kWheelToLightSize;

    sceneRenderer.BeginFrame();
    viewCamera.GetInvViewProjMatrix();
    passSequence.RenderPasses();
    sceneRenderer.EndFrame();
    return 1;
}
