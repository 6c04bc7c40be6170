#pragma once
// The physics world: the process's one set of Bullet collision machinery
// (configuration, dispatcher, broadphase, solver) plus the unit scale between
// script values and physics values. It is made and set up at start-up and
// destroyed in the release order; no dynamics world is built on it here.
#include "kernel/math/float4.h"

class btDefaultCollisionConfiguration;
class btCollisionDispatcher;
class btBroadphaseInterface;
class btConstraintSolver;
class btIDebugDraw;

class alignas(16) PhysicsWorld {
public:
    PhysicsWorld();
    ~PhysicsWorld();
    PhysicsWorld(const PhysicsWorld&) = delete;
    PhysicsWorld& operator=(const PhysicsWorld&) = delete;

    // Binds the dispatcher to the collision configuration; later calls keep
    // the first dispatcher.
    void SetupDispatcher();

    btDefaultCollisionConfiguration* collisionConfiguration = nullptr;
    btCollisionDispatcher* dispatcher = nullptr; // null until SetupDispatcher
    btBroadphaseInterface* broadphase = nullptr;
    btConstraintSolver* solver = nullptr;
    // Script forces, impulses, torques and velocities are multiplied by it;
    // velocities and areas read back are divided by it.
    float4 scale = {1.0f, 1.0f, 1.0f, 1.0f};
    btIDebugDraw* debugDrawer = nullptr;
};

// The world, made on first use.
PhysicsWorld* GetPhysicsWorld();
// The world when it exists, null otherwise; never makes one.
PhysicsWorld* ExistingPhysicsWorld();
// Destroys the solver, the broadphase, the dispatcher and the configuration,
// in that order, then the world itself.
void DestroyPhysicsWorld();
