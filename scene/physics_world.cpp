#include "scene/physics_world.h"

#include <btBulletCollisionCommon.h>
#include <BulletDynamics/ConstraintSolver/btSequentialImpulseConstraintSolver.h>

namespace {
PhysicsWorld* world = nullptr;

btDefaultCollisionConstructionInfo CollisionConstructionInfo()
{
    btDefaultCollisionConstructionInfo info;
    info.m_persistentManifoldPool = nullptr;
    info.m_collisionAlgorithmPool = nullptr;
    info.m_defaultMaxPersistentManifoldPoolSize = 4096;
    info.m_defaultMaxCollisionAlgorithmPoolSize = 4096;
    info.m_customCollisionAlgorithmMaxElementSize = 0;
    info.m_useEpaPenetrationAlgorithm = 1;
    return info;
}
} // namespace

PhysicsWorld::PhysicsWorld()
    : collisionConfiguration(new btDefaultCollisionConfiguration(CollisionConstructionInfo()))
    , broadphase(new btDbvtBroadphase)
    , solver(new btSequentialImpulseConstraintSolver)
{
}

PhysicsWorld::~PhysicsWorld()
{
    delete solver;
    solver = nullptr;
    delete broadphase;
    broadphase = nullptr;
    delete dispatcher;
    dispatcher = nullptr;
    delete collisionConfiguration;
    collisionConfiguration = nullptr;
}

// Bullet's dispatcher cannot exist without its configuration, so it is made
// here rather than with the world.
void PhysicsWorld::SetupDispatcher()
{
    if (!dispatcher)
        dispatcher = new btCollisionDispatcher(collisionConfiguration);
}

PhysicsWorld* GetPhysicsWorld()
{
    if (!world)
        world = new PhysicsWorld;
    return world;
}

PhysicsWorld* ExistingPhysicsWorld()
{
    return world;
}

void DestroyPhysicsWorld()
{
    delete world;
    world = nullptr;
}
