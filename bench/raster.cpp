// Frames per second of the rasterizing device at 1280 x 720 (on llvmpipe where
// there is no GPU): a fixed scene of 200 lit, textured, depth-tested spheres of
// about 2,000 triangles each, against a bare loop of clear and present on the
// same kind of device; and the same scene drawn by shader model 2 stages,
// without and with the fixed-function fog after them. Each measured run draws
// 10 frames and then waits for the last one to be finished, so the GPU's work
// is counted, not only the calls.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/device/direct3d.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "testing/gfx_device_hooks.h"

namespace {

constexpr uint32_t kWidth = 1280;
constexpr uint32_t kHeight = 720;
constexpr int kFramesPerRun = 10;

const char* kSceneEffect = R"(
float4x4 WorldViewProj;
float4x4 World;
float3 LightDirection = float3(0.3, 0.8, -0.5);
float4 Ambient = float4(0.2, 0.2, 0.25, 1);
texture Albedo;
sampler2D AlbedoSampler = sampler_state { Texture = <Albedo>; MinFilter = Linear; MagFilter = Linear; MipFilter = Linear; };
struct VOut { float4 pos : POSITION; float3 normal : TEXCOORD1; float2 uv : TEXCOORD0; };
VOut VS(float3 pos : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(float4(pos, 1), WorldViewProj);
    o.normal = mul(float4(normal, 0), World).xyz;
    o.uv = uv;
    return o;
}
float4 PS(float3 normal : TEXCOORD1, float2 uv : TEXCOORD0) : COLOR
{
    float3 n = normalize(normal);
    float diffuse = saturate(dot(n, normalize(LightDirection)));
    float3 h = normalize(normalize(LightDirection) + float3(0, 0, -1));
    float specular = pow(saturate(dot(n, h)), 32);
    return tex2D(AlbedoSampler, uv) * (Ambient + diffuse) + specular;
}
technique lit { pass p { ZEnable = true; ZWriteEnable = true; CullMode = CCW;
    VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }
technique litModel2 { pass p { ZEnable = true; ZWriteEnable = true; CullMode = CCW; FogEnable = false;
    VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
technique litModel2Fog { pass p { ZEnable = true; ZWriteEnable = true; CullMode = CCW;
    FogEnable = true; FogColor = 0xFF808890; FogTableMode = Linear; FogStart = 0.9; FogEnd = 1.0;
    VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
)";

struct Matrix {
    float m[16] = {};
};

Matrix Multiply(const Matrix& a, const Matrix& b)
{
    Matrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k)
                out.m[r * 4 + c] += a.m[r * 4 + k] * b.m[k * 4 + c];
    return out;
}

// Row vectors times matrices, as the effects multiply: a left-handed perspective.
Matrix Perspective(float fovY, float aspect, float zn, float zf)
{
    const float y = 1.0f / std::tan(fovY / 2), x = y / aspect;
    Matrix p;
    p.m[0] = x;
    p.m[5] = y;
    p.m[10] = zf / (zf - zn);
    p.m[11] = 1;
    p.m[14] = -zn * zf / (zf - zn);
    return p;
}

Matrix Translation(float x, float y, float z)
{
    Matrix t;
    t.m[0] = t.m[5] = t.m[10] = t.m[15] = 1;
    t.m[12] = x;
    t.m[13] = y;
    t.m[14] = z;
    return t;
}

class Scene {
public:
    explicit Scene(bool content, const char* technique = "lit")
    {
        gfx::SetDefaultGfxMode(gfx::GfxMode::Raster);
        d3d_ = gfx::CreateDirect3D(gfx::kSdkVersion);
        gfx::PresentParameters parameters;
        parameters.backBufferWidth = kWidth;
        parameters.backBufferHeight = kHeight;
        parameters.backBufferFormat = gfx::kFormatA8R8G8B8;
        parameters.backBufferCount = 1;
        parameters.swapEffect = gfx::kSwapDiscard;
        parameters.windowed = true;
        parameters.presentationInterval = gfx::kPresentIntervalImmediate; // frames as fast as they are drawn
        parameters.enableAutoDepthStencil = true;
        parameters.autoDepthStencilFormat = gfx::kFormatD24S8;
        d3d_->CreateDevice(0, gfx::kDeviceHal, nullptr, gfx::kCreateHardwareVertexProcessing, &parameters, &device_);
        gfx::SetDefaultGfxMode(gfx::GfxMode::Record);
        if (!device_ || !device_->Rasterizes() || !content)
            return;
        std::string errors;
        gfx::RuntimeEffect::Create(kSceneEffect, std::strlen(kSceneEffect), {}, effect_, errors);
        if (!effect_)
            return;
        effect_->SetDevice(device_);
        if (effect_->SetTechnique(technique) != gfx::kEffectOk) {
            effect_.reset();
            return;
        }
        MakeSphere(32, 32);
        device_->CreateTexture(256, 256, 0, 0, gfx::kFormatA8R8G8B8, gfx::kPoolManaged, &texture_);
        std::span<uint8_t> texels = platform::testing::TextureBytes(*texture_);
        for (size_t i = 0; i < texels.size(); i += 4) {
            const size_t t = i / 4;
            const uint8_t v = ((t % 256) / 32 + (t / 256 % 256) / 32) % 2 ? 230 : 90;
            texels[i] = v, texels[i + 1] = uint8_t(v / 2 + 40), texels[i + 2] = 200, texels[i + 3] = 255;
        }
        effect_->SetTexture("Albedo", texture_);
    }
    ~Scene()
    {
        effect_.reset();
        gfx::SafeRelease(texture_);
        gfx::SafeRelease(vertices_);
        gfx::SafeRelease(indices_);
        gfx::SafeRelease(declaration_);
        gfx::SafeRelease(device_);
        gfx::SafeRelease(d3d_);
    }
    bool Ready(bool content) const { return device_ && device_->Rasterizes() && (!content || effect_); }

    void Frame(bool content)
    {
        device_->Clear(0, nullptr, gfx::kClearTarget | gfx::kClearZBuffer, 0xFF203040u, 1.0f, 0);
        device_->BeginScene();
        if (content)
            DrawSpheres();
        device_->EndScene();
        device_->Present();
    }
    // Waits for the GPU: the back buffer's bytes come back.
    void Finish()
    {
        gfx::Surface* back = nullptr;
        device_->GetRenderTarget(0, &back);
        benchmark::DoNotOptimize(platform::testing::SurfaceBytes(*back).data());
        back->Release();
    }

private:
    void MakeSphere(int rings, int segments)
    {
        std::vector<float> v;
        for (int r = 0; r <= rings; ++r) {
            const float theta = 3.14159265f * float(r) / float(rings);
            for (int s = 0; s <= segments; ++s) {
                const float phi = 2 * 3.14159265f * float(s) / float(segments);
                const float x = std::sin(theta) * std::cos(phi), y = std::cos(theta), z = std::sin(theta) * std::sin(phi);
                v.insert(v.end(), {x, y, z, x, y, z, float(s) / float(segments), float(r) / float(rings)});
            }
        }
        std::vector<uint16_t> i;
        for (int r = 0; r < rings; ++r)
            for (int s = 0; s < segments; ++s) {
                const auto a = uint16_t(r * (segments + 1) + s), b = uint16_t(a + segments + 1);
                i.insert(i.end(), {a, uint16_t(a + 1), b, uint16_t(a + 1), uint16_t(b + 1), b});
            }
        vertexCount_ = uint32_t(v.size() / 8);
        triangles_ = uint32_t(i.size() / 3);
        device_->CreateVertexBuffer(uint32_t(v.size() * 4), 0, 0, gfx::kPoolDefault, &vertices_);
        device_->CreateIndexBuffer(uint32_t(i.size() * 2), 0, gfx::kFormatIndex16, gfx::kPoolDefault, &indices_);
        std::memcpy(platform::testing::BufferBytes(*vertices_).data(), v.data(), v.size() * 4);
        std::memcpy(platform::testing::BufferBytes(*indices_).data(), i.data(), i.size() * 2);
        const gfx::VertexElement elements[] = {{0, 0, gfx::kDeclFloat3, 0, gfx::kDeclUsagePosition, 0},
                                               {0, 12, gfx::kDeclFloat3, 0, gfx::kDeclUsageNormal, 0},
                                               {0, 24, gfx::kDeclFloat2, 0, gfx::kDeclUsageTexcoord, 0},
                                               gfx::kDeclEnd};
        device_->CreateVertexDeclaration(elements, &declaration_);
    }

    void DrawSpheres()
    {
        device_->SetVertexDeclaration(declaration_);
        device_->SetStreamSource(0, vertices_, 0, 32);
        device_->SetIndices(indices_);
        const Matrix projection = Perspective(1.0f, float(kWidth) / kHeight, 1.0f, 100.0f);
        uint32_t passes = 0;
        effect_->Begin(passes);
        effect_->BeginPass(0);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) {
                const Matrix world = Translation(float(x) * 2.2f - 20.9f, float(y) * 2.2f - 9.9f, 18.0f);
                effect_->SetMatrix("World", world.m);
                effect_->SetMatrix("WorldViewProj", Multiply(world, projection).m);
                effect_->CommitChanges();
                device_->DrawIndexedPrimitive(gfx::kPrimitiveTriangleList, 0, 0, vertexCount_, 0, triangles_);
            }
        effect_->EndPass();
        effect_->End();
    }

    gfx::Direct3D* d3d_ = nullptr;
    gfx::Device* device_ = nullptr;
    std::unique_ptr<gfx::RuntimeEffect> effect_;
    gfx::Texture* texture_ = nullptr;
    gfx::VertexBuffer* vertices_ = nullptr;
    gfx::IndexBuffer* indices_ = nullptr;
    gfx::VertexDeclaration* declaration_ = nullptr;
    uint32_t vertexCount_ = 0;
    uint32_t triangles_ = 0;
};

void Run(benchmark::State& state, bool content, const char* technique = "lit")
{
    Scene scene(content, technique);
    if (!scene.Ready(content)) {
        state.SkipWithError("no OpenGL 4.5 context (or the scene effect does not compile)");
        return;
    }
    scene.Frame(content); // programs linked and memory uploaded before measuring
    scene.Finish();
    for (auto _ : state) {
        for (int f = 0; f < kFramesPerRun; ++f)
            scene.Frame(content);
        scene.Finish();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()) * kFramesPerRun, benchmark::Counter::kIsRate);
}

void BM_SceneFrames(benchmark::State& state) { Run(state, true); }
void BM_ClearAndPresentFrames(benchmark::State& state) { Run(state, false); }
void BM_SceneFramesModel2(benchmark::State& state) { Run(state, true, "litModel2"); }
void BM_SceneFramesModel2Fog(benchmark::State& state) { Run(state, true, "litModel2Fog"); }

BENCHMARK(BM_SceneFrames)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SceneFramesModel2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SceneFramesModel2Fog)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ClearAndPresentFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
