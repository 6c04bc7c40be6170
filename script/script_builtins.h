#pragma once
// The built-in script functions ("print", "_susp", "rnd", "lerp", "GetTime")
// and the property "float PI".
class ScriptHost;

void RegisterScriptBuiltins(ScriptHost& host);

// rnd's arithmetic for a generator value r in [0, 32767]: both ends reachable.
float ScriptRandomBetween(float a, float b, int r);
