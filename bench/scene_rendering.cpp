// One frame of the scene renderer over 1, 100, 1,000 and 10,000 visible mesh
// nodes, on the recording device: the frame begun, one pass whose scene
// template walks the nodes, the queue drawn, the frame presented. "Instanced"
// nodes share one mesh, so adjacent instances batch into one draw; "distinct"
// nodes each have a mesh of their own, one draw call each. Reported: the time
// per node and the heap allocations per frame after the first (counted by the
// replaced global operator new of bench/support; the aim is none).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

#include "bench/support/heap_allocations.h"
#include "kernel/engine_threads.h"
#include "kernel/settings.h"
#include "render/device/d3d_context.h"
#include "render/device/render_device.h"
#include "render/effects/effect.h"
#include "render/frame/render_pass.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/renderer_template_scene.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "render/resources/material.h"
#include "render/resources/quad.h"
#include "testing/message_box_script.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kEffect = R"(
float4x4 MatWorldViewProj;
float4x4 MatWorld;
float4 PosCam;
float4 LightColor;
float4 LightDir;
technique diff { pass p0 { } }
)";

// A device as the start-up makes it, a scene renderer, a camera, a material
// and `count` nodes in one layer of a pass; output kept quiet.
class Stage {
public:
    Stage(uint32_t count, bool instanced)
    {
        folder_ = fs::temp_directory_path() / ("zandrel_bench_scene_" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        saved_ = fs::current_path();
        fs::current_path(folder_);
        std::ofstream("settings.ini") << "[Graphics]\nwidth=320\nheight=200\nallowInstancing=1\n"
                                         "instancingBufferSize=16384\n";
        savedOut_ = std::cout.rdbuf(quiet_.rdbuf());
        GetD3DContext()->CreateD3D();
        RenderDevice* device = GetRenderer();
        GraphicsSettings graphics;
        graphics.width = 320;
        graphics.height = 200;
        device->SetGraphicsSettings(graphics);
        GetD3DContext()->CreateDevice();

        renderer = std::make_unique<SceneRenderer>();
        camera.SetPosition({0.0f, 0.0f, -50.0f, 1.0f});
        camera.ApplyCamera();
        MakeUniqueMaterial(material);
        Effect* effect = material.GetEffect();
        effect->CreateUnique();
        int32_t result = 0;
        CreateEffectFromMemory(kEffect, std::strlen(kEffect), "bench.fx", nullptr, device->Device(),
                               effect->GetPayload()->current, result);
        effect->SetAutoMatrix("MatWorldViewProj", kAutoWorldViewProj);
        effect->SetAutoMatrix("MatWorld", kAutoWorld);

        nodes.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            nodes.push_back(std::make_unique<MeshNode>());
            MeshNode& node = *nodes.back();
            if (instanced && i > 0) {
                node.mesh.AttachById(nodes[0]->mesh.GetId());
            } else {
                CreateQuadOfSize(node.mesh, 1.0f, 1.0f, 1, 0);
                node.mesh.SetMeshMaterial(material);
            }
            node.SetPosition({static_cast<float>(i % 100), static_cast<float>(i / 100), 0.0f, 1.0f});
            layer.nodes.push_back(&node);
        }
        // Built once the settings exist: its queue takes instancingBufferSize entries.
        scene = std::make_unique<SceneNodeRenderer>();
        scene->layers.push_back(&layer);
        renderer->queues.push_back(&scene->instanceList);
        pass.name = "diff";
        pass.target = &device->Targets().BackBufferTarget();
        // No clear: the recording device's clear fills every texel on the CPU
        // and would stand for most of a small frame.
        pass.keepContents = 1;
        pass.AddRendererTemplate(scene.get());
        passes.passes.push_back(&pass);
    }
    ~Stage()
    {
        passes.passes.clear();
        scene.reset();
        nodes.clear();
        material.ReleaseResource();
        renderer.reset();
        DestroyRenderThread();
        DestroyD3DContext();
        ReleaseSettings();
        std::cout.rdbuf(savedOut_);
        fs::current_path(saved_);
        fs::remove_all(folder_);
    }

    void Frame()
    {
        renderer->BeginFrame();
        passes.RenderPasses();
        renderer->EndFrame();
    }

    platform::testing::ScriptedMessageBoxes boxes;
    std::unique_ptr<SceneRenderer> renderer;
    CameraNode camera;
    MaterialResource material;
    std::vector<std::unique_ptr<MeshNode>> nodes;
    RenderLayer layer;
    std::unique_ptr<SceneNodeRenderer> scene;
    RenderPass pass;
    RenderPassList passes;

private:
    fs::path folder_;
    fs::path saved_;
    std::ostringstream quiet_;
    std::streambuf* savedOut_ = nullptr;
};

void RunFrames(benchmark::State& state, bool instanced)
{
    const auto count = static_cast<uint32_t>(state.range(0));
    Stage stage(count, instanced);
    stage.Frame(); // the first frame makes the instancing pool and the groups
    const uint32_t drawsPerFrame = GetRenderer()->Frame().DrawCalls();
    const uint64_t before = HeapAllocations();
    for (auto _ : state)
        stage.Frame();
    const uint64_t allocs = HeapAllocations() - before;
    state.counters["allocs_per_frame"] = static_cast<double>(allocs) / static_cast<double>(state.iterations());
    state.counters["draws_per_frame"] = drawsPerFrame;
    state.counters["time_per_node"] =
        benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}

void BM_FrameInstanced(benchmark::State& state)
{
    RunFrames(state, true);
}

void BM_FrameDistinct(benchmark::State& state)
{
    RunFrames(state, false);
}

} // namespace

BENCHMARK(BM_FrameInstanced)->Arg(1)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FrameDistinct)->Arg(1)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
