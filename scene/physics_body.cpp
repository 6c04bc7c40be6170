#include "scene/physics_body.h"

#include "script/script_handles.h"

namespace {
btRigidBody::btRigidBodyConstructionInfo BodyInfo(float mass, btMotionState* motionState, btCollisionShape* shape)
{
    btVector3 inertia(0, 0, 0);
    if (shape && mass > 0.0f)
        shape->calculateLocalInertia(mass, inertia);
    return btRigidBody::btRigidBodyConstructionInfo(mass, motionState, shape, inertia);
}
} // namespace

PhysBody::PhysBody(float bodyMass, btCollisionShape* shape, const btTransform& start, Transform* nodeTransform)
    : motionState(start)
    , rigidBody(BodyInfo(bodyMass, &motionState, shape))
    , transform(nodeTransform)
    , mass(bodyMass)
{
}

PhysBody::~PhysBody()
{
    // Handles scripts still hold become stale before the body goes.
    ForgetScriptHandle(this);
}

void PhysBody::OnMessage(ComponentMessage* message)
{
    if (message->id != IMSG_GIVE_PHYSBODY)
        return;
    ComponentMessage answer;
    answer.id = IMSG_SUPPLY_PHYSBODY;
    answer.SetObject(this);
    SendMessage(message->sender, answer);
}
