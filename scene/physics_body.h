#pragma once
// PhysBody: the component behind a script's body handle. It holds a Bullet
// rigid body and its motion state, the mass it was made with, and a pointer to
// the Transform of its scene node, whose rotation is the body's own frame for
// the local script functions. It answers IMSG_GIVE_PHYSBODY with itself.
#include <btBulletDynamicsCommon.h>

#include "script/component.h"

class Transform;

class alignas(16) PhysBody : public Component {
public:
    // A body of `shape` (not owned; it must outlive the body) at `start`. A
    // positive mass makes it dynamic, with the shape's inertia; zero, static.
    PhysBody(float bodyMass, btCollisionShape* shape, const btTransform& start = btTransform::getIdentity(),
             Transform* nodeTransform = nullptr);
    ~PhysBody() override;

    void OnMessage(ComponentMessage* message) override;

    btDefaultMotionState motionState; // before rigidBody, which reads it when made
    btRigidBody rigidBody;
    Transform* transform = nullptr; // null: the body's frame is the world's
    float mass = 0.0f;
};
