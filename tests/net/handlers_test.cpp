// The handler modules and the task handlers: registration by thread, the
// replyPara copy, the weather record's values and what the handlers do with
// and without a RemoteScene.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <span>

#include "kernel/engine_thread.h"
#include "kernel/engine_threads.h"
#include "kernel/queue_registry.h"
#include "kernel/thread_map.h"
#include "net/net_thread.h"
#include "net/para_handler.h"
#include "net/para_objects.h"
#include "net/para_reply.h"
#include "net/para_tasks.h"
#include "net/remote_scene.h"
#include "net/set_para.h"
#include "net/weather.h"
#include "platform/bytes/byte_writer.h"
#include "render/effects/effect.h"
#include "render/frame/scene_renderer.h"
#include "render/resources/material.h"
#include "testing/net_support.h"
#include "tests/support/settings_cwd.h"

using namespace net_test;

namespace {

// A 49-byte weather record with the fields the tests set.
struct WeatherRecord {
    WeatherRecordBytes bytes{};

    // A clear day: visibility 10000, fog multiplier 1.
    WeatherRecord() { F32(20, 10000.0f); }

    WeatherRecord& I16(size_t at, int16_t v)
    {
        platform::ByteWriter(std::span(bytes).subspan(at)).I16(v);
        return *this;
    }
    WeatherRecord& F32(size_t at, float v)
    {
        platform::ByteWriter(std::span(bytes).subspan(at)).F32(v);
        return *this;
    }
    WeatherRecord& U8(size_t at, uint8_t v)
    {
        bytes[at] = v;
        return *this;
    }
    WeatherValues Decode() const { return DecodeWeather(bytes.data()); }
    TaskMessage Task() const { return MakeWeatherTask(bytes.data()); }
};

TaskMessage ReplyParaTask(const ParaReply& record)
{
    TaskMessage task;
    task.taskId = kReplyParaId;
    std::memcpy(task.payload, record.bytes.data(), kParaReplySize);
    return task;
}

} // namespace

// ---- Weather values ----

TEST(Weather, VisibilityGivesTheFogMultiplierAndTheAlphaDefine)
{
    WeatherValues v = WeatherRecord().F32(20, 2000.0f).Decode();
    EXPECT_FLOAT_EQ(v.fogMultiplier, 5.0f);
    EXPECT_TRUE(v.fogAffectsAlpha);
    v = WeatherRecord().F32(20, 1000.0f).Decode();
    EXPECT_FLOAT_EQ(v.fogMultiplier, 10.0f);
    EXPECT_FALSE(v.fogAffectsAlpha);
    EXPECT_TRUE(WeatherRecord().F32(20, 10000.0f / 5.275f).Decode().fogAffectsAlpha);
    v = WeatherRecord().F32(20, 0.0f).Decode();
    EXPECT_EQ(v.fogMultiplier, std::numeric_limits<float>::infinity());
    EXPECT_FALSE(v.fogAffectsAlpha);
}

TEST(Weather, TimeOfDayAngleRunsOverTheDayWithoutRangeTest)
{
    EXPECT_NEAR(WeatherRecord().I16(13, 12).I16(15, 30).Decode().timeOfDayAngle, 6.863071f, 1e-5f);
    EXPECT_NEAR(TimeOfDayAngle(0, 0), 3.3615043f, 1e-6f);
    EXPECT_NEAR(TimeOfDayAngle(24, 0), 10.084513f, 1e-5f);
    EXPECT_NEAR(TimeOfDayAngle(-24, 0), 3.3615043f - 6.723008f, 1e-5f);
}

TEST(Weather, ScaledFieldsAndWind)
{
    const WeatherValues v = WeatherRecord()
                                .I16(3, 1000)
                                .I16(7, 7)
                                .F32(36, 1000.0f)
                                .F32(40, 0.0f)
                                .F32(45, 0.75f)
                                .U8(19, 1)
                                .F32(24, 0.2f)
                                .F32(28, 0.3f)
                                .Decode();
    EXPECT_NEAR(v.cloudBottomHeight, 1.28f, 1e-6f);
    EXPECT_NEAR(v.cloudCover, 0.7f, 1e-6f);
    EXPECT_NEAR(v.wind.x, 1.28f, 1e-6f);
    EXPECT_EQ(v.wind.y, 0.0f);
    EXPECT_NEAR(v.wind.z, 0.0f, 1e-6f);
    EXPECT_EQ(v.wind.w, 0.0f);
    EXPECT_EQ(v.starBrightness, 0.75f);
    EXPECT_EQ(v.cloudsWanted, 1);
    EXPECT_EQ(v.coverB, 0.2f);
    EXPECT_EQ(v.coverA, 0.3f);

    const WeatherValues south = WeatherRecord().F32(36, -1000.0f).F32(40, 1.5707964f).Decode();
    EXPECT_NEAR(south.wind.x, 0.0f, 1e-6f);
    EXPECT_NEAR(south.wind.z, -1.28f, 1e-6f);
    EXPECT_NEAR(WeatherRecord().I16(3, -32768).Decode().cloudBottomHeight, -41.94304f, 1e-4f);
}

// ---- Weather on a scene ----

class WeatherOnScene : public ::testing::Test {
protected:
    void SetUp() override { SetRemoteScene(&scene); }
    void TearDown() override { SetRemoteScene(nullptr); }

    void Apply(const WeatherRecord& record)
    {
        TaskMessage task = record.Task();
        SetWeatherHandler(&task);
    }

    RemoteScene scene;
};

TEST_F(WeatherOnScene, SetsHeightTimeAndWind)
{
    Apply(WeatherRecord().I16(3, 1000).I16(13, 12).I16(15, 30).F32(36, 1000.0f));
    EXPECT_NEAR(scene.cloudBottomHeight, 1.28f, 1e-6f);
    EXPECT_NEAR(scene.timeOfDayAngle, 6.863071f, 1e-5f);
    EXPECT_NEAR(scene.windVector.x, 1.28f, 1e-6f);
}

TEST_F(WeatherOnScene, MovesAndCoversTheCloudLayerAndSetsTheEffects)
{
    CloudRecord records[4];
    MaterialResource cloudMaterial, fogA, fogB, stars;
    for (MaterialResource* material : {&cloudMaterial, &fogA, &fogB, &stars})
        MakeUniqueMaterial(*material);
    MaterialResource empty; // holds no effect: passed over
    Effect effectA, effectB;
    scene.cloudLayer.material = cloudMaterial.GetBlock();
    scene.cloudLayer.records = records;
    scene.cloudLayer.count = 4;
    scene.fogMaterials = {&fogA, &empty, nullptr, &fogB};
    scene.cloudEffectA = &effectA;
    scene.cloudEffectB = &effectB;
    scene.starMaterial = &stars;
    const auto floats = [](Effect* effect) { return effect->params.Group("").floats; };

    Apply(WeatherRecord().I16(3, 5000).I16(7, 5).F32(20, 2000.0f).F32(24, 0.4f).F32(28, 0.6f).F32(45, 0.25f));
    EXPECT_FLOAT_EQ(records[3].height, 6.4f);
    EXPECT_FLOAT_EQ(floats(cloudMaterial.GetEffect()).at("cumulusBottomHeight"), 3.4f);
    EXPECT_FLOAT_EQ(scene.cloudLayer.cover, 0.5f);
    EXPECT_EQ(records[1].colour.w, 1.0f);
    EXPECT_EQ(records[2].colour.w, 0.0f);
    EXPECT_TRUE(fogA.GetEffect()->defineFlags.at("FOGAFFECTSALPHA"));
    EXPECT_TRUE(fogB.GetEffect()->defineFlags.at("FOGAFFECTSALPHA"));
    EXPECT_EQ(floats(&effectB).at("percentToShow"), 0.4f);
    EXPECT_EQ(floats(&effectA).at("percentToShow"), 0.6f);
    EXPECT_EQ(floats(stars.GetEffect()).at("starBright"), 0.25f);

    // Thin fog turns the define off; covers of 0.1 or less leave the effects.
    Apply(WeatherRecord().F32(20, 1000.0f).F32(24, 0.1f).F32(28, 0.0f).F32(45, 2.0f));
    EXPECT_FALSE(fogA.GetEffect()->defineFlags.at("FOGAFFECTSALPHA"));
    EXPECT_FALSE(fogB.GetEffect()->defineFlags.at("FOGAFFECTSALPHA"));
    EXPECT_EQ(floats(&effectB).at("percentToShow"), 0.4f);
    EXPECT_EQ(floats(&effectA).at("percentToShow"), 0.6f);
    EXPECT_EQ(floats(stars.GetEffect()).at("starBright"), 2.0f);
    EXPECT_EQ(scene.cloudLayer.cover, 0.0f);
}

TEST_F(WeatherOnScene, TheFogMultiplierGoesToTheSceneRenderer)
{
    zandrel_test::SettingsCwd settings;
    SceneRenderer renderer;
    for (const auto& [visibility, multiplier] : {std::pair{2000.0f, 5.0f}, std::pair{1000.0f, 10.0f}}) {
        Apply(WeatherRecord().F32(20, visibility));
        EXPECT_FLOAT_EQ(renderer.fogMult, multiplier) << visibility;
    }
}

TEST_F(WeatherOnScene, OnlyTheValueOneClearsTheStatus)
{
    scene.statusFlag = 1;
    for (uint8_t value : {0, 2, 255}) {
        Apply(WeatherRecord().U8(44, value));
        EXPECT_EQ(scene.statusFlag, 1) << int(value);
    }
    Apply(WeatherRecord().U8(44, 1));
    EXPECT_EQ(scene.statusFlag, 0);
}

TEST_F(WeatherOnScene, CloudSwitchRequestsFollowTheLayersState)
{
    // The main layer: 1 while off or 0 while on request a switch; other values nothing.
    Apply(WeatherRecord().U8(19, 2).F32(24, 0.0f).F32(28, 0.0f));
    EXPECT_EQ(scene.cloudLayerShown[0], 0);
    Apply(WeatherRecord().U8(19, 0));
    EXPECT_EQ(scene.cloudLayerShown[0], 0);
    Apply(WeatherRecord().U8(19, 1));
    EXPECT_EQ(scene.cloudLayerShown[0], 1);
    scene.cloudLayerShown[0] = 0;
    scene.cloudToggleB = 1;
    Apply(WeatherRecord().U8(19, 1));
    EXPECT_EQ(scene.cloudLayerShown[0], 0);
    Apply(WeatherRecord().U8(19, 0));
    EXPECT_EQ(scene.cloudLayerShown[0], 1);

    // A cover of exactly 0.1 counts as none: a switch only while that layer is on.
    Apply(WeatherRecord().U8(19, 2).F32(24, 0.1f).F32(28, 0.1f));
    EXPECT_EQ(scene.cloudLayerShown[1], 0);
    EXPECT_EQ(scene.cloudLayerShown[2], 0);
    scene.cloudToggleA = 1;
    scene.cloudLayerShown[3] = 1;
    Apply(WeatherRecord().U8(19, 2).F32(24, 0.05f).F32(28, 0.1f));
    EXPECT_EQ(scene.cloudLayerShown[1], 1);
    EXPECT_EQ(scene.cloudLayerShown[2], 1);

    // Covers above 0.1 ask for layers that are off.
    RemoteScene fresh;
    SetRemoteScene(&fresh);
    TaskMessage task = WeatherRecord().U8(19, 2).F32(24, 0.5f).F32(28, 0.5f).Task();
    SetWeatherHandler(&task);
    EXPECT_EQ(fresh.cloudLayerShown[1], 1);
    EXPECT_EQ(fresh.cloudLayerShown[2], 1);
    EXPECT_EQ(fresh.cloudLayerShown[3], 0); // a state, never written
}

// ---- The other handlers and replyPara ----

TEST(ParaHandlers, WithoutASceneTheBlockAndTheStoredRecordsStay)
{
    ResetParaReply();
    const Bytes state(81, 0xAB);
    TaskMessage setPara = MakeSetParaTask(state.data());
    SetParaHandler(&setPara);
    TaskMessage prealloc = MakePreallocTask(5);
    ParaPreallocHandler(&prealloc);
    const Bytes targets(3456, 1);
    TaskMessage target = MakeTargetTask(targets.data());
    ParaTargetHandler(&target);
    EXPECT_EQ(ReadParaReply().bytes, ParaReply().bytes);
    ParaTargetRecordBytes record{};
    EXPECT_TRUE(GetTargetRecordStore().Take(target.Get<ParaTargetArgs::Ticket>(), record));
}

TEST(ParaHandlers, ReplyParaReplacesTheWholeBlockTagIncluded)
{
    ParaReply record;
    std::memcpy(record.bytes.data(), "OTHERTAG", 8);
    record.SetFlags(0x0B);
    record.SetValue(781.25f);
    TaskMessage task = ReplyParaTask(record);
    ReplyParaHandler(&task);
    const ParaReply now = ReadParaReply();
    EXPECT_EQ(now.bytes, record.bytes);
    EXPECT_EQ(now.Flags(), 0x0B);
    EXPECT_EQ(now.Value(), 781.25f);
    ResetParaReply();
    EXPECT_EQ(ReadParaReply().bytes[8], 0);
}

// One slot for each task that may wait: a record is never written over, and a
// record put into a full store is refused instead.
TEST(ParaHandlers, TheTargetStoreNeverWritesOverAWaitingRecord)
{
    GetTargetRecordStore().Clear();
    ASSERT_GE(TargetRecordStore::kSlots, kMaxPendingNetTasks);
    std::vector<TargetRecordTicket> tickets;
    for (uint32_t i = 0; i < TargetRecordStore::kSlots + 2; ++i) {
        const Bytes record(3456, static_cast<uint8_t>(i));
        tickets.push_back(GetTargetRecordStore().Put(record.data()));
    }
    EXPECT_EQ(GetTargetRecordStore().UsedSlots(), TargetRecordStore::kSlots);
    ParaTargetRecordBytes out{};
    for (uint32_t i = 0; i < TargetRecordStore::kSlots; ++i) {
        ASSERT_TRUE(GetTargetRecordStore().Take(tickets[i], out)) << i;
        EXPECT_EQ(out[3455], static_cast<uint8_t>(i));
    }
    EXPECT_FALSE(GetTargetRecordStore().Take(tickets[TargetRecordStore::kSlots], out)); // refused
    EXPECT_FALSE(GetTargetRecordStore().Take(tickets[0], out)); // taken once
    EXPECT_FALSE(GetTargetRecordStore().Take({TargetRecordStore::kSlots, 1}, out));

    // Freed by its ticket only while the slot still holds that record.
    const Bytes record(3456, 7);
    const TargetRecordTicket first = GetTargetRecordStore().Put(record.data());
    GetTargetRecordStore().Free(first);
    const TargetRecordTicket second = GetTargetRecordStore().Put(record.data());
    GetTargetRecordStore().Free(first);
    EXPECT_TRUE(GetTargetRecordStore().Take(second, out));
    EXPECT_EQ(GetTargetRecordStore().UsedSlots(), 0u);
    GetTargetRecordStore().Clear();
}

// ---- The modules on their threads ----

class Modules : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseNetSettings(FreeLoopbackPort());
        registry = GetQueueRegistry();
        registry->ResetQueues();
        ResetPendingNetTasks();
        ResetParaReply();
        render.SetName("RENDERTHREAD");
    }
    void TearDown() override
    {
        registry->ResetQueues();
        ResetPendingNetTasks();
        ResetParaReply();
    }

    platform::testing::ScriptedMessageBoxes boxes;
    QueueRegistry* registry = nullptr;
    NetThread server;
    EngineThread render;
};

TEST_F(Modules, TheStaticHandlerServesRenderThreadAndItsListenersServeNetThread)
{
    ASSERT_NE(GetParaHandler(), nullptr);
    EXPECT_EQ(GetParaHandler()->thread, GetRenderThread());
    EXPECT_TRUE(GetParaHandler()->owned);
    EXPECT_GE(GetNetThread()->ListenerCount(), 2u);
    EXPECT_EQ(GetNetThread()->name.View(), "NETTHREAD");
    EXPECT_EQ(GetNetThread()->id, kNetThreadId);
}

TEST_F(Modules, WithoutAsyncReplyParaJoinsTheRenderThreadInTheSamePass)
{
    auto* module = new ParaHandler(&server);
    module->thread = &render;
    module->owned = true;
    render.AddModule(module);
    EXPECT_EQ(server.ListenerCount(), 2u);
    ASSERT_TRUE(registry->RegisterThread(&render));
    render.InitThread();

    EXPECT_TRUE(module->HasHandler(kSetWeatherId));
    EXPECT_TRUE(module->HasHandler(kSetParaId));
    EXPECT_TRUE(module->HasHandler(kParaPreallocId));
    EXPECT_TRUE(module->HasHandler(kParaTargetId));
    ParaReplyHandler* reply = GetParaReplyHandler();
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->joined, &render);
    EXPECT_TRUE(reply->owned);
    EXPECT_TRUE(reply->HasHandler(kReplyParaId));
    EXPECT_EQ(render.ModuleCount(), 2u);

    // A replyPara task posted to the render thread replaces the block.
    ParaReply record;
    record.SetFlags(4);
    record.SetValue(1.5f);
    {
        QueueRegistry::PostingGuard guard(*registry);
        registry->AllocQueue(0)->PushTask(ReplyParaTask(record), &render, "rp");
    }
    registry->RouteQueues();
    render.RunCycle();
    render.ProcessHeadTask();
    EXPECT_EQ(ReadParaReply().bytes, record.bytes);

    // A second registration pass attaches nothing more.
    render.InitThread();
    EXPECT_EQ(render.ModuleCount(), 2u);
}

// With no RemoteScene every network task still runs its course on the render
// thread: it is set done, its callback lets its place among the waiting tasks
// go, and nothing is shown.
TEST_F(Modules, WithoutASceneEveryNetworkTaskIsSetDoneAndLetGo)
{
    auto* module = new ParaHandler(&server);
    module->thread = &render;
    module->owned = true;
    render.AddModule(module);
    ASSERT_TRUE(registry->RegisterThread(&render));
    render.InitThread();
    ASSERT_EQ(GetRemoteScene(), nullptr);

    const Bytes record(3456, 0x5A);
    const struct {
        TaskMessage task;
        const char* tag;
    } cases[] = {
        {WeatherRecord().I16(3, 1000).U8(44, 1).Task(), "nw"},
        {MakeSetParaTask(record.data()), "np"},
        {MakePreallocTask(5), "na"},
        {MakeTargetTask(record.data()), "nt"},
    };
    for (const auto& c : cases) {
        TaskMessage task = c.task;
        ASSERT_TRUE(PostToRenderThread(task, c.tag));
        EXPECT_EQ(PendingNetTasks(), 1u) << c.tag;
        registry->RouteQueues();
        ASSERT_EQ(render.inbound.write - render.inbound.read, 1u) << c.tag;
        TaskMessage* posted = render.inbound.At(render.inbound.read);
        render.RunCycle();
        render.ProcessHeadTask();
        EXPECT_EQ(posted->done.load(), 1) << c.tag;
        EXPECT_EQ(PendingNetTasks(), 0u) << c.tag;
        registry->RouteQueues();
    }
    EXPECT_EQ(GetTargetRecordStore().UsedSlots(), 0u); // the targets record went with its task
    EXPECT_EQ(ReadParaReply().bytes, ParaReply().bytes);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(Modules, RequestsReachTheirHandlersOnTheRenderThread)
{
    auto* module = new ParaHandler(&server);
    module->thread = &render;
    module->owned = true;
    render.AddModule(module);
    ASSERT_TRUE(registry->RegisterThread(&render));
    render.InitThread();

    RemoteScene scene;
    SetRemoteScene(&scene);
    const Bytes weather = [] {
        Bytes bytes = ToBytes("WEATHER0");
        WeatherRecord record;
        record.I16(3, 1000);
        bytes.insert(bytes.end(), record.bytes.begin(), record.bytes.end());
        return bytes;
    }();
    ASSERT_TRUE(server.InitNetwork("127.0.0.1"));
    Client client(GetSettings().GetString("net", "port"));
    ASSERT_TRUE(client.Send(weather));
    server.ServeRequest();
    ASSERT_TRUE(client.Receive());
    EXPECT_EQ(PendingNetTasks(), 1u);

    registry->RouteQueues();
    render.RunCycle();
    render.ProcessHeadTask();
    SetRemoteScene(nullptr);
    EXPECT_NEAR(scene.cloudBottomHeight, 1.28f, 1e-6f);
    EXPECT_EQ(PendingNetTasks(), 0u);
    EXPECT_TRUE(boxes.Shown().empty());
}
