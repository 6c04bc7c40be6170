#include "script/script_host.h"

#include <iostream>

#include "kernel/error_stream.h"
#include "script/component.h"
#include "script/script_binding.h"
#include "script/script_builtins.h"
#include "script/script_handles.h"
#include "script/script_memory.h"
#include "script/script_value_types.h"

#include <angelscript/scriptstdstring.h>

using namespace AngelScript;

namespace {
ScriptHost*& HostSlot()
{
    static ScriptHost* host = nullptr;
    return host;
}

const char* RegistrationFailureReason(int result)
{
    switch (result) {
    case asNOT_SUPPORTED: return "The calling convention not supported!";
    case asWRONG_CALLING_CONV: return "The function's calling convention doesn't match callConv";
    case asINVALID_DECLARATION: return "The function declaration is invalid";
    case asNAME_TAKEN: return "The function name is already used elsewhere";
    default: return nullptr;
    }
}

bool ReportTypeFailure(int result, const std::string& type, const std::string& declaration)
{
    if (result >= 0)
        return true;
    errorTwoLines = false;
    if (declaration.empty())
        GetErrorStream() << "Error registering " << type << "\n";
    else
        GetErrorStream() << "Error registering " << type << " " << declaration << "\n";
    return false;
}
} // namespace

ScriptHost* GetScriptHost()
{
    ScriptHost*& host = HostSlot();
    if (!host)
        host = new ScriptHost;
    return host;
}

ScriptHost* ExistingScriptHost()
{
    return HostSlot();
}

void ReleaseScriptHost()
{
    ScriptHost*& host = HostSlot();
    delete host;
    host = nullptr;
}

ScriptHost::~ScriptHost()
{
    // The context holds the engine: it goes first.
    if (sharedContext)
        sharedContext->Release();
    sharedContext = nullptr;
    if (engine)
        engine->ShutDownAndRelease();
    engine = nullptr;
}

bool ScriptHost::InitScriptEngine()
{
    if (engine)
        return true;
    GetPooledMemory().SetUp();
    asSetGlobalMemoryFunctions(ScriptAlloc, ScriptFree);
    engine = asCreateScriptEngine(ANGELSCRIPT_VERSION);
    if (!engine) {
        errorTwoLines = false;
        GetErrorStream() << "Can't create script engine.\n";
        return false;
    }
    engine->SetMessageCallback(asMETHOD(ScriptHost, ScriptMessageCallback), this, asCALL_THISCALL);
    RegisterStdString(engine);
    RegisterScriptBuiltins(*this);
    RegisterScriptValueTypes(*this);
    sharedContext = engine->CreateContext();
    // Referencing the component binding keeps its static object, and so its
    // queued registrations, in every program that starts the engine.
    GetComponentScriptBinding();
    // Registrations of the static bindings first (they were made before
    // anything ran), then those requested at run time before the engine existed.
    for (const PendingRegistration& queued : QueuedScriptRegistrations())
        RegisterScriptFunction(queued.declaration, queued.function, queued.callConv);
    for (const PendingRegistration& record : std::vector<PendingRegistration>(pending))
        RegisterScriptFunction(record.declaration, record.function, record.callConv);
    return true;
}

void ScriptHost::RegisterScriptFunction(const std::string& declaration, const asSFuncPtr& function, asDWORD callConv)
{
    if (!engine) {
        pending.push_back({declaration, function, callConv});
        return;
    }
    const int result = engine->RegisterGlobalFunction(declaration.c_str(), function, callConv);
    if (result >= 0)
        return;
    // One piece in two-line mode: the stream holds it until the next line
    // ends, which then shows in the same box.
    std::string text = "Error registering script function " + declaration + "\n";
    if (const char* reason = RegistrationFailureReason(result))
        text += std::string(reason) + "\n";
    errorTwoLines = true;
    GetErrorStream() << text;
}

bool ScriptHost::RegisterScriptType(const std::string& type, int size, asDWORD flags)
{
    const int result = engine ? engine->RegisterObjectType(type.c_str(), size, flags) : asERROR;
    return ReportTypeFailure(result, type, "");
}

bool ScriptHost::RegisterScriptProperty(const std::string& type, const std::string& declaration, int offset)
{
    const int result = engine ? engine->RegisterObjectProperty(type.c_str(), declaration.c_str(), offset) : asERROR;
    return ReportTypeFailure(result, type, declaration);
}

bool ScriptHost::RegisterScriptMethod(const std::string& type, const std::string& declaration,
                                      const asSFuncPtr& function, asDWORD callConv)
{
    const int result = engine
        ? engine->RegisterObjectMethod(type.c_str(), declaration.c_str(), function, callConv)
        : asERROR;
    return ReportTypeFailure(result, type, declaration);
}

bool ScriptHost::RegisterScriptBehaviour(const std::string& type, asEBehaviours behaviour,
                                         const std::string& declaration, const asSFuncPtr& function,
                                         asDWORD callConv)
{
    const int result = engine
        ? engine->RegisterObjectBehaviour(type.c_str(), behaviour, declaration.c_str(), function, callConv)
        : asERROR;
    return ReportTypeFailure(result, type, declaration);
}

void ScriptHost::ScriptMessageCallback(const asSMessageInfo* message)
{
    if (!message)
        return;
    const char* text = message->message ? message->message : "";
    if (message->type == asMSGTYPE_WARNING) {
        std::cout << "Script warning: " << text << "\n"
                  << "Row: " << message->row << "\n"
                  << "Column: " << message->col << "\n";
        return;
    }
    errors += "Script error: ";
    errors += text;
    errors += "\nRow: ";
    errors += std::to_string(message->row);
    errors += "\nColumn: ";
    errors += std::to_string(message->col);
    errors += "\n\n";
}

Component* ScriptHost::GetComposite()
{
    Component* owner = nullptr;
    if (asIScriptContext* context = asGetActiveContext()) {
        auto found = owners.find(context->GetUserData());
        if (found != owners.end() && found->second != 0)
            owner = ScriptObjectAs<Component>(found->second, ScriptHandleKind::Component);
    }
    if (!owner) {
        errorTwoLines = false;
        GetErrorStream() << "GetComposite: zero owner!\n";
    }
    return owner;
}

void ScriptHost::SetScriptOwner(void* userData, Component* owner)
{
    owners[userData] = ScriptHandleOf(owner, ScriptHandleKind::Component);
}

void ScriptHost::ForgetScriptOwner(void* userData)
{
    owners.erase(userData);
}
