#pragma once
// Script functions registered by objects made at static initialisation. They
// wait here until the engine exists and are replayed in a fixed order of their
// bindings, whatever order C++ happens to run the static initialisers in.
#include <string>
#include <vector>

#include <angelscript.h>

// The order in which the bindings' registrations reach the engine.
enum class ScriptBindingOrder : int {
    Heightfield = 0,
    SceneNode = 1,
    PhysBody = 2,
    Component = 3,
};

struct PendingRegistration {
    std::string declaration;
    AngelScript::asSFuncPtr function;
    AngelScript::asDWORD callConv = AngelScript::asCALL_CDECL;
};

// Registers at once when the engine exists, otherwise queues for the start-up.
void QueueScriptRegistration(ScriptBindingOrder order, std::string declaration,
                             const AngelScript::asSFuncPtr& function,
                             AngelScript::asDWORD callConv = AngelScript::asCALL_CDECL);

// The queued registrations, binding by binding in ScriptBindingOrder, each
// binding's in the order it asked. The queue lives for the whole process.
std::vector<PendingRegistration> QueuedScriptRegistrations();
