// GPU particle emitters on the recording device, at 1,000 and 100,000
// particles: the one-time set-up (start state, instance records, particle
// nodes), and one frame (each emitter's per-frame parameters, a pass drawing
// each emitter's particles as one instanced draw, the update passes drawing
// the state rows and copying them back). An emitter's state row is one
// texture row, at most the device's widest texture (8192 texels), so 100,000
// particles are 25 emitters of 4,000. Reported: time per particle.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/platform.h"
#include "kernel/settings.h"
#include "kernel/win_platform.h"
#include "render/device/d3d_context.h"
#include "render/device/render_device.h"
#include "render/frame/render_pass.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/scene_renderer.h"
#include "render/nodes/camera_node.h"
#include "render/resources/quad.h"
#include "render/world/curve.h"
#include "render/world/particle_emitter.h"
#include "render/world/particle_group.h"
#include "scene/dynamic.h"
#include "testing/message_box_script.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDrawEffect = R"(
float4x4 MatWorldViewProj;
float4x4 MatWorld;
float4x4 MatView;
float4 PosCam;
texture texInput;
texture posMap;
texture posRndMap;
texture rotMap;
float numParticles;
float4 sampleSize;
float numSamples;
float lifetime;
float4 WindVec;
technique diff { pass p0 { } }
)";

constexpr const char* kUpdateEffect = R"(
float4x4 MatWorldViewProj;
texture texInput;
float4 emitterPos;
float4 randomness;
float delta;
float rate;
float lifetime;
technique post { pass p0 { } }
)";

// A device as the start-up makes it, the effects in a mounted folder with the
// compiler, a scene renderer, a camera, a "diff" pass into the back buffer and
// the per-frame list; output kept quiet.
class Stage {
public:
    Stage()
    {
        folder_ = fs::temp_directory_path() / ("zandrel_bench_particles_" + std::to_string(::getpid()));
        fs::create_directories(folder_ / "compiledshaders");
        fs::create_directories(folder_ / "tools");
        fs::create_symlink(fs::path(ZANDREL_RUN_DIR) / "tools/fxc.exe", folder_ / "tools/fxc.exe");
        saved_ = fs::current_path();
        fs::current_path(folder_);
        std::ofstream("settings.ini") << "[Graphics]\nwidth=320\nheight=200\nallowInstancing=1\n"
                                         "instancingBufferSize=1024\n";
        std::ofstream("particle.fx") << kDrawEffect;
        std::ofstream("particleUpdater.fx") << kUpdateEffect;
        savedOut_ = std::cout.rdbuf(quiet_.rdbuf());
        platform_ = std::make_unique<WinPlatform>();
        SetPlatform(platform_.get());
        GetFileSystem()->Mount(folder_.string(), "");
        GetD3DContext()->CreateD3D();
        GraphicsSettings graphics;
        graphics.width = 320;
        graphics.height = 200;
        GetRenderer()->SetGraphicsSettings(graphics);
        GetD3DContext()->CreateDevice();

        renderer = std::make_unique<SceneRenderer>();
        camera.SetPosition({0.0f, 0.0f, -50.0f, 1.0f});
        camera.ApplyCamera();
        pass.name = "diff";
        pass.target = &GetRenderer()->Targets().BackBufferTarget();
        // No clear: the recording device's clear fills every texel on the CPU.
        pass.keepContents = 1;
        pass.alwaysDraw = 1;
        passes.passes.push_back(&pass);
        group.passListOwner = &passes;
        const float4 values[] = {{0, 0, 0, 0}, {1, 2, 3, 4}};
        const float times[] = {0.0f, 1.0f};
        BuildCurve(curve, values, times, curve_mode::kLinear);
    }
    ~Stage()
    {
        passes.passes.clear();
        renderer.reset();
        curve.ReleaseResource();
        DestroyRenderThread();
        DestroyIOThread();
        DestroyD3DContext();
        DestroyFileSystem();
        ReleaseSettings();
        SetPlatform(nullptr);
        platform_.reset();
        std::cout.rdbuf(savedOut_);
        fs::current_path(saved_);
        fs::remove_all(folder_);
    }

    std::unique_ptr<ParticleEmitter> Emitter(uint32_t count)
    {
        auto emitter = std::make_unique<ParticleEmitter>();
        emitter->particles.CreateUnique();
        LoadParticleEffect(*emitter);
        ParticleData* data = emitter->Data();
        CreateQuadOfSize(data->quad.mesh, 1.0f, 1.0f, 1, 0);
        data->particleCount = count;
        data->rate = 2.0f;
        BakeParticleCurves(*emitter, &curve, &curve, &curve);
        SetupParticleEmitter(*emitter);
        return emitter;
    }

    void Frame()
    {
        dynamics.UpdateDynamics();
        renderer->BeginFrame();
        passes.RenderPasses();
        renderer->EndFrame();
    }

    platform::testing::ScriptedMessageBoxes boxes;
    DynamicsList dynamics;
    std::unique_ptr<SceneRenderer> renderer;
    CameraNode camera;
    RenderPass pass;
    RenderPassList passes;
    ParticleGroup group;
    CurveResource curve;

private:
    fs::path folder_;
    fs::path saved_;
    std::ostringstream quiet_;
    std::streambuf* savedOut_ = nullptr;
    std::unique_ptr<WinPlatform> platform_;
};

benchmark::Counter PerParticle(uint32_t count)
{
    return benchmark::Counter(static_cast<double>(count),
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ParticleSetUp(benchmark::State& state)
{
    const auto count = static_cast<uint32_t>(state.range(0));
    const auto emitters = static_cast<uint32_t>(state.range(1));
    Stage stage;
    stage.Emitter(1); // the effects compiled and cached before timing
    for (auto _ : state) {
        for (uint32_t e = 0; e < emitters; ++e) {
            auto emitter = stage.Emitter(count);
            benchmark::DoNotOptimize(emitter.get());
        }
    }
    if (!stage.boxes.Shown().empty())
        state.SkipWithError(stage.boxes.Shown()[0].text.c_str());
    state.counters["time_per_particle"] = PerParticle(count * emitters);
}

void BM_ParticleFrame(benchmark::State& state)
{
    const auto count = static_cast<uint32_t>(state.range(0));
    const auto emitters = static_cast<uint32_t>(state.range(1));
    Stage stage;
    std::vector<std::unique_ptr<ParticleEmitter>> made;
    float4 wind{1, 0, 0, 0};
    for (uint32_t e = 0; e < emitters; ++e) {
        made.push_back(stage.Emitter(count));
        made.back()->wind = &wind;
        made.back()->node.SetPosition({static_cast<float>(e), 0.0f, 0.0f, 1.0f});
        AddEmitter(stage.group, made.back().get());
    }
    RefreshEmitterPasses(stage.group);
    QueueEmitters(stage.group, stage.renderer.get(), 0);
    stage.Frame(); // the first frame makes the instancing pool
    for (auto _ : state)
        stage.Frame();
    if (!stage.boxes.Shown().empty())
        state.SkipWithError(stage.boxes.Shown()[0].text.c_str());
    state.counters["draws_per_frame"] = GetRenderer()->Frame().DrawCalls();
    state.counters["time_per_particle"] = PerParticle(count * emitters);
    for (auto& emitter : made)
        RemoveEmitter(stage.group, emitter.get());
}

} // namespace

// {particles per emitter, emitters}
BENCHMARK(BM_ParticleSetUp)->Args({1000, 1})->Args({4000, 25})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParticleFrame)->Args({1000, 1})->Args({4000, 25})->Unit(benchmark::kMicrosecond);
