#pragma once
// What drawing tests share: a started render device with a scene renderer and
// an applied camera; materials whose effects are made from source text in
// memory; quad meshes whose draw records are filled the way the traversal
// fills them; and readers of the instance data a batch wrote into the pool.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/device/buffer.h"
#include "platform/gfx/device/recorded_draw.h"
#include "platform/gfx/device/resource_flags.h"
#include "platform/gfx/fx/runtime/runtime_effect.h"
#include "render/effects/effect.h"
#include "render/frame/draw_record.h"
#include "render/frame/render_queue.h"
#include "render/frame/renderer_template_scene.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "render/resources/material.h"
#include "render/resources/quad.h"
#include "tests/render/device_fixture.h"

namespace draw_test {

inline constexpr const char* kSettings =
    "[Graphics]\nwidth=320\nheight=200\nvsync=1\nallowInstancing=1\ninstancingBufferSize=8\n"
    "HDRadaptationIncrements=1.0\n";

// Parameters the drawing sets by name, a diffuse and a depth technique, and
// one with three passes.
inline constexpr const char* kLitEffect = R"(
float4x4 MatWorldViewProj;
float4x4 MatWorld;
float4 PosCam;
float4 LightColor;
float4 LightDir;
float4 AmbientColor;
float4 FogColor;
float fogMult;
float exposure;
float4 tint;
technique diff { pass p0 { } }
technique depth { pass p0 { } }
technique three { pass p0 { } pass p1 { } pass p2 { } }
)";

// A material with a unique block whose effect is made from `source`.
struct TestMaterial {
    explicit TestMaterial(gfx::Device* device, const char* source = kLitEffect, const std::string& name = "lit.fx")
    {
        MakeUniqueMaterial(material);
        Effect* effect = material.GetEffect();
        effect->CreateUnique();
        effect->GetPayload()->sourceName.Assign(name);
        int32_t result = 0;
        made = CreateEffectFromMemory(source, std::strlen(source), name, nullptr, device,
                                      effect->GetPayload()->current, result);
        effect->SetAutoMatrix("MatWorldViewProj", kAutoWorldViewProj);
        effect->SetAutoMatrix("MatWorld", kAutoWorld);
    }
    Effect* GetEffect() { return material.GetEffect(); }

    MaterialResource material;
    bool made = false;
};

// A mesh node holding a one-subset quad drawn with `material`; its draw record
// is filled by one gathering, as the traversal fills it.
struct QuadNode {
    explicit QuadNode(TestMaterial& material, float size = 2.0f)
    {
        CreateQuadOfSize(node.mesh, size, size, 1, 0);
        node.mesh.SetMeshMaterial(material.material);
        SceneNodeRenderer filler;
        RenderLayer layer;
        layer.nodes.push_back(&node);
        filler.layers.push_back(&layer);
        filler.UpdateScene();
    }
    DrawRecord& Record() { return node.mesh.GetPayload()->currentSubsets->items[0].drawRecord; }

    MeshNode node;
};

// A started device, a scene renderer and a camera applied, with standard
// output and error boxes captured.
class DrawRig : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(run.Start());
        renderer = std::make_unique<SceneRenderer>();
        camera.SetPosition({0.0f, 0.0f, -10.0f, 1.0f});
        camera.ApplyCamera();
        ASSERT_EQ(run.Device()->BeginScene(), gfx::kOk);
    }
    void TearDown() override
    {
        run.Device()->EndScene();
        renderer.reset();
    }

    render_test::DeviceRun run{kSettings};
    std::unique_ptr<SceneRenderer> renderer;
    CameraNode camera;
};

// The 16 floats of each instance a draw read from its instance stream.
inline std::vector<float4x4> InstancesOf(const gfx::RecordedDraw& draw)
{
    std::vector<float4x4> out;
    auto* buffer = const_cast<gfx::VertexBuffer*>(draw.streams[1].buffer);
    if (!buffer)
        return out;
    void* memory = nullptr;
    if (buffer->Lock(0, 0, &memory, gfx::kLockReadOnly) != gfx::kOk)
        return out;
    for (uint32_t i = 0; i < draw.instanceCount; ++i) {
        float4x4 m;
        std::memcpy(m.m, static_cast<const uint8_t*>(memory) + draw.streams[1].offset + 64 * i, 64);
        out.push_back(m);
    }
    buffer->Unlock();
    return out;
}

// The value a draw's effect binding held for a parameter (empty when absent).
inline std::vector<float> Uploaded(const gfx::RecordedDraw& draw, const std::string& name)
{
    for (const auto& parameter : draw.effect.parameters)
        if (parameter.name == name)
            return parameter.values;
    return {};
}

inline float4x4 Translation(float x, float y, float z)
{
    float4x4 m;
    m.SetIdentity();
    m(3, 0) = x;
    m(3, 1) = y;
    m(3, 2) = z;
    return m;
}

inline std::vector<float> Floats(const float4x4& m) { return std::vector<float>(m.m, m.m + 16); }

} // namespace draw_test
