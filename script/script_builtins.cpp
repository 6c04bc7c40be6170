#include "script/script_builtins.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "kernel/time.h"
#include "script/script_host.h"

using namespace AngelScript;

namespace {
void ScriptPrint(const std::string& text)
{
    std::cout << text << "\n";
}

void ScriptSuspend()
{
    if (asIScriptContext* context = asGetActiveContext())
        context->Suspend();
}

float ScriptRandom(float a, float b)
{
    // The generator's range is [0, 32767] whatever the library's RAND_MAX.
    return ScriptRandomBetween(a, b, std::rand() & 0x7FFF);
}

float ScriptLerp(float a, float b, float t)
{
    return (b - a) * t + a;
}

float ScriptGetTime()
{
    return GetTime();
}
} // namespace

float ScriptRandomBetween(float a, float b, int r)
{
    return a + static_cast<float>(r) * (1.0f / 32767.0f) * (b - a);
}

void RegisterScriptBuiltins(ScriptHost& host)
{
    host.RegisterScriptFunction("void print(const string &in)", asFUNCTION(ScriptPrint));
    host.RegisterScriptFunction("void _susp()", asFUNCTION(ScriptSuspend));
    host.RegisterScriptFunction("float rnd(float,float)", asFUNCTION(ScriptRandom));
    host.engine->RegisterGlobalFunction("float lerp(float,float,float)", asFUNCTION(ScriptLerp), asCALL_CDECL);
    host.RegisterScriptFunction("float GetTime()", asFUNCTION(ScriptGetTime));
    host.engine->RegisterGlobalProperty("float PI", &host.PI);
}
