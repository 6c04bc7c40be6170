#pragma once
// The script value types "float3" and "quat": the engine's own float3 and quat
// (same layout, copied bit for bit) with their constructors, operators and the
// functions "abs", "lerp" and "slerp".
#include <angelscript.h>

class ScriptHost;

// Value type, plain data, application class with constructor; the ABI of
// x86_64 also needs to know that both are all floats, since they come back in
// vector registers from native calls.
inline constexpr AngelScript::asDWORD kScriptMathTypeFlags = AngelScript::asOBJ_VALUE | AngelScript::asOBJ_POD |
    AngelScript::asOBJ_APP_CLASS_C | AngelScript::asOBJ_APP_CLASS_ALLFLOATS;

void RegisterScriptValueTypes(ScriptHost& host);
