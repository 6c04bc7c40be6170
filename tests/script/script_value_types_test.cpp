#include "script/script_value_types.h"

#include <cmath>
#include <cstring>

#include "kernel/math/float3.h"
#include "kernel/math/quat.h"
#include "script_test_support.h"

using namespace AngelScript;

namespace {
void ExpectNear(const float3& actual, const float3& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-5f);
    EXPECT_NEAR(actual.y, expected.y, 1e-5f);
    EXPECT_NEAR(actual.z, expected.z, 1e-5f);
}
void ExpectNear(const quat& actual, const quat& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-5f);
    EXPECT_NEAR(actual.y, expected.y, 1e-5f);
    EXPECT_NEAR(actual.z, expected.z, 1e-5f);
    EXPECT_NEAR(actual.w, expected.w, 1e-5f);
}
float3 F3(const void* p) { float3 v; std::memcpy(&v, p, sizeof v); return v; }
quat Q(const void* p) { quat v; std::memcpy(&v, p, sizeof v); return v; }
} // namespace

using ScriptValueTypes = ScriptEngineTest;

TEST_F(ScriptValueTypes, TypesHaveTheEngineLayoutAndFlags)
{
    asITypeInfo* f3 = engine->GetTypeInfoByName("float3");
    asITypeInfo* q = engine->GetTypeInfoByName("quat");
    ASSERT_NE(f3, nullptr);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(f3->GetSize(), 12u);
    EXPECT_EQ(q->GetSize(), 16u);
    EXPECT_EQ(f3->GetFlags() & 0xFFFF, 778u);
    EXPECT_EQ(q->GetFlags() & 0xFFFF, 778u);
    EXPECT_TRUE(f3->GetFlags() & asOBJ_APP_CLASS_ALLFLOATS);
    EXPECT_EQ(f3->GetPropertyCount(), 3u);
    EXPECT_EQ(q->GetPropertyCount(), 4u);
    EXPECT_EQ(q->GetBehaviourCount(), 3u);
}

TEST_F(ScriptValueTypes, Float3ArithmeticMatchesTheMathType)
{
    asIScriptModule* module = Build(R"(
        float3 product(0,0,0); float3 scaled(0,0,0); float3 divided(0,0,0);
        float3 absolute(0,0,0); float3 mixed(0,0,0); float3 byZero(0,0,0);
        void main() {
            float3 a(1.5f, -2.0f, 3.0f);
            float3 b(-4.0f, 0.5f, 2.0f);
            product = a * b;
            scaled = a * 3.0f;
            divided = a / 4.0f;
            absolute = abs(float3(-1, 0, 2));
            mixed = lerp(a, b, 0.25f);
            byZero = a / 0.0f;
        })");
    ASSERT_EQ(Run(module, "main"), asEXECUTION_FINISHED);
    const float3 a{1.5f, -2.0f, 3.0f}, b{-4.0f, 0.5f, 2.0f};
    ExpectNear(F3(&Global<char>(module, "product")), MulComponents(a, b));
    ExpectNear(F3(&Global<char>(module, "scaled")), a * 3.0f);
    ExpectNear(F3(&Global<char>(module, "divided")), a * 0.25f);
    ExpectNear(F3(&Global<char>(module, "absolute")), float3{1, 0, 2});
    ExpectNear(F3(&Global<char>(module, "mixed")), a + (b - a) * 0.25f);
    const float3 inf = F3(&Global<char>(module, "byZero"));
    EXPECT_TRUE(std::isinf(inf.x) && std::isinf(inf.y) && std::isinf(inf.z));
}

TEST_F(ScriptValueTypes, QuatArithmeticMatchesTheMathType)
{
    asIScriptModule* module = Build(R"(
        quat identity; quat axisAngle; quat product; quat mixed;
        float3 turned(0,0,0); float3 unchanged(0,0,0); float3 turnedLong(0,0,0); float3 turnedUnit(0,0,0);
        void main() {
            quat p(0.1f, 0.2f, 0.3f, 0.9f);
            quat q(float3(0, 1, 0), 0.7f);
            axisAngle = q;
            product = p * q;
            turned = p * float3(1, 2, 3);
            unchanged = identity * float3(4, 5, 6);
            turnedLong = quat(float3(0, 0, 2), PI) * float3(1, 2, 3);
            turnedUnit = quat(float3(0, 0, 1), PI) * float3(1, 2, 3);
            mixed = slerp(quat(), q, 0.5f);
        })");
    ASSERT_EQ(Run(module, "main"), asEXECUTION_FINISHED);
    const quat p{0.1f, 0.2f, 0.3f, 0.9f};
    const quat q = QuatFromAxisAngle({0, 1, 0}, 0.7f);
    ExpectNear(Q(&Global<char>(module, "identity")), quat{0, 0, 0, 1});
    ExpectNear(Q(&Global<char>(module, "axisAngle")), q);
    ExpectNear(Q(&Global<char>(module, "product")), QuatMultiply(p, q));
    ExpectNear(F3(&Global<char>(module, "turned")), QuatRotate(p, {1, 2, 3}));
    ExpectNear(F3(&Global<char>(module, "unchanged")), float3{4, 5, 6});
    // An axis of length 2 gives a longer quaternion but the same rotation.
    ExpectNear(F3(&Global<char>(module, "turnedLong")), F3(&Global<char>(module, "turnedUnit")));
    ExpectNear(F3(&Global<char>(module, "turnedUnit")), float3{-1, -2, 3});
    quat half;
    Slerp(half, 0.5f, quat{0, 0, 0, 1}, q);
    ExpectNear(Q(&Global<char>(module, "mixed")), half);
}

TEST_F(ScriptValueTypes, ValuesSurviveNativeRoundTripsAtOddAlignments)
{
    // Values inside script objects sit on 4-byte boundaries.
    asIScriptModule* module = Build(R"(
        class Holder { float pad; quat q; float3 v; }
        quat result; float3 vector(0,0,0);
        void main() {
            Holder h;
            h.q = quat(1, 2, 3, 4);
            h.v = float3(5, 6, 7);
            result = h.q * quat();
            vector = abs(h.v * -1.0f);
        })");
    ASSERT_EQ(Run(module, "main"), asEXECUTION_FINISHED);
    ExpectNear(Q(&Global<char>(module, "result")), quat{1, 2, 3, 4});
    ExpectNear(F3(&Global<char>(module, "vector")), float3{5, 6, 7});
}
