#include "demo/shadow_demo.h"

#include <functional>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "demo/light_alignment.h"
#include "demo/light_cameras.h"
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
// Half a texel past the centre: 0.5 + 0.5 / 256 and 0.5 + 0.5 / 1024.
constexpr float kShadowMapBiasOffset = 0.501953125f;
constexpr float kSelfShadowMapBiasOffset = 0.50048828125f;

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

// Clip space to the texture space of a square map: (x, y, z, w) becomes
// (0.5 x + b w, -0.5 y + b w, z, w), so v grows downwards and depth is kept;
// b is half a texel past the centre of the map.
float4x4 MakeShadowMapBias(float offset)
{
    float4x4 bias;
    bias.SetRow(0, {0.5f, 0.0f, 0.0f, 0.0f});
    bias.SetRow(1, {0.0f, -0.5f, 0.0f, 0.0f});
    bias.SetRow(2, {0.0f, 0.0f, 1.0f, 0.0f});
    bias.SetRow(3, {offset, offset, 0.0f, 1.0f});
    return bias;
}

uint32_t MaterialCount(Scene& scene)
{
    const SceneList<MaterialResource>* materials = scene.Materials();
    return materials ? materials->count : 0;
}

// Material i's effect; null for a material without one.
Effect* MaterialEffect(Scene& scene, uint32_t i)
{
    MaterialResource* material = i < MaterialCount(scene) ? scene.Materials()->items[i] : nullptr;
    return material ? material->GetEffect() : nullptr;
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
    // Each named node is looked up once: a missing one is reported once and
    // then left out of every step.
    SceneNode* nodes[kDemoNodeCount] = {};
    const float4* splats = BakeAndLoadScene(nodes);
    MakeShadowTargets();
    LoadTextures();
    SetDirLightCameraPose(dirLightCamera);
    BindMaterials(splats, nodes);
    SetUpLitPasses();
    FrameLightCameras(nodes);
    SetUpDepthPasses();
    SetUpPostPasses();
    SetUpViewCamera(viewCamera, freeCamera);
    RegisterPasses();
}

const float4* ShadowDemo::BakeAndLoadScene(SceneNode* (&nodes)[kDemoNodeCount])
{
    const float4* splats = BakeShLighting(std::cout);
    lightSize = 0.25f;
    scene.LoadByName("data/shadowDemo.ids");
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
    return splats;
}

void ShadowDemo::MakeShadowTargets()
{
    for (TextureResource& target : lightDepthR32F)
        MakeTarget(target, kLightDepthSide, kLightDepthSide, gfx::kFormatR32F, gfx::kFormatD24X8);
    for (TextureResource& target : lightDepthTex)
        MakeTarget(target, kLightDepthSide, kLightDepthSide, gfx::kFormatD24X8, gfx::kFormatD24X8,
                   gfx::kUsageDepthStencil);
    MakeTarget(shadowAtlas, kAtlasSide, kAtlasSide, gfx::kFormatG32R32F, gfx::kFormatD24X8);
    MakeTarget(shadowAtlasSAT, kAtlasSide, kAtlasSide, gfx::kFormatG32R32F, gfx::kFormatD24X8);
    MakeTarget(satTemp, kAtlasSide, kAtlasSide, gfx::kFormatG32R32F, gfx::kFormatD24S8);
    MakeTarget(selfShadowMap, kSelfShadowSide, kSelfShadowSide, gfx::kFormatG32R32F, gfx::kFormatD24S8);
}

void ShadowDemo::LoadTextures()
{
    const GraphicsSettings& screen = GetRenderer()->Graphics();
    jitterVolume.SetTextureFlags(16); // a volume texture
    jitterVolume.LoadByName("textures/Noise3D.dds");
    noiseTexture.LoadByName("textures/enbjitter.tga");
    MakeTarget(shadowTarget, screen.width, screen.height, gfx::kFormatA8R8G8B8, gfx::kFormatD24S8);
    MakeTarget(screenLumaTarget, screen.width, screen.height, gfx::kFormatL8, gfx::kFormatD24S8);
    prtNTexture.LoadByName("textures/box2_prtN.BMP");
    prtPTexture.LoadByName("textures/box2_prtP.BMP");
}

void ShadowDemo::BindMaterials(const float4* splats, SceneNode* const (&nodes)[kDemoNodeCount])
{
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
}

void ShadowDemo::SetUpLitPasses()
{
    const GraphicsSettings& screen = GetRenderer()->Graphics();
    MakeTarget(screenTargetA, screen.width, screen.height, gfx::kFormatA8R8G8B8, gfx::kFormatD24S8);
    MakeTarget(screenTargetB, screen.width, screen.height, gfx::kFormatA8R8G8B8, gfx::kFormatD24S8);
    RenderTargetRecord* backBuffer = &GetRenderer()->Targets().BackBufferTarget();
    SceneNodeRenderer* r = nodeRenderers;
    ConfigurePass(passes[0], {&r[0], &r[1], &r[2], &r[3], &r[4]}, backBuffer, "diff", &viewCamera, kClearBlack,
                  TargetOf(screenTargetA));
    ConfigurePass(passes[6], {&r[0], &r[1], &r[2], &r[4]}, backBuffer, "drawShadow", &viewCamera, kClearGrey,
                  TargetOf(shadowTarget));
}

void ShadowDemo::FrameLightCameras(SceneNode* const (&nodes)[kDemoNodeCount])
{
    SceneNode* const casters[kCasterCount] = {nodes[0], nodes[1], nodes[2], nodes[3]};
    SetLightCameraScales(casters, lightCameras, casterRadius);
    const LightPlaneFrame frame = TakeLightPlaneFrame(dirLightCamera);
    ComputeCasterPositions(casters, casterPositions);
    PoseLightCameras(frame, dirLightCamera, casterPositions, lightCameras);
    if (RenderTargetRecord* atlas = TargetOf(shadowAtlas))
        FillAtlasTiles(*atlas, atlasTiles);
}

void ShadowDemo::SetUpDepthPasses()
{
    SceneNodeRenderer* r = nodeRenderers;
    const uint32_t depthPasses[kCasterCount] = {3, 4, 5, 8};
    for (uint32_t k = 0; k < kCasterCount; ++k)
        ConfigurePass(passes[depthPasses[k]], {&r[k]}, &atlasTiles[k], "depth", &lightCameras[k], kClearWhite);
    ConfigurePass(passes[9], {&r[3]}, TargetOf(selfShadowMap), "depthSelf", &lightCameras[3], kClearWhite);
    ConfigurePass(passes[7], {&r[5]}, TargetOf(shadowAtlas), "diff", &viewCamera, kClearBlack, nullptr, 1);
    passes[7].stateOverrides[kRsZFunc] = kCmpAlways;
}

void ShadowDemo::SetUpPostPasses()
{
    const GraphicsSettings& screen = GetRenderer()->Graphics();
    const float w = static_cast<float>(screen.width);
    const float h = static_cast<float>(screen.height);
    const float4 pixelSizeX{1.0f / w, 0.0f, 0.0f, 0.0f};
    const float4 pixelSizeY{0.0f, 1.0f / h, 0.0f, 0.0f};
    RenderTargetRecord* backBuffer = &GetRenderer()->Targets().BackBufferTarget();
    ConfigurePostPass(postPasses[4], "blurQuad_diff.fx", "bilaterial", TargetOf(screenLumaTarget),
                      [&](Effect& e) { e.SetTexture("diffuse", &shadowTarget); });
    ConfigurePostPass(postPasses[5], "genSAT.fx", "ver", backBuffer, [&](Effect& e) {
        e.SetTexture("diffuse", &screenTargetA);
        e.SetVector("pixelSizeX", &pixelSizeX);
        e.SetVector("pixelSizeY", &pixelSizeY);
    });
    SetUpTablePasses();
    ConfigurePostPass(postPasses[7], "deSAT.fx", "test", backBuffer,
                      [&](Effect& e) { e.SetTexture("temptex", &selfShadowMap); });
    postPasses[7].keepContents = 0;
    postPasses[7].clearColour = kClearWhite;
    postPasses[7].alwaysDraw = 1;
    SetUpFxaaPasses();
}

void ShadowDemo::SetUpTablePasses()
{
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
}

void ShadowDemo::SetUpFxaaPasses()
{
    const GraphicsSettings& screen = GetRenderer()->Graphics();
    const float w = static_cast<float>(screen.width);
    const float h = static_cast<float>(screen.height);
    const float4 rcpFrame{1.0f / w, 1.0f / h, 0.0f, 0.0f};
    const float4 rcpFrameOpt{2.0f / w, 2.0f / h, 0.5f / w, 0.5f / h};
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
    ConfigurePostPass(postPasses[0], "post_diff.fx", "postFXAA", &GetRenderer()->Targets().BackBufferTarget(),
                      fxaa(&screenTargetB));
}

void ShadowDemo::RegisterPasses()
{
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

    UpdateLightMatrices();
    SetLightConstants();
    lightSize += input->GetMouseDZ() * kWheelToLightSize;

    sceneRenderer.BeginFrame();
    viewCamera.GetInvViewProjMatrix();
    passSequence.RenderPasses();
    sceneRenderer.EndFrame();
    return 1;
}

void ShadowDemo::UpdateLightMatrices()
{
    for (uint32_t k = kCasterCount; k-- > 0;)
        lightCameras[k].ApplyCamera();
    for (uint32_t k = 0; k < kCasterCount; ++k)
        lightMatrices[k] = Multiply(*lightCameras[k].GetViewProjMatrix(), texBiasMatrix);
    lightMatrixSelf = Multiply(*lightCameras[kCasterCount - 1].GetViewProjMatrix(), selfBiasMatrix);
}

void ShadowDemo::SetLightConstants()
{
    // The list is read afresh each step: a material's alignment step runs
    // before the next material is looked up.
    for (uint32_t i = 0; i < MaterialCount(scene); ++i) {
        if (Effect* effect = MaterialEffect(scene, i)) {
            effect->SetMatrixArray("lightMatrix", lightMatrices, kCasterCount, "");
            effect->SetMatrix("lightMatrixSelf", &lightMatrixSelf, "");
            effect->SetVectorArray("casterRadius", casterRadius, kCasterCount, "");
            effect->SetFloat("lightSize", lightSize, "");
        }
        AlignLightToView(i);
    }
}

void ShadowDemo::AlignLightToView(uint32_t materialIndex)
{
    if (GetDirectInput()->IsMouseButtonDown(0) == 0)
        return;
    if (Effect* effect = MaterialEffect(scene, materialIndex)) {
        const float4 direction = LightDirectionParam(viewCamera);
        effect->SetVector("lht", &direction, "");
    }
    PlaceLightAtView(viewCamera, dirLightCamera, lightCameras, casterPositions);
}
