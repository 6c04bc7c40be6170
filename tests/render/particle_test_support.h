#pragma once
// A folder and device ready for particle emitters: the effect fixtures
// ("particle.fx", "particleUpdater.fx") with the compiler, the fog-cloud
// texture, a per-frame list, error boxes answered "Continue Anyway", three
// curves, and emitters made the way the remote scene makes them.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "platform/gfx/device/format.h"
#include "render/effects/effect.h"
#include "render/resources/mesh.h"
#include "render/resources/quad.h"
#include "render/world/curve.h"
#include "render/world/half_float.h"
#include "render/world/particle_emitter.h"
#include "scene/dynamic.h"
#include "testing/dds_writer.h"
#include "testing/gfx_device_hooks.h"
#include "testing/message_box_script.h"
#include "tests/render/effect_test_support.h"
#include "tests/render/texture_texels.h"

namespace particle_test {

class ParticleFolder {
public:
    ParticleFolder()
    {
        platform::testing::DdsSpec spec;
        spec.format = gfx::kFormatA8R8G8B8;
        spec.width = 4;
        spec.height = 4;
        const std::vector<uint8_t> dds = platform::testing::WriteDds(spec);
        std::filesystem::create_directories(folder.dir / "textures");
        std::ofstream(folder.dir / "textures/fogcloudS.dds", std::ios::binary)
            .write(reinterpret_cast<const char*>(dds.data()), static_cast<std::streamsize>(dds.size()));
        const float4 values[] = {{0, 0, 0, 0}, {1, 2, 3, 4}};
        const float times[] = {0.0f, 1.0f};
        BuildCurve(position, values, times, curve_mode::kLinear);
        BuildCurve(spread, values, times, curve_mode::kSmooth);
        BuildCurve(rotation, values, times, curve_mode::kLinear);
    }

    // An emitter of `count` particles at `at`, set up as the remote scene sets
    // one up (without its defines, texture and group).
    std::unique_ptr<ParticleEmitter> Emitter(uint32_t count = 32, float rate = 2.0f,
                                             float4 at = float4{0, 0, 0, 1})
    {
        auto emitter = std::make_unique<ParticleEmitter>();
        emitter->particles.CreateUnique();
        emitter->node.SetPosition(at);
        LoadParticleEffect(*emitter);
        ParticleData* data = emitter->Data();
        CreateQuadOfSize(data->quad.mesh, 1.0f, 1.0f, 1, 0);
        data->particleCount = count;
        data->rate = rate;
        BakeParticleCurves(*emitter, &position, &spread, &rotation);
        setUp = SetupParticleEmitter(*emitter);
        return emitter;
    }

    effect_test::EffectFolder folder;
    platform::testing::ScriptedMessageBoxes boxes;
    DynamicsList dynamics;
    CurveResource position, spread, rotation;
    bool setUp = false;
};

// The four halves of instance record i.
inline std::array<uint16_t, 4> InstanceRecord(const ParticleData& data, uint32_t i)
{
    std::array<uint16_t, 4> record{};
    if (!data.instanceBuffer)
        return record;
    const std::span<uint8_t> bytes = platform::testing::BufferBytes(*data.instanceBuffer);
    if (bytes.size() >= size_t{8} * (i + 1))
        std::memcpy(record.data(), bytes.data() + size_t{8} * i, 8);
    return record;
}

} // namespace particle_test
