#pragma once
// The one AngelScript engine of the process and everything that brings it up:
// its pooled memory, the compiler-message callback, the registration of engine
// functions (queued until the engine exists) and the owners of running scripts.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <angelscript.h>

#include "script/script_registration.h"

class Component;

class ScriptHost {
public:
    ScriptHost() = default;
    ~ScriptHost();
    ScriptHost(const ScriptHost&) = delete;
    ScriptHost& operator=(const ScriptHost&) = delete;

    // Creates the engine and registers the whole script interface; runs once.
    // False when the engine could not be created.
    bool InitScriptEngine();

    // Registers a global function at once, or keeps it for InitScriptEngine.
    void RegisterScriptFunction(const std::string& declaration, const AngelScript::asSFuncPtr& function,
                                AngelScript::asDWORD callConv = AngelScript::asCALL_CDECL);
    bool RegisterScriptType(const std::string& type, int size, AngelScript::asDWORD flags);
    bool RegisterScriptProperty(const std::string& type, const std::string& declaration, int offset);
    bool RegisterScriptMethod(const std::string& type, const std::string& declaration,
                              const AngelScript::asSFuncPtr& function, AngelScript::asDWORD callConv);
    bool RegisterScriptBehaviour(const std::string& type, AngelScript::asEBehaviours behaviour,
                                 const std::string& declaration, const AngelScript::asSFuncPtr& function,
                                 AngelScript::asDWORD callConv);

    void ScriptMessageCallback(const AngelScript::asSMessageInfo* message);

    // The composite that owns the running script, or null after reporting
    // "GetComposite: zero owner!" (also when no script is running).
    Component* GetComposite();

    // Who owns the scripts whose contexts carry `userData` (their module).
    void SetScriptOwner(void* userData, Component* owner);
    void ForgetScriptOwner(void* userData);

    AngelScript::asIScriptEngine* engine = nullptr;
    AngelScript::asIScriptContext* sharedContext = nullptr;
    // Context user data -> handle of the owning composite, so an owner that has
    // gone away is refused instead of dereferenced.
    std::map<void*, int32_t> owners;
    float PI = 3.1415927f;
    std::string errors;
    std::vector<PendingRegistration> pending;
};

// The host, made on first use (without its engine).
ScriptHost* GetScriptHost();
// The host when it exists, null otherwise; never makes one.
ScriptHost* ExistingScriptHost();
// Releases the shared context, then the engine, then the host itself.
void ReleaseScriptHost();
