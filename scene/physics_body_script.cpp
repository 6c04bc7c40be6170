#include "scene/physics_body_script.h"

#include <btBulletDynamicsCommon.h>

#include "scene/physics_body.h"
#include "scene/physics_world.h"
#include "scene/transform.h"
#include "script/script_handles.h"

using namespace AngelScript;

namespace {
// Length of the line drawn per unit of applied force on the debug path.
constexpr float kForceLineScale = 0.000025f;

PhysBody* BodyOf(int32_t handle)
{
    return ScriptObjectAs<PhysBody>(handle, ScriptHandleKind::PhysBody);
}

const float4& Scale()
{
    return GetPhysicsWorld()->scale;
}

btVector3 ToPhysics(const float3& v)
{
    const float4& s = Scale();
    return btVector3(v.x * s.x, v.y * s.y, v.z * s.z);
}

float3 FromPhysics(const btVector3& v)
{
    const float4& s = Scale();
    return {v.x() / s.x, v.y() / s.y, v.z() / s.z};
}

float3 ToFloat3(const btVector3& v)
{
    return {v.x(), v.y(), v.z()};
}

btVector3 ToVector(const float3& v)
{
    return btVector3(v.x, v.y, v.z);
}

// A rotation of zero length has no frame (its inverse would be all NaN, and
// so would every force pushed through it); it leaves v as it is.
bool HasFrame(const quat& q)
{
    return q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w != 0.0f;
}

// inv x (v, 0) x q, inv the conjugate over the squared length: v turned by the
// inverse of q.
float3 RotateIntoFrame(const quat& q, const float3& v)
{
    if (!HasFrame(q))
        return v;
    const quat turned = QuatMultiply(QuatMultiply(QuatInverse(q), quat{v.x, v.y, v.z, 0.0f}), q);
    return {turned.x, turned.y, turned.z};
}

// q x (v, 0) x inv: v turned by q.
float3 RotateOutOfFrame(const quat& q, const float3& v)
{
    if (!HasFrame(q))
        return v;
    const quat turned = QuatMultiply(QuatMultiply(q, quat{v.x, v.y, v.z, 0.0f}), QuatInverse(q));
    return {turned.x, turned.y, turned.z};
}

// The rotation of the body's node; a body without a node turns with the world.
quat FrameOf(const PhysBody& body)
{
    return body.transform ? body.transform->rotation : quat{};
}

int32_t ScriptGetBody()
{
    void* body = GetPhysBodyScriptBinding().RequestComponent();
    return body ? ScriptHandleOf(body, ScriptHandleKind::PhysBody) : 0;
}

void ScriptApplyTorque(int32_t handle, float x, float y, float z)
{
    if (PhysBody* body = BodyOf(handle))
        body->rigidBody.applyTorque(ToPhysics({x, y, z}));
}

float3 ScriptGetBodyLinearVelocity(int32_t handle)
{
    PhysBody* body = BodyOf(handle);
    return body ? FromPhysics(body->rigidBody.getLinearVelocity()) : float3{};
}

float3 ScriptGetBodyLocalLinearVelocity(int32_t handle)
{
    PhysBody* body = BodyOf(handle);
    return body ? RotateIntoFrame(FrameOf(*body), FromPhysics(body->rigidBody.getLinearVelocity())) : float3{};
}

float3 ScriptGetBodyAngularVelocity(int32_t handle)
{
    PhysBody* body = BodyOf(handle);
    return body ? FromPhysics(body->rigidBody.getAngularVelocity()) : float3{};
}

float3 ScriptGetBodyLocalAngularVelocity(int32_t handle)
{
    PhysBody* body = BodyOf(handle);
    return body ? RotateIntoFrame(FrameOf(*body), FromPhysics(body->rigidBody.getAngularVelocity())) : float3{};
}

// From the body's bounding box d: (d.y * d.z, d.x * d.y, d.x * d.y). The
// second is d.x * d.y like the third, not d.x * d.z: scripts rely on it. A
// body without a shape has none.
float3 ScriptGetBodyArea(int32_t handle)
{
    PhysBody* body = BodyOf(handle);
    if (!body || !body->rigidBody.getCollisionShape())
        return {};
    btVector3 min;
    btVector3 max;
    body->rigidBody.getAabb(min, max);
    const btVector3 d = max - min;
    return FromPhysics(btVector3(d.y() * d.z(), d.x() * d.y(), d.x() * d.y()));
}

float ScriptGetBodyMass(int32_t handle)
{
    PhysBody* body = BodyOf(handle);
    return body ? body->mass : 0.0f;
}

void ScriptApplyLinearForce(int32_t handle, float3 force, float3 at)
{
    PhysBody* body = BodyOf(handle);
    if (!body)
        return;
    body->rigidBody.activate(false);
    body->rigidBody.applyForce(ToPhysics(force), ToVector(at));
}

void ScriptApplyLocalLinearForce(int32_t handle, float3 force, float3 at)
{
    PhysBody* body = BodyOf(handle);
    if (!body)
        return;
    const btVector3 worldForce = ToVector(RotateOutOfFrame(FrameOf(*body), ToFloat3(ToPhysics(force))));
    const btVector3 arm = ToVector(at);
    body->rigidBody.applyForce(worldForce, arm);
    if (btIDebugDraw* drawer = GetPhysicsWorld()->debugDrawer) {
        btTransform world;
        body->motionState.getWorldTransform(world);
        const btVector3 from = world.getOrigin() + arm;
        drawer->drawLine(from, from + worldForce * kForceLineScale, btVector3(1, 0, 0));
    }
}

void ScriptApplyImpulse(int32_t handle, float3 impulse, float3 at)
{
    PhysBody* body = BodyOf(handle);
    if (!body)
        return;
    body->rigidBody.activate(false);
    body->rigidBody.applyImpulse(ToPhysics(impulse), ToVector(at));
}

void ScriptSetAngularVelocity(int32_t handle, float3 velocity)
{
    if (PhysBody* body = BodyOf(handle))
        body->rigidBody.setAngularVelocity(ToPhysics(velocity));
}

class PhysBodyScriptBinding : public ScriptBinding {
public:
    PhysBodyScriptBinding()
        : ScriptBinding(ScriptBindingOrder::PhysBody, IMSG_GIVE_PHYSBODY, IMSG_SUPPLY_PHYSBODY)
    {
        RegisterFunction("int GetBody()", asFUNCTION(ScriptGetBody));
        RegisterFunction("void ApplyTorque(int,float,float,float)", asFUNCTION(ScriptApplyTorque));
        RegisterFunction("float3 GetBodyLinearVelocity(int)", asFUNCTION(ScriptGetBodyLinearVelocity));
        RegisterFunction("float3 GetBodyLocalLinearVelocity(int)", asFUNCTION(ScriptGetBodyLocalLinearVelocity));
        RegisterFunction("float3 GetBodyAngularVelocity(int)", asFUNCTION(ScriptGetBodyAngularVelocity));
        RegisterFunction("float3 GetBodyLocalAngularVelocity(int)", asFUNCTION(ScriptGetBodyLocalAngularVelocity));
        RegisterFunction("float3 GetBodyArea(int)", asFUNCTION(ScriptGetBodyArea));
        RegisterFunction("float GetBodyMass(int)", asFUNCTION(ScriptGetBodyMass));
        RegisterFunction("void ApplyLinearForce(int,float3,float3)", asFUNCTION(ScriptApplyLinearForce));
        RegisterFunction("void ApplyLocalLinearForce(int,float3,float3)", asFUNCTION(ScriptApplyLocalLinearForce));
        RegisterFunction("void ApplyImpulse(int,float3,float3)", asFUNCTION(ScriptApplyImpulse));
        RegisterFunction("void SetAngularVelocity(int,float3)", asFUNCTION(ScriptSetAngularVelocity));
    }
};

PhysBodyScriptBinding physBodyScriptBinding;
} // namespace

ScriptBinding& GetPhysBodyScriptBinding()
{
    return physBodyScriptBinding;
}
