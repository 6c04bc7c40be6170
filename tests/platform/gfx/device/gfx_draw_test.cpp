#include <gtest/gtest.h>

#include <cstring>

#include "platform/gfx/device/device.h"
#include "platform/gfx/device/format.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "testing/gfx_adapter_settings.h"
#include "testing/gfx_call_record.h"
#include "testing/gfx_device_hooks.h"
#include "testing/gfx_failure_injection.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

using namespace gfx;
using platform::testing::GfxCallRecord;

namespace {

// A device with a mesh bound as the engine binds one: declaration with the
// instance matrix on stream 1, 4 vertices of 16 bytes on stream 0, 6 indices.
class GfxDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        device = test.device;
        const VertexElement elements[] = {{0, 0, kDeclFloat4, 0, kDeclUsagePosition, 0},
                                          {1, 0, kDeclFloat4, 0, kDeclUsageTexcoord, 1},
                                          {1, 16, kDeclFloat4, 0, kDeclUsageTexcoord, 2},
                                          {1, 32, kDeclFloat4, 0, kDeclUsageTexcoord, 3},
                                          {1, 48, kDeclFloat4, 0, kDeclUsageTexcoord, 4},
                                          kDeclEnd};
        ASSERT_EQ(kOk, device->CreateVertexDeclaration(elements, &declaration));
        ASSERT_EQ(kOk, device->CreateVertexBuffer(64, kUsageWriteOnly, 0, kPoolDefault, &vertices));
        ASSERT_EQ(kOk, device->CreateIndexBuffer(12, kUsageWriteOnly, kFormatIndex16, kPoolDefault, &indices));
        ASSERT_EQ(kOk, device->CreateVertexBuffer(64 * 3, kUsageDynamic, 0, kPoolDefault, &instances));
        binding.technique = "depth";
        binding.pass = 0;
        binding.parameters.push_back({"MatWorldViewProj", std::vector<float>(16, 0.5f)});
    }
    void TearDown() override
    {
        device->BindEffect(nullptr);
        device->SetStreamSource(0, nullptr, 0, 0);
        device->SetStreamSource(1, nullptr, 0, 0);
        device->SetIndices(nullptr);
        device->SetVertexDeclaration(nullptr);
        SafeRelease(declaration);
        SafeRelease(vertices);
        SafeRelease(indices);
        SafeRelease(instances);
    }
    void BindAll()
    {
        ASSERT_EQ(kOk, device->SetVertexDeclaration(declaration));
        ASSERT_EQ(kOk, device->SetStreamSource(0, vertices, 0, 16));
        ASSERT_EQ(kOk, device->SetIndices(indices));
        device->BindEffect(&binding);
        if (!inScene) {
            ASSERT_EQ(kOk, device->BeginScene());
        }
        inScene = true;
    }
    Result Draw(uint32_t primitives = 2, uint32_t vertexCount = 4)
    {
        return device->DrawIndexedPrimitive(kPrimitiveTriangleList, 0, 0, vertexCount, 0, primitives);
    }

    gfx_test::TestDevice test{32, 16};
    Device* device = nullptr;
    VertexDeclaration* declaration = nullptr;
    VertexBuffer* vertices = nullptr;
    IndexBuffer* indices = nullptr;
    VertexBuffer* instances = nullptr;
    EffectBinding binding;
    bool inScene = false;
};

} // namespace

TEST_F(GfxDraw, AValidDrawIsRecordedWithEverythingBoundAndTheEffectsValues)
{
    GfxCallRecord record;
    BindAll();
    device->SetRenderState(kRsZFunc, kCompareAlways);
    const Viewport tile{16, 0, 16, 16, 0.0f, 1.0f};
    device->SetViewport(&tile);
    ASSERT_EQ(kOk, Draw());
    binding.parameters[0].values.assign(16, 2.0f); // later uploads do not change what was drawn
    binding.pass = 1;
    ASSERT_EQ(kOk, Draw(1, 3));

    const auto draws = record.Draws();
    ASSERT_EQ(2u, draws.size());
    const RecordedDraw& first = draws[0];
    EXPECT_EQ(uint32_t{kPrimitiveTriangleList}, first.primitiveType);
    EXPECT_EQ(2u, first.primitiveCount);
    EXPECT_EQ(4u, first.numVertices);
    EXPECT_EQ(1u, first.instanceCount);
    EXPECT_EQ("depth", first.effect.technique);
    EXPECT_EQ(0u, first.effect.pass);
    ASSERT_EQ(1u, first.effect.parameters.size());
    EXPECT_EQ(0.5f, first.effect.parameters[0].values[15]);
    EXPECT_EQ(1u, draws[1].effect.pass);
    EXPECT_EQ(2.0f, draws[1].effect.parameters[0].values[0]);
    Surface* back = nullptr;
    device->GetRenderTarget(0, &back);
    EXPECT_EQ(back, first.renderTargets[0]);
    back->Release();
    EXPECT_EQ(16u, first.viewport.x);
    EXPECT_EQ(vertices, first.streams[0].buffer);
    EXPECT_EQ(16u, first.streams[0].stride);
    EXPECT_EQ(declaration, first.declaration);
    EXPECT_EQ(indices, first.indices);
    EXPECT_EQ(kCompareAlways, first.renderStates[kRsZFunc]);
    EXPECT_EQ(kColorWriteAll, first.renderStates[kRsColorWriteEnable]);
    // The declaration reads stream 1 although nothing is bound there: accepted, flagged.
    EXPECT_TRUE(first.unboundStreamRead);
    EXPECT_EQ(2u, record.Count("DrawIndexedPrimitive"));
}

TEST_F(GfxDraw, EachMissingPieceMakesTheDrawAnInvalidCall)
{
    GfxCallRecord record;
    BindAll();
    ASSERT_EQ(kOk, Draw());
    EXPECT_EQ(kInvalidCall, Draw(3));         // 9 indices from a buffer of 6
    EXPECT_EQ(kInvalidCall, Draw(2, 5));      // 5 vertices from a buffer of 4
    EXPECT_EQ(kInvalidCall, device->DrawIndexedPrimitive(kPrimitiveTriangleList, -1, 0, 4, 0, 2));
    EXPECT_EQ(kInvalidCall, device->DrawIndexedPrimitive(9, 0, 0, 4, 0, 2));
    EXPECT_EQ(kOk, device->DrawIndexedPrimitive(kPrimitiveLineList, 0, 0, 4, 0, 3));

    device->BindEffect(nullptr);
    EXPECT_EQ(kInvalidCall, Draw());
    device->BindEffect(&binding);
    device->SetIndices(nullptr);
    EXPECT_EQ(kInvalidCall, Draw());
    device->SetIndices(indices);
    device->SetStreamSource(0, nullptr, 0, 0);
    EXPECT_EQ(kInvalidCall, Draw());
    device->SetStreamSource(0, vertices, 0, 16);
    device->SetVertexDeclaration(nullptr);
    EXPECT_EQ(kInvalidCall, Draw());
    device->SetVertexDeclaration(declaration);
    device->EndScene();
    inScene = false;
    EXPECT_EQ(kInvalidCall, Draw());
    EXPECT_EQ(2u, record.Draws().size()); // only the valid ones

    platform::testing::GfxFailureInjection injection;
    BindAll();
    injection.Fail("DrawIndexedPrimitive", kOutOfVideoMemory);
    EXPECT_EQ(kOutOfVideoMemory, Draw());
    EXPECT_EQ(kOk, Draw());
}

TEST_F(GfxDraw, InstancedDrawsNeedTheirInstanceStream)
{
    GfxCallRecord record;
    BindAll();
    ASSERT_EQ(kOk, device->SetStreamSourceFreq(0, kStreamIndexedData | 3));
    ASSERT_EQ(kOk, device->SetStreamSourceFreq(1, kStreamInstanceData | 1));
    EXPECT_EQ(kInvalidCall, Draw()); // stream 1 has no buffer
    ASSERT_EQ(kOk, device->SetStreamSource(1, instances, 0, 64));
    ASSERT_EQ(kOk, Draw());
    ASSERT_EQ(kOk, device->SetStreamSource(1, instances, 64, 64));
    EXPECT_EQ(kInvalidCall, Draw()); // three instances from offset 64 pass the end
    ASSERT_EQ(kOk, device->SetStreamSourceFreq(0, kStreamIndexedData | 2));
    ASSERT_EQ(kOk, Draw());
    const auto draws = record.Draws();
    ASSERT_EQ(2u, draws.size());
    EXPECT_EQ(3u, draws[0].instanceCount);
    EXPECT_FALSE(draws[0].unboundStreamRead);
    EXPECT_EQ(kStreamInstanceData | 1, draws[0].streams[1].frequency);
    EXPECT_EQ(2u, draws[1].instanceCount);
    EXPECT_EQ(64u, draws[1].streams[1].offset);

    EXPECT_EQ(kInvalidCall, device->SetStreamSourceFreq(0, kStreamInstanceData | 1));
    EXPECT_EQ(kInvalidCall, device->SetStreamSourceFreq(1, kStreamInstanceData | kStreamIndexedData | 1));
    EXPECT_EQ(kInvalidCall, device->SetStreamSourceFreq(1, 0));
    EXPECT_EQ(kInvalidCall, device->SetStreamSource(16, instances, 0, 64));
    EXPECT_EQ(kOk, device->SetStreamSourceFreq(0, 1));
    EXPECT_EQ(kOk, device->SetStreamSourceFreq(1, 1));
    uint32_t frequency = 0;
    device->GetStreamSourceFreq(1, &frequency);
    EXPECT_EQ(1u, frequency);
}

TEST_F(GfxDraw, BoundObjectsAreHeldByTheDevice)
{
    BindAll();
    EXPECT_EQ(2u, vertices->RefCount());
    EXPECT_EQ(2u, indices->RefCount());
    EXPECT_EQ(2u, declaration->RefCount());
    VertexBuffer* bound = nullptr;
    uint32_t offset = 1, stride = 0;
    ASSERT_EQ(kOk, device->GetStreamSource(0, &bound, &offset, &stride));
    EXPECT_EQ(vertices, bound);
    EXPECT_EQ(0u, offset);
    EXPECT_EQ(16u, stride);
    EXPECT_EQ(3u, vertices->RefCount());
    bound->Release();
    device->SetStreamSource(0, nullptr, 0, 0);
    EXPECT_EQ(1u, vertices->RefCount());
}

TEST(GfxStretch, CopiesRealTexelsIntoTheDestinationRectangle)
{
    gfx_test::TestDevice test(4, 4);
    Device* device = test.device;
    Surface* back = nullptr;
    device->GetRenderTarget(0, &back);
    auto source = platform::testing::SurfaceBytes(*back);
    for (uint32_t i = 0; i < 16; ++i) {
        const uint32_t texel = 0xFF000000u | i;
        std::memcpy(source.data() + i * 4, &texel, 4);
    }
    Surface* target = nullptr;
    ASSERT_EQ(kOk, device->CreateRenderTarget(8, 8, kFormatA8R8G8B8, 0, 0, false, &target));
    const auto texel = [&](uint32_t x, uint32_t y) {
        uint32_t value = 0;
        std::memcpy(&value, platform::testing::SurfaceBytes(*target).data() + (y * 8 + x) * 4, 4);
        return value;
    };
    const Rect same{2, 2, 6, 6};
    ASSERT_EQ(kOk, device->StretchRect(back, nullptr, target, &same, kFilterNone));
    EXPECT_EQ(0xFF000000u, texel(2, 2));
    EXPECT_EQ(0xFF000005u, texel(3, 3));
    EXPECT_EQ(0xFF00000Fu, texel(5, 5));
    EXPECT_EQ(0u, texel(1, 1));
    EXPECT_EQ(0u, texel(6, 6));

    ASSERT_EQ(kOk, device->StretchRect(back, nullptr, target, nullptr, kFilterNone)); // doubled, nearest texel
    EXPECT_EQ(0xFF000000u, texel(1, 1));
    EXPECT_EQ(0xFF000005u, texel(2, 2));
    EXPECT_EQ(0xFF00000Fu, texel(7, 7));

    const Rect row{0, 0, 2, 1};
    ASSERT_EQ(kOk, device->StretchRect(back, &row, target, &same, kFilterLinear)); // texels 0 and 1 blended
    EXPECT_EQ(0xFF000000u, texel(2, 2));
    EXPECT_EQ(0xFF000001u, texel(5, 2));
    const uint32_t between = texel(3, 2) & 0xFF;
    EXPECT_TRUE(between == 0 || between == 1);

    const Rect outside{4, 4, 9, 9};
    EXPECT_EQ(kInvalidCall, device->StretchRect(back, nullptr, target, &outside, kFilterNone));
    EXPECT_EQ(kInvalidCall, device->StretchRect(back, nullptr, back, nullptr, kFilterNone));
    Surface* depth = nullptr;
    ASSERT_EQ(kOk, device->CreateDepthStencilSurface(4, 4, kFormatD24S8, 0, 0, true, &depth));
    EXPECT_EQ(kInvalidCall, device->StretchRect(depth, nullptr, target, nullptr, kFilterNone));
    Surface* floats = nullptr;
    ASSERT_EQ(kOk, device->CreateRenderTarget(4, 4, kFormatR32F, 0, 0, false, &floats));
    EXPECT_EQ(kInvalidCall, device->StretchRect(back, nullptr, floats, nullptr, kFilterNone)); // no conversion

    // From a texture's level only when the card can.
    Texture* texture = nullptr;
    ASSERT_EQ(kOk, device->CreateTexture(4, 4, 1, kUsageRenderTarget, kFormatA8R8G8B8, kPoolDefault, &texture));
    Surface* level = nullptr;
    texture->GetSurfaceLevel(0, &level);
    EXPECT_EQ(kOk, device->StretchRect(level, nullptr, target, nullptr, kFilterLinear));
    EXPECT_EQ(kOk, device->StretchRect(back, nullptr, level, nullptr, kFilterNone));
    {
        platform::testing::GfxAdapterSettings adapter;
        adapter.ChangeCaps([](Caps& caps) { caps.devCaps2 = 0; });
        EXPECT_EQ(kInvalidCall, device->StretchRect(level, nullptr, target, nullptr, kFilterLinear));
    }
    level->Release();
    for (RefCounted* object : std::initializer_list<RefCounted*>{texture, floats, depth, target, back}) object->Release();
}

TEST_F(GfxDraw, AnEffectPassBindsItselfAndItsUploadedValuesReachTheRecord)
{
    const std::string source =
        "float4x4 MatWorldViewProj;\n"
        "float lightSize = 0.25;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, MatWorldViewProj); }\n"
        "float4 PS() : COLOR { return lightSize; }\n"
        "technique depth { pass P0 { VertexShader = compile vs_3_0 VS(); PixelShader = compile ps_3_0 PS(); } }\n";
    std::unique_ptr<RuntimeEffect> effect;
    std::string errors;
    ASSERT_EQ(kEffectOk, RuntimeEffect::Create(source.data(), source.size(), {}, effect, errors)) << errors;
    effect->SetBindHook([this](const EffectBinding* bound) { device->BindEffect(bound); });
    BindAll();
    device->BindEffect(nullptr);
    GfxCallRecord record;
    EXPECT_EQ(kInvalidCall, Draw()); // no pass begun yet
    ASSERT_EQ(kEffectOk, effect->SetTechnique("depth"));
    uint32_t passes = 0;
    ASSERT_EQ(kEffectOk, effect->Begin(passes));
    ASSERT_EQ(kEffectOk, effect->BeginPass(0));
    ASSERT_EQ(kOk, Draw());
    ASSERT_EQ(kEffectOk, effect->SetFloat("lightSize", 0.75f));
    ASSERT_EQ(kEffectOk, effect->CommitChanges());
    ASSERT_EQ(kOk, Draw());
    effect->EndPass();
    effect->End();
    EXPECT_EQ(kInvalidCall, Draw());

    const auto draws = record.Draws();
    ASSERT_EQ(2u, draws.size());
    const auto lightSize = [](const RecordedDraw& draw) {
        for (const UploadedParameter& parameter : draw.effect.parameters) {
            if (parameter.name == "lightSize") return parameter.values.at(0);
        }
        return -1.0f;
    };
    EXPECT_EQ("depth", draws[0].effect.technique);
    EXPECT_EQ(0.25f, lightSize(draws[0]));
    EXPECT_EQ(0.75f, lightSize(draws[1]));
}
