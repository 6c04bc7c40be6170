#include "script/script_component.h"

#include <vector>

#include "kernel/error_stream.h"
#include "kernel/rs_hash.h"
#include "testing/message_box_script.h"
#include "scene/dynamic.h"
#include "script/script_binding.h"
#include "script/script_handles.h"
#include "script_test_support.h"

using namespace AngelScript;

namespace {
// Answers scene-node requests with a given object.
class NodeOwner : public Component {
public:
    explicit NodeOwner(void* node) : node_(node) {}
    void OnMessage(ComponentMessage* message) override
    {
        if (message->id != IMSG_GIVE_SCENENODE)
            return;
        ComponentMessage supply;
        supply.id = IMSG_SUPPLY_SCENENODE;
        supply.SetObject(node_);
        SendMessage(message->sender, supply);
    }

private:
    void* node_;
};

ScriptBinding* testBinding = nullptr;
void* requested = nullptr;
void ScriptRequest() { requested = testBinding->RequestComponent(); }

class Ticker : public Dynamic {
public:
    void Update() override { ++updates; }
    int updates = 0;
};
} // namespace

class ScriptComponentTest : public ScriptEngineTest {
protected:
    void SetUp() override
    {
        ScriptEngineTest::SetUp();
        binding.SetComponentName("binding");
        testBinding = &binding;
        requested = nullptr;
        ASSERT_GE(engine->RegisterGlobalFunction("void TestRequest()", asFUNCTION(ScriptRequest), asCALL_CDECL), 0);
    }

    ScriptBinding binding{ScriptBindingOrder::SceneNode, IMSG_GIVE_SCENENODE, IMSG_SUPPLY_SCENENODE};
};

TEST_F(ScriptComponentTest, AScriptReachesItsOwnersComponentByName)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build(R"(
        int owner; int wheel; int nested; int missing;
        void Run() {
            owner = GetComponent();
            wheel = FindComponent("wheel", owner);
            nested = FindComponent("bolt", owner);
            missing = FindComponent("nothing", owner);
        })");
    Component composite, first, wheelPart, other, bolt, secondWheel;
    first.SetComponentName("frame");
    wheelPart.SetComponentName("wheel");
    bolt.SetComponentName("bolt");
    secondWheel.SetComponentName("wheel");
    first.AttachComponent(&bolt);
    first.AttachComponent(&secondWheel);
    ScriptComponent script(module);
    composite.AttachComponent(&script);
    composite.AttachComponent(&first);
    composite.AttachComponent(&wheelPart);

    const int32_t run = script.GetScriptFunctionId("Run");
    ASSERT_NE(run, 0);
    EXPECT_EQ(script.RunScriptFunction(run, false), asEXECUTION_FINISHED);
    EXPECT_EQ(ScriptObjectOf(Global<int>(module, "owner"), ScriptHandleKind::Component), &composite);
    // Depth first: the frame's own wheel comes before the composite's later one.
    EXPECT_EQ(ScriptObjectOf(Global<int>(module, "wheel"), ScriptHandleKind::Component), &secondWheel);
    EXPECT_EQ(ScriptObjectOf(Global<int>(module, "nested"), ScriptHandleKind::Component), &bolt);
    EXPECT_EQ(Global<int>(module, "missing"), 0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't find component for script: nothing\n"));
}

TEST_F(ScriptComponentTest, BadHandlesAndMissingOwnersAreRefused)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build(R"(
        int owner = 5; int found = 5; int forged = 5;
        void Run() {
            owner = GetComponent();
            found = FindComponent("wheel", owner);
            forged = FindComponent("wheel", 12345678);
        })");
    ScriptComponent script(module);
    ASSERT_EQ(script.RunScriptFunction(script.GetScriptFunctionId("Run"), false), asEXECUTION_FINISHED);
    EXPECT_EQ(Global<int>(module, "owner"), 0);
    EXPECT_EQ(Global<int>(module, "found"), 0);
    EXPECT_EQ(Global<int>(module, "forged"), 0);
    ASSERT_EQ(boxes.Shown().size(), 3u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("GetComposite: zero owner!\n"));
    EXPECT_EQ(boxes.Shown()[1].text, ErrorBoxText("Invalid script handle: 0\n"));
    EXPECT_EQ(boxes.Shown()[2].text, ErrorBoxText("Invalid script handle: 12345678\n"));
}

TEST_F(ScriptComponentTest, AGoneOwnerLeavesAStaleHandle)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build("int found = 5; int owner; void Run() { found = FindComponent('x', owner); }");
    ScriptComponent script(module);
    int32_t handle;
    {
        Component composite;
        composite.AttachComponent(&script);
        handle = ScriptHandleOf(&composite, ScriptHandleKind::Component);
        EXPECT_EQ(ScriptHandleOf(&composite, ScriptHandleKind::Component), handle);
    }
    Global<int>(module, "owner") = handle;
    ASSERT_EQ(script.RunScriptFunction(script.GetScriptFunctionId("Run"), false), asEXECUTION_FINISHED);
    EXPECT_EQ(Global<int>(module, "found"), 0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Invalid script handle: " + std::to_string(handle) + "\n"));
    boxes.Clear();
    // The same handle is not accepted as another kind either.
    Component live;
    const int32_t liveHandle = ScriptHandleOf(&live, ScriptHandleKind::Component);
    EXPECT_EQ(ScriptObjectOf(liveHandle, ScriptHandleKind::SceneNode), nullptr);
    EXPECT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(ScriptHandleOf(nullptr, ScriptHandleKind::Component), 0);
}

TEST_F(ScriptComponentTest, RequestKeepsTheLastAnswerAndStopsWithoutAnOwner)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build("void Run() { TestRequest(); }");
    ScriptComponent script(module);
    const int32_t run = script.GetScriptFunctionId("Run");

    // No owner: one report, and nothing is sent anywhere.
    script.RunScriptFunction(run, false);
    EXPECT_EQ(requested, nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("GetComposite: zero owner!\n"));

    // Owned, but nobody answers.
    Component composite;
    composite.AttachComponent(&script);
    boxes.Clear();
    script.RunScriptFunction(run, false);
    EXPECT_EQ(requested, nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't request component for script.\n"));

    int nodeA = 0, nodeB = 0;
    NodeOwner first(&nodeA), second(&nodeB);
    composite.AttachComponent(&first);
    composite.AttachComponent(&second);
    boxes.Clear();
    script.RunScriptFunction(run, false);
    EXPECT_EQ(requested, &nodeB);
    EXPECT_TRUE(boxes.Shown().empty());

    // Outside any script run there is no owner to ask: reported, no crash.
    EXPECT_EQ(binding.RequestComponent(), nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("GetComposite: zero owner!\n"));
}

TEST_F(ScriptComponentTest, RunsPreparesAndRefusesInvalidFunctions)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build(R"(
        int runs = 0;
        void Count() { runs++; }
        void Fail() { int zero = 0; runs = 10 / zero; })");
    ScriptComponent script(module);
    const int32_t count = script.GetScriptFunctionId("Count");
    EXPECT_EQ(script.GetScriptFunctionId("Missing"), 0);

    EXPECT_EQ(script.RunScriptFunction(count, false), asEXECUTION_FINISHED);
    asIScriptContext* first = script.contexts.at(count);
    EXPECT_EQ(first->GetUserData(), module);
    EXPECT_EQ(script.RunScriptFunction(count, false), asEXECUTION_FINISHED);
    EXPECT_EQ(script.contexts.size(), 1u);
    EXPECT_EQ(script.contexts.at(count), first);
    EXPECT_EQ(Global<int>(module, "runs"), 2);

    script.stateFlag = 1;
    EXPECT_EQ(script.RunScriptFunction(count, true), asEXECUTION_PREPARED);
    EXPECT_EQ(script.lastFunction, count);
    EXPECT_EQ(script.stateFlag, 0);
    EXPECT_EQ(Global<int>(module, "runs"), 2);
    EXPECT_TRUE(boxes.Shown().empty());

    // Ids of no function run nothing; only a negative one is reported.
    script.RunScriptFunction(-3, false);
    script.RunScriptFunction(0, false);
    script.RunScriptFunction(0x7FFFFFF0, true);
    EXPECT_EQ(Global<int>(module, "runs"), 2);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Invalid script function handle.\n"));
    EXPECT_EQ(script.lastFunction, 0x7FFFFFF0);
    EXPECT_EQ(script.contexts.size(), 4u);

    boxes.Clear();
    EXPECT_EQ(script.RunScriptFunction(script.GetScriptFunctionId("Fail"), false), asEXECUTION_EXCEPTION);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Unknown exception running script test\n"));

    // The shared context runs without keeping a context of its own.
    boxes.Clear();
    script.useSharedContext = 1;
    EXPECT_EQ(script.RunScriptFunction(count, false), asEXECUTION_FINISHED);
    EXPECT_EQ(Global<int>(module, "runs"), 3);
    EXPECT_EQ(script.contexts.size(), 5u);
}

TEST_F(ScriptComponentTest, ADynamicRunsItsSuppliedScriptBeforeItsUpdate)
{
    asIScriptModule* module = Build("int ticks = 0; void Update() { ticks++; }");
    asIScriptModule* silent = Build("int ticks = 0; void Other() {}", "silent");
    DynamicsList list;
    Component composite;
    ScriptComponent script(module);
    composite.AttachComponent(&script);
    Ticker ticker;
    composite.AttachComponent(&ticker);
    EXPECT_EQ(ticker.scriptObject, &script);
    EXPECT_EQ(ticker.scriptFunction, script.GetScriptFunctionId("Update"));

    // Attached the other way round: the newcomer is asked.
    Component other;
    Ticker early;
    other.AttachComponent(&early);
    ScriptComponent noUpdate(silent);
    other.AttachComponent(&noUpdate);
    EXPECT_EQ(early.scriptObject, &noUpdate);
    EXPECT_EQ(early.scriptFunction, 0);

    list.UpdateDynamics();
    list.UpdateDynamics();
    EXPECT_EQ(Global<int>(module, "ticks"), 2);
    EXPECT_EQ(ticker.updates, 2);
    EXPECT_EQ(early.updates, 2);

    ticker.active = 0;
    list.UpdateDynamics();
    EXPECT_EQ(Global<int>(module, "ticks"), 2);
    EXPECT_EQ(ticker.updates, 2);

    ComponentMessage detached;
    detached.id = IMSG_SOMEONE_DETACHED;
    detached.SetObject(static_cast<Component*>(&script));
    ticker.OnMessage(&detached);
    EXPECT_EQ(ticker.scriptObject, nullptr);
    EXPECT_EQ(ticker.scriptFunction, 0);
}
