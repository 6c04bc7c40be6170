#include "script/script_value_types.h"

#include <cmath>
#include <cstring>
#include <type_traits>

#include "kernel/math/float3.h"
#include "kernel/math/quat.h"
#include "script/script_host.h"

using namespace AngelScript;

// Native calls copy these through registers and script memory bit for bit.
static_assert(std::is_trivially_copyable_v<float3> && sizeof(float3) == 12);
static_assert(std::is_trivially_copyable_v<quat> && sizeof(quat) == 16);

namespace {
// Script memory keeps values only 4-byte aligned: objects are read and written
// through copies, never as over-aligned engine types in place.
float3 LoadFloat3(const void* object)
{
    float3 value;
    std::memcpy(&value, object, sizeof(value));
    return value;
}

quat LoadQuat(const void* object)
{
    quat value;
    std::memcpy(&value, object, sizeof(value));
    return value;
}

void StoreQuat(void* object, const quat& value)
{
    std::memcpy(object, &value, sizeof(value));
}

void Float3Construct(float x, float y, float z, void* object)
{
    const float3 value{x, y, z};
    std::memcpy(object, &value, sizeof(value));
}

float3 Float3MulFloat3(const void* object, float3 other)
{
    const float3 a = LoadFloat3(object);
    return {a.x * other.x, a.y * other.y, a.z * other.z};
}

float3 Float3MulScalar(const void* object, float s)
{
    const float3 a = LoadFloat3(object);
    return {a.x * s, a.y * s, a.z * s};
}

float3 Float3DivScalar(const void* object, float s)
{
    const float r = 1.0f / s;
    const float3 a = LoadFloat3(object);
    return {a.x * r, a.y * r, a.z * r};
}

float3 Float3Abs(float3 v)
{
    return {std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)};
}

float3 Float3Lerp(float3 a, float3 b, float t)
{
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

void QuatConstructIdentity(void* object)
{
    StoreQuat(object, quat{0.0f, 0.0f, 0.0f, 1.0f});
}

void QuatConstructAxisAngle(float3 axis, float angle, void* object)
{
    const float s = std::sin(angle * 0.5f);
    StoreQuat(object, quat{axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5f)});
}

void QuatConstructXYZW(float x, float y, float z, float w, void* object)
{
    StoreQuat(object, quat{x, y, z, w});
}

quat Product(const quat& a, const quat& b)
{
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
            a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
            a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

float3 QuatMulFloat3(const void* object, float3 v)
{
    const quat q = LoadQuat(object);
    const float lengthSq = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    const quat inverse{-q.x / lengthSq, -q.y / lengthSq, -q.z / lengthSq, q.w / lengthSq};
    const quat turned = Product(Product(q, quat{v.x, v.y, v.z, 0.0f}), inverse);
    return {turned.x, turned.y, turned.z};
}

quat QuatMulQuat(const void* object, quat other)
{
    return Product(LoadQuat(object), other);
}

quat QuatSlerp(quat a, quat b, float t)
{
    quat result;
    Slerp(result, t, a, b);
    return result;
}
} // namespace

void RegisterScriptValueTypes(ScriptHost& host)
{
    host.RegisterScriptType("float3", sizeof(float3), kScriptMathTypeFlags);
    host.RegisterScriptProperty("float3", "float x", offsetof(float3, x));
    host.RegisterScriptProperty("float3", "float y", offsetof(float3, y));
    host.RegisterScriptProperty("float3", "float z", offsetof(float3, z));
    host.RegisterScriptBehaviour("float3", asBEHAVE_CONSTRUCT, "void f(float,float,float)",
                                 asFUNCTION(Float3Construct), asCALL_CDECL_OBJLAST);
    host.RegisterScriptMethod("float3", "float3 opMul(float3) const", asFUNCTION(Float3MulFloat3),
                              asCALL_CDECL_OBJFIRST);
    host.RegisterScriptMethod("float3", "float3 opMul(float) const", asFUNCTION(Float3MulScalar),
                              asCALL_CDECL_OBJFIRST);
    host.RegisterScriptMethod("float3", "float3 opDiv(float) const", asFUNCTION(Float3DivScalar),
                              asCALL_CDECL_OBJFIRST);
    host.RegisterScriptFunction("float3 abs(float3)", asFUNCTION(Float3Abs));
    host.RegisterScriptFunction("float3 lerp(float3,float3,float)", asFUNCTION(Float3Lerp));

    host.RegisterScriptType("quat", sizeof(quat), kScriptMathTypeFlags);
    host.RegisterScriptProperty("quat", "float x", offsetof(quat, x));
    host.RegisterScriptProperty("quat", "float y", offsetof(quat, y));
    host.RegisterScriptProperty("quat", "float z", offsetof(quat, z));
    host.RegisterScriptProperty("quat", "float w", offsetof(quat, w));
    host.RegisterScriptBehaviour("quat", asBEHAVE_CONSTRUCT, "void f()", asFUNCTION(QuatConstructIdentity),
                                 asCALL_CDECL_OBJLAST);
    host.RegisterScriptBehaviour("quat", asBEHAVE_CONSTRUCT, "void f(float3,float)",
                                 asFUNCTION(QuatConstructAxisAngle), asCALL_CDECL_OBJLAST);
    host.RegisterScriptBehaviour("quat", asBEHAVE_CONSTRUCT, "void f(float,float,float,float)",
                                 asFUNCTION(QuatConstructXYZW), asCALL_CDECL_OBJLAST);
    host.RegisterScriptMethod("quat", "float3 opMul(float3) const", asFUNCTION(QuatMulFloat3),
                              asCALL_CDECL_OBJFIRST);
    host.RegisterScriptMethod("quat", "quat opMul(quat) const", asFUNCTION(QuatMulQuat), asCALL_CDECL_OBJFIRST);
    host.RegisterScriptFunction("quat slerp(quat,quat,float)", asFUNCTION(QuatSlerp));
}
