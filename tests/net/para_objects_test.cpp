// Para objects end to end on loopback: paraPrealloc sizing the slots, paraTarget
// creating, placing and turning para objects, what a para object is made of,
// and the requests refused.
#include <gtest/gtest.h>
#include <vector>

#include <algorithm>
#include <cmath>
#include <limits>

#include "kernel/math/euler.h"
#include "net/para_objects.h"
#include "net/remote_scene.h"
#include "render/frame/render_pass_list.h"
#include "render/frame/render_queue.h"
#include "render/frame/scene_renderer.h"
#include "render/world/particle_group.h"
#include "testing/test_files.h"
#include "tests/net/scene_link.h"
#include "tests/render/particle_test_support.h"

using namespace net_test;

namespace {

constexpr size_t kEntry = 27;

TargetRecord& Entry(TargetRecord& r, uint32_t i, uint16_t create, float x, float y, float z, float pitch = 0,
                    float yaw = 0, float roll = 0)
{
    const size_t at = kEntry * i;
    return r.U16(at, create).F32(at + 3, x).F32(at + 7, y).F32(at + 11, z).F32(at + 15, pitch).F32(at + 19, yaw).F32(
        at + 23, roll);
}

size_t InGroup(const RemoteScene& scene, const ParticleEmitter* emitter)
{
    return static_cast<size_t>(std::count(scene.paraGroup.emitters.begin(), scene.paraGroup.emitters.end(), emitter));
}

class ParaObjects : public ::testing::Test {
protected:
    void SetUp() override
    {
        scene.paraGroup.passListOwner = &passes;
        scene.paraPositionCurve.AttachById(rig.position.GetId());
        scene.paraSpreadCurve.AttachById(rig.spread.GetId());
        scene.paraRotationCurve.AttachById(rig.rotation.GetId());
        frame.queues = {&other.instanceList};
        scene.paraQueueIndex = 1;
    }

    particle_test::ParticleFolder rig;
    SceneRenderer frame;
    RendererTemplate other;
    RenderPassList passes;
    SceneLink link;
    RemoteScene& scene = link.scene;
};

} // namespace

TEST_F(ParaObjects, APreallocatedSlotBecomesAParaObjectWhenItsEntrySaysSo)
{
    zandrel_test::CoutCapture out;
    EXPECT_EQ(ToText(link.Prealloc(3)), "DUMMYMSG");
    ASSERT_NE(scene.paraSlots, nullptr);
    EXPECT_EQ(scene.paraSlotCount, 3u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(scene.paraSlots[i].object, nullptr);

    TargetRecord r;
    Entry(r, 0, 0, 781.25f, 0, 0);                        // no object: nothing placed
    Entry(r, 1, 1, 781.25f, -1562.5f, 7812.5f, 10, 20, 30); // created, placed, turned
    Entry(r, 2, 2, 0, 0, 0);                              // a flag of 2 creates nothing
    Entry(r, 3, 1, 0, 0, 0);                              // beyond the slots: never read
    EXPECT_EQ(ToText(link.Target(r)), "DUMMYMSG");
    EXPECT_EQ(scene.paraSlots[0].object, nullptr);
    EXPECT_EQ(scene.paraSlots[2].object, nullptr);
    ParaSlot& slot = scene.paraSlots[1];
    ASSERT_NE(slot.object, nullptr);
    EXPECT_EQ(slot.exists, 1);
    EXPECT_EQ(slot.owner, &scene.paraGroup);
    ParticleEmitter& e = *slot.object;
    EXPECT_FLOAT_EQ(e.node.transform.position.x, 1.0f);
    EXPECT_FLOAT_EQ(e.node.transform.position.y, -2.0f);
    EXPECT_FLOAT_EQ(e.node.transform.position.z, 10.0f);
    EXPECT_EQ(e.node.transform.position.w, 1.0f);
    // Entry angles stand as pitch, yaw, roll.
    const quat q = QuatFromEulerDegrees(10, 20, 30);
    EXPECT_NEAR(e.node.transform.rotation.x, q.x, 1e-6f);
    EXPECT_NEAR(e.node.transform.rotation.y, q.y, 1e-6f);
    EXPECT_NEAR(e.node.transform.rotation.w, q.w, 1e-6f);
    EXPECT_EQ(e.node.worldDirty, 1);

    // What a para object is made of.
    ParticleData& d = *e.Data();
    EXPECT_EQ(e.particles.GetState(), resource_state::kLoaded);
    EXPECT_EQ(d.particleCount, 32u);
    EXPECT_EQ(d.rate, 2.0f);
    EXPECT_EQ(d.lifetime, 50.0f);
    EXPECT_EQ(e.clock.scale, 0.4f);
    EXPECT_EQ(e.wind, &scene.windVector);
    for (const char* define : {"BILLBOARD", "WIND", "FADE", "LIGHTING"})
        EXPECT_TRUE(d.material.GetEffect()->defineFlags.at(define)) << define;
    TextureResource* diffuse = d.material.GetEffect()->params.Group("").textures.at("diffuse");
    ASSERT_NE(diffuse, nullptr);
    EXPECT_EQ(diffuse->GetState(), resource_state::kLoaded);
    EXPECT_EQ(diffuse->GetPayload()->fileName.View(), "textures/fogcloudS.dds");
    EXPECT_EQ(d.quad.mesh.GetPayload()->currentSubsets->items[0].GetPayload()->subsetScalar, 1000.0f);
    EXPECT_EQ(d.posMap.GetPayload() != nullptr, true);
    EXPECT_EQ(InGroup(scene, &e), 1u);
    EXPECT_EQ(passes.passes, std::vector<RenderPass*>{&e.updatePass});
    EXPECT_EQ(frame.queues, (std::vector<RenderQueue*>{&other.instanceList, &e.updatePass.renderer.instanceList,
                                                        &e.drawTemplate.instanceList}));
    EXPECT_TRUE(rig.boxes.Shown().empty());

    // Placed and turned again without rebuilding.
    TargetRecord again;
    Entry(again, 1, 0, 0, 781.25f, 0, 0, 90, 0);
    link.Target(again);
    EXPECT_EQ(scene.paraSlots[1].object, &e);
    EXPECT_FLOAT_EQ(e.node.transform.position.y, 1.0f);
    EXPECT_NE(out.Text().find("Quad created."), std::string::npos);
}

TEST_F(ParaObjects, CreatingTwiceLeavesOneEmitterAndPreallocatingZeroRemovesThemAll)
{
    link.Prealloc(5);
    TargetRecord r;
    Entry(r, 0, 1, 0, 0, 0);
    Entry(r, 4, 1, 0, 0, 0);
    link.Target(r);
    ParticleEmitter* first = scene.paraSlots[0].object;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(scene.paraGroup.emitters.size(), 2u);
    link.Target(r);
    EXPECT_EQ(scene.paraGroup.emitters.size(), 2u); // one per slot
    EXPECT_EQ(InGroup(scene, scene.paraSlots[0].object), 1u);
    EXPECT_EQ(passes.passes.size(), 2u);
    EXPECT_EQ(frame.queues.size(), 5u);

    zandrel_test::CoutCapture out;
    link.Prealloc(0);
    const std::string text = out.Text();
    EXPECT_EQ(text.substr(text.size() - 7), "zeroed\n");
    EXPECT_EQ(scene.paraSlots, nullptr);
    EXPECT_EQ(scene.paraSlotCount, 0u);
    EXPECT_TRUE(scene.paraGroup.emitters.empty());
    EXPECT_TRUE(passes.passes.empty());
    EXPECT_EQ(frame.queues, std::vector<RenderQueue*>{&other.instanceList});
    // With no slots a target request does nothing.
    link.Target(r);
    EXPECT_TRUE(scene.paraGroup.emitters.empty());

    // A new count rebuilds the array; the old objects are gone first.
    link.Prealloc(2);
    link.Target(r);
    link.Prealloc(1);
    EXPECT_TRUE(scene.paraGroup.emitters.empty());
    EXPECT_EQ(scene.paraSlots[0].object, nullptr);
}

TEST_F(ParaObjects, RequestsThatCannotBeAppliedAreRefusedAndChangeNothing)
{
    link.Prealloc(2);
    TargetRecord live;
    Entry(live, 0, 1, 781.25f, 0, 0);
    link.Target(live);
    ParticleEmitter* object = scene.paraSlots[0].object;
    ASSERT_NE(object, nullptr);

    struct Case {
        const char* name;
        bool prealloc;
        uint16_t count;
        size_t at;    // a float of entry 0 or 1
        float value;
        const char* line;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"too many slots", true, 129, 0, 0, "paraPrealloc refused: 129 slots asked for, at most 128\n"},
        {"the most a request holds", true, 65535, 0, 0, "paraPrealloc refused: 65535 slots asked for, at most 128\n"},
        {"a position", false, 0, 3, nan, "paraTarget refused: entry 0 position x is not a finite number\n"},
        {"an angle", false, 0, kEntry + 23, -inf, "paraTarget refused: entry 1 roll is not a finite number\n"},
        {"a yaw", false, 0, kEntry + 19, inf, "paraTarget refused: entry 1 yaw is not a finite number\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zandrel_test::CoutCapture out;
        if (c.prealloc) {
            link.Prealloc(c.count);
        } else {
            TargetRecord r;
            Entry(r, 0, 1, 0, 0, 0);
            r.F32(c.at, c.value);
            link.Target(r);
        }
        EXPECT_EQ(out.Text(), c.line);
        EXPECT_EQ(scene.paraSlotCount, 2u);
        EXPECT_EQ(scene.paraSlots[0].object, object); // not rebuilt
        EXPECT_FLOAT_EQ(object->node.transform.position.x, 1.0f);
    }
    // Entries past the slots are never read, so they are not checked.
    TargetRecord past;
    past.F32(kEntry * 2 + 3, nan);
    zandrel_test::CoutCapture out;
    link.Target(past);
    EXPECT_EQ(out.Text(), "");
    EXPECT_FLOAT_EQ(object->node.transform.position.x, 0.0f);

    // A record the full store could not keep is reported.
    std::vector<TargetRecordTicket> held;
    for (uint32_t i = 0; i < TargetRecordStore::kSlots; ++i)
        held.push_back(GetTargetRecordStore().Put(past.bytes.data()));
    TaskMessage unkept = MakeTargetTask(past.bytes.data());
    zandrel_test::CoutCapture refused;
    ParaTargetHandler(&unkept);
    EXPECT_EQ(refused.Text(), "paraTarget refused: its record was not kept (the record store was full)\n");
    ParaTargetRecordBytes drop;
    for (const TargetRecordTicket& ticket : held)
        GetTargetRecordStore().Take(ticket, drop);
}
