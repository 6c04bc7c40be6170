#pragma once
// A component that owns a built script module and runs its functions, each on
// a context of its own (or on the host's shared context). It supplies itself
// to a Dynamic that asks for a script, and its composite becomes the owner that
// the module's running scripts reach.
#include <cstdint>
#include <map>
#include <string_view>

#include <angelscript.h>

#include "script/component.h"

class ScriptComponent : public Component {
public:
    explicit ScriptComponent(AngelScript::asIScriptModule* module);
    ~ScriptComponent() override;

    void OnMessage(ComponentMessage* message) override;

    // The id of "void <name>()" in the module, 0 when there is none.
    int32_t GetScriptFunctionId(std::string_view name) const;

    // Runs (or only prepares) the function; a negative id is reported. An id
    // of no function runs nothing. Returns the context's result, or a
    // negative value.
    int RunScriptFunction(int32_t functionId, bool prepareOnly);

    AngelScript::asIScriptModule* module = nullptr;
    int32_t lastFunction = 0;
    std::map<int32_t, AngelScript::asIScriptContext*> contexts;
    uint8_t useSharedContext = 0;
    uint8_t stateFlag = 0;
};
