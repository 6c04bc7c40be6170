#include "script/script_builtins.h"

#include <cmath>

#include "kernel/time.h"
#include "testing/message_box_script.h"
#include "script_test_support.h"

using namespace AngelScript;

using ScriptBuiltins = ScriptEngineTest;

TEST_F(ScriptBuiltins, PrintLerpPiAndTimeFromARealScript)
{
    asIScriptModule* module = Build(R"(
        float lerped; float pi; float time; float low; float high;
        void main() {
            print("hello " + 3);
            lerped = lerp(2.0f, 6.0f, 0.25f);
            pi = PI;
            time = GetTime();
            low = 10; high = -10;
            for (int i = 0; i < 200; i++) {
                float r = rnd(2.0f, 4.0f);
                if (r < low) low = r;
                if (r > high) high = r;
            }
        })");
    CapturedOutput out;
    ASSERT_EQ(Run(module, "main"), asEXECUTION_FINISHED);
    EXPECT_EQ(out.Text(), "hello 3\n");
    EXPECT_FLOAT_EQ(Global<float>(module, "lerped"), 3.0f);
    EXPECT_EQ(Global<float>(module, "pi"), 3.1415927f);
    EXPECT_EQ(Global<float>(module, "time"), GetTime());
    EXPECT_GE(Global<float>(module, "low"), 2.0f);
    EXPECT_LE(Global<float>(module, "high"), 4.0f);
    EXPECT_LT(Global<float>(module, "low"), Global<float>(module, "high"));
}

TEST(ScriptRandom, BothEndsOfTheRangeAreReachable)
{
    EXPECT_EQ(ScriptRandomBetween(2.0f, 4.0f, 0), 2.0f);
    EXPECT_FLOAT_EQ(ScriptRandomBetween(2.0f, 4.0f, 32767), 4.0f);
    EXPECT_FLOAT_EQ(ScriptRandomBetween(-1.0f, 1.0f, 32767 / 2), -1.0f + 2.0f * (16383.0f / 32767.0f));
}

TEST_F(ScriptBuiltins, SuspendEndsTheRunSuspendedWithoutAMessage)
{
    platform::testing::ScriptedMessageBoxes boxes;
    asIScriptModule* module = Build("int after = 0; void main() { _susp(); after = 1; }");
    EXPECT_EQ(Run(module, "main"), asEXECUTION_SUSPENDED);
    EXPECT_EQ(Global<int>(module, "after"), 0);
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(ScriptBuiltins, BuiltInsRegisterInTheirOrderBeforeAnyBinding)
{
    const char* order[] = {"void print(const string&in)", "void _susp()", "float rnd(float, float)",
                           "float lerp(float, float, float)", "float GetTime()", "float3 abs(float3)",
                           "float3 lerp(float3, float3, float)", "quat slerp(quat, quat, float)",
                           "int GetComponent()", "int FindComponent(const string&in, int)"};
    int previous = -1;
    for (const char* declaration : order) {
        asIScriptFunction* function = engine->GetGlobalFunctionByDecl(declaration);
        ASSERT_NE(function, nullptr) << declaration;
        EXPECT_GT(function->GetId(), previous) << declaration;
        previous = function->GetId();
    }
}
