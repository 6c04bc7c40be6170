#include "scene/physics_world.h"

#include <cstdint>
#include <memory>

#include <LinearMath/btPoolAllocator.h>
#include <btBulletDynamicsCommon.h>
#include <gtest/gtest.h>

#include "../script/script_test_support.h"
#include "scene/physics_body.h"
#include "script/script_component.h"
#include "script/script_host.h"

using namespace AngelScript;

namespace {
class PhysicsWorldTest : public ::testing::Test {
protected:
    void SetUp() override { DestroyPhysicsWorld(); }
    void TearDown() override { DestroyPhysicsWorld(); }
};

// A Bullet dynamics world over the physics world's own machinery.
std::unique_ptr<btDiscreteDynamicsWorld> DynamicsOver(PhysicsWorld& world)
{
    auto dynamics = std::make_unique<btDiscreteDynamicsWorld>(world.dispatcher, world.broadphase, world.solver,
                                                              world.collisionConfiguration);
    dynamics->setGravity(btVector3(0, -10, 0));
    return dynamics;
}
} // namespace

TEST_F(PhysicsWorldTest, IsMadeOnceAlignedWithUnitScaleAndNoDrawer)
{
    EXPECT_EQ(ExistingPhysicsWorld(), nullptr);
    PhysicsWorld* world = GetPhysicsWorld();
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(GetPhysicsWorld(), world);
    EXPECT_EQ(ExistingPhysicsWorld(), world);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(world) % 16, 0u);
    EXPECT_EQ(world->scale.x, 1.0f);
    EXPECT_EQ(world->scale.y, 1.0f);
    EXPECT_EQ(world->scale.z, 1.0f);
    EXPECT_EQ(world->scale.w, 1.0f);
    EXPECT_EQ(world->debugDrawer, nullptr);
    ASSERT_NE(world->collisionConfiguration, nullptr);
    EXPECT_NE(dynamic_cast<btDbvtBroadphase*>(world->broadphase), nullptr);
    EXPECT_NE(dynamic_cast<btSequentialImpulseConstraintSolver*>(world->solver), nullptr);
    EXPECT_EQ(world->collisionConfiguration->getPersistentManifoldPool()->getMaxCount(), 4096);
    EXPECT_EQ(world->collisionConfiguration->getCollisionAlgorithmPool()->getMaxCount(), 4096);
}

TEST_F(PhysicsWorldTest, SetupBindsOneDispatcherToTheConfiguration)
{
    PhysicsWorld* world = GetPhysicsWorld();
    EXPECT_EQ(world->dispatcher, nullptr);
    world->SetupDispatcher();
    ASSERT_NE(world->dispatcher, nullptr);
    EXPECT_EQ(world->dispatcher->getCollisionConfiguration(), world->collisionConfiguration);
    btCollisionDispatcher* first = world->dispatcher;
    world->SetupDispatcher();
    EXPECT_EQ(world->dispatcher, first);
}

TEST_F(PhysicsWorldTest, ItsMachineryCarriesARealSimulation)
{
    PhysicsWorld* world = GetPhysicsWorld();
    world->SetupDispatcher();
    auto dynamics = DynamicsOver(*world);

    btBoxShape groundShape(btVector3(10, 1, 10));
    PhysBody ground(0.0f, &groundShape, btTransform(btQuaternion::getIdentity(), btVector3(0, -1, 0)));
    btSphereShape ballShape(0.5f);
    PhysBody ball(1.0f, &ballShape, btTransform(btQuaternion::getIdentity(), btVector3(0, 3, 0)));
    dynamics->addRigidBody(&ground.rigidBody);
    dynamics->addRigidBody(&ball.rigidBody);

    for (int step = 0; step < 240; ++step)
        dynamics->stepSimulation(1.0f / 60.0f, 0);

    // The ball fell and rests on the ground instead of passing through it.
    btTransform at;
    ball.motionState.getWorldTransform(at);
    EXPECT_NEAR(at.getOrigin().y(), 0.5f, 0.05f);
    EXPECT_GT(world->dispatcher->getNumManifolds(), 0);

    dynamics->removeRigidBody(&ball.rigidBody);
    dynamics->removeRigidBody(&ground.rigidBody);
}

TEST_F(PhysicsWorldTest, DestroyingReleasesItAndAFreshOneFollows)
{
    GetPhysicsWorld()->SetupDispatcher();
    GetPhysicsWorld()->scale = {2, 2, 2, 1};
    DestroyPhysicsWorld();
    EXPECT_EQ(ExistingPhysicsWorld(), nullptr);
    DestroyPhysicsWorld(); // nothing left to destroy
    EXPECT_EQ(ExistingPhysicsWorld(), nullptr);
    PhysicsWorld* fresh = GetPhysicsWorld();
    EXPECT_EQ(fresh->scale.x, 1.0f);
    EXPECT_EQ(fresh->dispatcher, nullptr);
}

// The program's order: the script engine, then the world; at the end the
// world goes first and the script host after it. A script pushing a body in
// between finds both.
TEST_F(PhysicsWorldTest, LivesBetweenTheScriptEnginesStartAndRelease)
{
    ASSERT_TRUE(GetScriptHost()->InitScriptEngine());
    GetPhysicsWorld()->SetupDispatcher();
    {
        asIScriptModule* module = GetScriptHost()->engine->GetModule("order", asGM_ALWAYS_CREATE);
        module->AddScriptSection("order", "void Push() { ApplyImpulse(GetBody(), float3(3, 0, 0), float3(0, 0, 0)); }");
        ASSERT_GE(module->Build(), 0) << GetScriptHost()->errors;
        btSphereShape shape(1.0f);
        PhysBody body(1.5f, &shape);
        ScriptComponent script(module);
        Component entity;
        entity.AttachComponent(&body);
        entity.AttachComponent(&script);
        ASSERT_EQ(script.RunScriptFunction(script.GetScriptFunctionId("Push"), false), asEXECUTION_FINISHED);
        EXPECT_NEAR(body.rigidBody.getLinearVelocity().x(), 2.0f, 1e-6f);
    }
    DestroyPhysicsWorld();
    EXPECT_EQ(ExistingPhysicsWorld(), nullptr);
    EXPECT_NE(ExistingScriptHost(), nullptr);
    ReleaseScriptHost();
}
