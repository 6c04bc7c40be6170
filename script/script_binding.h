#pragma once
// ScriptBinding: a component made as a static object for one kind of component.
// It registers that kind's script functions (queued until the engine exists)
// and, inside a script run, asks the script's owner for its component of that
// kind through the give/supply exchange.
#include <cstdint>
#include <string>

#include <angelscript.h>

#include "script/component.h"
#include "script/script_registration.h"

class ScriptBinding : public Component {
public:
    ScriptBinding(ScriptBindingOrder order, uint32_t giveMessage, uint32_t supplyMessage);

    // Keeps payload word 0 of the supply answer.
    void OnMessage(ComponentMessage* message) override;

    // The owner's object of this binding's kind (the last answer when several
    // parts answer), or null after reporting why.
    void* RequestComponent();

    // Registers one of this kind's script functions in the binding's place of
    // the registration order.
    void RegisterFunction(std::string declaration, const AngelScript::asSFuncPtr& function,
                          AngelScript::asDWORD callConv = AngelScript::asCALL_CDECL);

    void* supplied = nullptr;
    uint32_t supplyId = 0;
    uint32_t giveId = 0;

private:
    ScriptBindingOrder order_;
};

// The first part of the composite, depth first in attachment order, whose id
// is `id`; the composite itself is not compared. Null when none.
Component* FindComponentById(Component* composite, uint32_t id);

// The binding of "int GetComponent()" and "int FindComponent(const string& in,int)".
ScriptBinding& GetComponentScriptBinding();
