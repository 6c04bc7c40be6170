#include "scene/physics_body_script.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "../script/script_test_support.h"
#include "kernel/error_stream.h"
#include "testing/message_box_script.h"
#include "scene/physics_body.h"
#include "scene/physics_world.h"
#include "scene/scene_node.h"
#include "scene/transform.h"
#include "script/script_component.h"
#include "script/script_handles.h"
#include "scene_test_support.h"

using namespace AngelScript;

namespace {
// A quarter turn about y: it turns (1, 0, 0) into (0, 0, -1).
const quat kQuarterTurnY{0.0f, 0.70710678f, 0.0f, 0.70710678f};

float3 F3(const btVector3& v)
{
    return {v.x(), v.y(), v.z()};
}

class PhysBodyScriptTest : public ScriptEngineTest {
protected:
    void SetUp() override
    {
        ScriptEngineTest::SetUp();
        DestroyPhysicsWorld();
        GetPhysicsWorld()->SetupDispatcher();
    }
    void TearDown() override
    {
        DestroyPhysicsWorld();
        ScriptEngineTest::TearDown();
    }

    // The script "Do" of `source`, owned by an entity whose parts are `body`
    // (when given) and the script.
    struct Entity {
        Component composite;
        std::unique_ptr<ScriptComponent> script;
        ~Entity() { script.reset(); }
    };
    std::unique_ptr<Entity> Own(asIScriptModule* module, PhysBody* body)
    {
        auto entity = std::make_unique<Entity>();
        entity->script = std::make_unique<ScriptComponent>(module);
        if (body)
            entity->composite.AttachComponent(body);
        entity->composite.AttachComponent(entity->script.get());
        return entity;
    }
    int Do(Entity& entity, const char* function = "Do")
    {
        return entity.script->RunScriptFunction(entity.script->GetScriptFunctionId(function), false);
    }

    // A 2 x 3 x 4 box of mass 6.
    btBoxShape boxShape{btVector3(1.0f, 1.5f, 2.0f)};
};

class RecordingDrawer : public btIDebugDraw {
public:
    struct Line {
        btVector3 from, to, colour;
    };
    void drawLine(const btVector3& from, const btVector3& to, const btVector3& colour) override
    {
        lines.push_back({from, to, colour});
    }
    void drawContactPoint(const btVector3&, const btVector3&, btScalar, int, const btVector3&) override {}
    void reportErrorWarning(const char*) override {}
    void draw3dText(const btVector3&, const char*) override {}
    void setDebugMode(int) override {}
    int getDebugMode() const override { return 0; }
    std::vector<Line> lines;
};
} // namespace

TEST_F(PhysBodyScriptTest, FunctionsAreRegisteredInTheirOrderBetweenNodesAndComponents)
{
    const std::vector<std::string> expected = {
        "int GetNode()", // the scene-node binding comes first
        "int GetBody()",
        "void ApplyTorque(int, float, float, float)",
        "float3 GetBodyLinearVelocity(int)",
        "float3 GetBodyLocalLinearVelocity(int)",
        "float3 GetBodyAngularVelocity(int)",
        "float3 GetBodyLocalAngularVelocity(int)",
        "float3 GetBodyArea(int)",
        "float GetBodyMass(int)",
        "void ApplyLinearForce(int, float3, float3)",
        "void ApplyLocalLinearForce(int, float3, float3)",
        "void ApplyImpulse(int, float3, float3)",
        "void SetAngularVelocity(int, float3)",
        "int GetComponent()", // and the component binding after
    };
    std::vector<std::string> declarations;
    for (asUINT i = 0; i < engine->GetGlobalFunctionCount(); ++i)
        declarations.push_back(engine->GetGlobalFunctionByIndex(i)->GetDeclaration());
    auto at = declarations.begin();
    for (const std::string& declaration : expected) {
        at = std::find(at, declarations.end(), declaration);
        ASSERT_NE(at, declarations.end()) << declaration;
    }
}

TEST_F(PhysBodyScriptTest, AScriptFindsItsBodyAndReadsMassAndArea)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build(R"(
        int body; float mass; float3 area;
        void Do() { body = GetBody(); mass = GetBodyMass(body); area = GetBodyArea(body); })");
    PhysBody body(6.0f, &boxShape, btTransform(btQuaternion::getIdentity(), btVector3(5, -7, 9)));
    auto entity = Own(module, &body);
    ASSERT_EQ(Do(*entity), asEXECUTION_FINISHED);

    EXPECT_EQ(ScriptObjectOf(Global<int>(module, "body"), ScriptHandleKind::PhysBody), &body);
    EXPECT_EQ(Global<float>(module, "mass"), 6.0f);
    // Of the 2 x 3 x 4 box: y * z, then x * y twice.
    ExpectNear3(Global<float3>(module, "area"), {12, 6, 6}, 1e-4f);
    EXPECT_TRUE(boxes.Shown().empty());

    // The area follows the world's scale (divided by it).
    GetPhysicsWorld()->scale = {2, 4, 3, 1};
    ASSERT_EQ(Do(*entity), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "area"), {6, 1.5f, 2}, 1e-4f);
    entity.reset();

    PhysBody shapeless(1.0f, nullptr);
    auto shapelessEntity = Own(module, &shapeless);
    ASSERT_EQ(Do(*shapelessEntity), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "area"), {0, 0, 0});
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(PhysBodyScriptTest, AnImpulseChangesTheVelocityAsBulletComputesIt)
{
    asIScriptModule* module = Build(R"(
        float3 linear; float3 angular;
        void Do() {
            int body = GetBody();
            ApplyImpulse(body, float3(3, 0, -1.5), float3(0, 1, 0.5));
            linear = GetBodyLinearVelocity(body);
            angular = GetBodyAngularVelocity(body);
        })");
    PhysBody body(6.0f, &boxShape);
    body.rigidBody.setActivationState(ISLAND_SLEEPING);
    PhysBody twin(6.0f, &boxShape);
    twin.rigidBody.applyImpulse(btVector3(3, 0, -1.5f), btVector3(0, 1, 0.5f));
    auto entity = Own(module, &body);
    ASSERT_EQ(Do(*entity), asEXECUTION_FINISHED);

    EXPECT_EQ(body.rigidBody.getActivationState(), ACTIVE_TAG); // woken
    ExpectNear3(Global<float3>(module, "linear"), {0.5f, 0.0f, -0.25f});
    ExpectNear3(Global<float3>(module, "angular"), F3(twin.rigidBody.getAngularVelocity()));
    EXPECT_GT(std::fabs(Global<float3>(module, "angular").x), 0.01f);

    // Through the scale: in multiplied, out divided.
    body.rigidBody.setLinearVelocity(btVector3(0, 0, 0));
    body.rigidBody.setAngularVelocity(btVector3(0, 0, 0));
    GetPhysicsWorld()->scale = {2, 2, 2, 1};
    ASSERT_EQ(Do(*entity), asEXECUTION_FINISHED);
    EXPECT_NEAR(body.rigidBody.getLinearVelocity().x(), 1.0f, 1e-6f);
    ExpectNear3(Global<float3>(module, "linear"), {0.5f, 0.0f, -0.25f});
}

TEST_F(PhysBodyScriptTest, AForceMovesTheBodyOnTheNextStepOfARealWorld)
{
    asIScriptModule* module = Build(R"(
        float3 linear; float3 angular;
        void Push() { ApplyLinearForce(GetBody(), float3(60, 0, 0), float3(0, 0, 1)); }
        void Read() { int body = GetBody(); linear = GetBodyLinearVelocity(body); angular = GetBodyAngularVelocity(body); })");
    PhysicsWorld* world = GetPhysicsWorld();
    btDiscreteDynamicsWorld dynamics(world->dispatcher, world->broadphase, world->solver,
                                     world->collisionConfiguration);
    dynamics.setGravity(btVector3(0, 0, 0));
    PhysBody body(6.0f, &boxShape);
    PhysBody twin(6.0f, &boxShape, btTransform(btQuaternion::getIdentity(), btVector3(50, 0, 0)));
    dynamics.addRigidBody(&body.rigidBody);
    dynamics.addRigidBody(&twin.rigidBody);
    body.rigidBody.setActivationState(ISLAND_SLEEPING);
    auto entity = Own(module, &body);

    ASSERT_EQ(Do(*entity, "Push"), asEXECUTION_FINISHED);
    EXPECT_EQ(body.rigidBody.getActivationState(), ACTIVE_TAG);
    twin.rigidBody.applyForce(btVector3(60, 0, 0), btVector3(0, 0, 1));
    dynamics.stepSimulation(0.1f, 0);
    ASSERT_EQ(Do(*entity, "Read"), asEXECUTION_FINISHED);

    ExpectNear3(Global<float3>(module, "linear"), {1.0f, 0.0f, 0.0f}, 1e-5f); // F / m x dt
    ExpectNear3(Global<float3>(module, "angular"), F3(twin.rigidBody.getAngularVelocity()), 1e-5f);
    EXPECT_GT(Global<float3>(module, "angular").y, 0.01f); // pushed off-centre: it turns

    dynamics.removeRigidBody(&twin.rigidBody);
    dynamics.removeRigidBody(&body.rigidBody);
}

TEST_F(PhysBodyScriptTest, TorqueAndSpinLeaveASleepingBodyAsleep)
{
    asIScriptModule* module = Build(R"(
        float3 spin;
        void Do() {
            int body = GetBody();
            ApplyTorque(body, 1, 2, 3);
            SetAngularVelocity(body, float3(0.5, -1, 2));
            spin = GetBodyAngularVelocity(body);
        })");
    PhysBody body(6.0f, &boxShape);
    body.rigidBody.setActivationState(ISLAND_SLEEPING);
    auto entity = Own(module, &body);
    ASSERT_EQ(Do(*entity), asEXECUTION_FINISHED);

    EXPECT_EQ(body.rigidBody.getActivationState(), ISLAND_SLEEPING);
    ExpectNear3(F3(body.rigidBody.getTotalTorque()), {1, 2, 3});
    ExpectNear3(Global<float3>(module, "spin"), {0.5f, -1.0f, 2.0f});
}

TEST_F(PhysBodyScriptTest, ForceAndImpulseLeaveAStaticBodyAsItIs)
{
    asIScriptModule* module = Build(R"(
        void Do() { int body = GetBody(); ApplyImpulse(body, float3(1, 1, 1), float3(0, 0, 0));
                    ApplyLinearForce(body, float3(1, 1, 1), float3(0, 0, 0)); })");
    PhysBody wall(0.0f, &boxShape);
    wall.rigidBody.setActivationState(ISLAND_SLEEPING);
    auto entity = Own(module, &wall);
    ASSERT_EQ(Do(*entity), asEXECUTION_FINISHED);
    EXPECT_EQ(wall.rigidBody.getActivationState(), ISLAND_SLEEPING);
    ExpectNear3(F3(wall.rigidBody.getLinearVelocity()), {0, 0, 0});
}

TEST_F(PhysBodyScriptTest, LocalValuesUseTheNodesRotation)
{
    asIScriptModule* module = Build(R"(
        float3 world; float3 local; float3 localSpin;
        void Read() {
            int body = GetBody();
            world = GetBodyLinearVelocity(body);
            local = GetBodyLocalLinearVelocity(body);
            localSpin = GetBodyLocalAngularVelocity(body);
        }
        void Push() { ApplyLocalLinearForce(GetBody(), float3(10, 0, 0), float3(0, 1, 0)); })");
    SceneNode node;
    PhysBody body(6.0f, &boxShape, btTransform::getIdentity(), &node.transform);
    body.rigidBody.setLinearVelocity(btVector3(0, 0, -2));
    body.rigidBody.setAngularVelocity(btVector3(0, 0, 3));
    auto entity = Own(module, &body);

    // The identity rotation: local equals world.
    ASSERT_EQ(Do(*entity, "Read"), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "local"), Global<float3>(module, "world"));

    node.transform.SetRotation(kQuarterTurnY);
    ASSERT_EQ(Do(*entity, "Read"), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "world"), {0, 0, -2});
    ExpectNear3(Global<float3>(module, "local"), {2, 0, 0});
    ExpectNear3(Global<float3>(module, "localSpin"), {-3, 0, 0});

    // A quaternion of another length turns the same way.
    node.transform.SetRotation({0.0f, 1.41421356f, 0.0f, 1.41421356f});
    ASSERT_EQ(Do(*entity, "Read"), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "local"), {2, 0, 0}, 1e-5f);

    // The local force leaves the body's frame; its lever arm is taken as given
    // and a sleeping body is not woken.
    node.transform.SetRotation(kQuarterTurnY);
    body.rigidBody.setActivationState(ISLAND_SLEEPING);
    ASSERT_EQ(Do(*entity, "Push"), asEXECUTION_FINISHED);
    ExpectNear3(F3(body.rigidBody.getTotalForce()), {0, 0, -10});
    ExpectNear3(F3(body.rigidBody.getTotalTorque()), F3(btVector3(0, 1, 0).cross(btVector3(0, 0, -10))));
    EXPECT_EQ(body.rigidBody.getActivationState(), ISLAND_SLEEPING);
}

TEST_F(PhysBodyScriptTest, ABodyWithoutAUsableFrameTurnsWithTheWorld)
{
    asIScriptModule* module = Build(R"(
        float3 local;
        void Do() { int body = GetBody(); local = GetBodyLocalLinearVelocity(body);
                    ApplyLocalLinearForce(body, float3(0, 4, 0), float3(0, 0, 0)); })");
    btSphereShape shape(1.0f);
    PhysBody loose(2.0f, &shape); // no node
    loose.rigidBody.setLinearVelocity(btVector3(1, 2, 3));
    auto looseEntity = Own(module, &loose);
    ASSERT_EQ(Do(*looseEntity), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "local"), {1, 2, 3});
    ExpectNear3(F3(loose.rigidBody.getTotalForce()), {0, 4, 0});
    looseEntity.reset();

    Transform flat;
    flat.rotation = {0, 0, 0, 0}; // a zero quaternion has no inverse
    PhysBody body(2.0f, &shape, btTransform::getIdentity(), &flat);
    body.rigidBody.setLinearVelocity(btVector3(1, 2, 3));
    auto entity = Own(module, &body);
    ASSERT_EQ(Do(*entity), asEXECUTION_FINISHED);
    ExpectNear3(Global<float3>(module, "local"), {1, 2, 3});
    ExpectNear3(F3(body.rigidBody.getTotalForce()), {0, 4, 0});
}

TEST_F(PhysBodyScriptTest, TheDebugDrawerShowsTheLocalForceOnly)
{
    asIScriptModule* module = Build(R"(
        void Do() { int body = GetBody();
                    ApplyLinearForce(body, float3(1000, 0, 0), float3(0, 0, 0));
                    ApplyLocalLinearForce(body, float3(4000, 0, 0), float3(0, 1, 0)); })");
    SceneNode node;
    node.transform.SetRotation(kQuarterTurnY);
    PhysBody body(6.0f, &boxShape, btTransform(btQuaternion::getIdentity(), btVector3(1, 2, 3)), &node.transform);
    RecordingDrawer drawer;
    GetPhysicsWorld()->debugDrawer = &drawer;
    auto entity = Own(module, &body);
    ASSERT_EQ(Do(*entity), asEXECUTION_FINISHED);
    GetPhysicsWorld()->debugDrawer = nullptr;

    ASSERT_EQ(drawer.lines.size(), 1u);
    ExpectNear3(F3(drawer.lines[0].from), {1, 3, 3});
    ExpectNear3(F3(drawer.lines[0].to), {1, 3, 3 - 0.1f}, 1e-5f);
    ExpectNear3(F3(drawer.lines[0].colour), {1, 0, 0});
}

TEST_F(PhysBodyScriptTest, NoBodyOrABadHandleIsRefused)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build(R"(
        int body = 7; float mass = 9; float3 velocity = float3(9, 9, 9);
        void Ask() { body = GetBody(); }
        void Use() {
            mass = GetBodyMass(body);
            velocity = GetBodyLinearVelocity(body);
            ApplyImpulse(body, float3(1, 0, 0), float3(0, 0, 0));
        })");
    auto bodiless = Own(module, nullptr);
    ASSERT_EQ(Do(*bodiless, "Ask"), asEXECUTION_FINISHED);
    EXPECT_EQ(Global<int>(module, "body"), 0);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Can't request component for script.\n"));
    bodiless.reset();

    // A body that has gone away.
    int32_t stale = 0;
    {
        PhysBody gone(6.0f, &boxShape);
        stale = ScriptHandleOf(&gone, ScriptHandleKind::PhysBody);
    }
    // The handle of a scene node names no body, even at the same address.
    SceneNode node;
    const int32_t nodeHandle = ScriptHandleOf(&node, ScriptHandleKind::SceneNode);
    PhysBody live(6.0f, &boxShape);
    auto entity = Own(module, &live);
    for (int32_t handle : {stale, nodeHandle, 0, -1}) {
        boxes.Clear();
        Global<int>(module, "body") = handle;
        ASSERT_EQ(Do(*entity, "Use"), asEXECUTION_FINISHED);
        EXPECT_EQ(Global<float>(module, "mass"), 0.0f);
        ExpectNear3(Global<float3>(module, "velocity"), {0, 0, 0});
        ASSERT_EQ(boxes.Shown().size(), 3u) << handle;
        EXPECT_EQ(boxes.Shown()[0].text, ErrorBoxText("Invalid script handle: " + std::to_string(handle) + "\n"));
    }
    ExpectNear3(F3(live.rigidBody.getLinearVelocity()), {0, 0, 0});
}
