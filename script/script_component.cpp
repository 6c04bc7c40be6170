#include "script/script_component.h"

#include <string>

#include "kernel/error_stream.h"
#include "script/script_host.h"

using namespace AngelScript;

ScriptComponent::ScriptComponent(asIScriptModule* scriptModule)
    : module(scriptModule)
{
}

ScriptComponent::~ScriptComponent()
{
    for (auto& [id, context] : contexts) {
        if (context)
            context->Release();
    }
    contexts.clear();
    if (ScriptHost* host = ExistingScriptHost())
        host->ForgetScriptOwner(module);
}

void ScriptComponent::OnMessage(ComponentMessage* message)
{
    if (message->id == IMSG_GIVE_SCRIPT) {
        ComponentMessage answer;
        answer.id = IMSG_SUPPLY_SCRIPT;
        answer.SetObject(this);
        SendMessage(message->sender, answer);
    } else if (message->id == IMSG_ME_ATTACHED) {
        GetScriptHost()->SetScriptOwner(module, message->sender);
    }
}

int32_t ScriptComponent::GetScriptFunctionId(std::string_view name) const
{
    if (!module)
        return 0;
    const std::string declaration = "void " + std::string(name) + "()";
    asIScriptFunction* function = module->GetFunctionByDecl(declaration.c_str());
    return function ? function->GetId() : 0;
}

int ScriptComponent::RunScriptFunction(int32_t functionId, bool prepareOnly)
{
    if (functionId < 0) {
        errorTwoLines = false;
        GetErrorStream() << "Invalid script function handle.\n";
    }
    ScriptHost* host = ExistingScriptHost();
    asIScriptEngine* engine = host ? host->engine : nullptr;
    if (!engine)
        return asERROR;
    // An id of no function (0, negative or unknown) prepares nothing and so
    // runs nothing; it still has its context like any other.
    asIScriptFunction* function = engine->GetFunctionById(functionId);
    asIScriptContext* context = nullptr;
    if (useSharedContext) {
        context = host->sharedContext;
        if (!context || context->Prepare(function) < 0)
            return asERROR;
    } else {
        asIScriptContext*& slot = contexts[functionId];
        if (!slot) {
            slot = engine->CreateContext();
            if (!slot)
                return asERROR;
            slot->SetUserData(module);
        }
        context = slot;
        const int prepared = context->Prepare(function);
        lastFunction = functionId;
        if (prepareOnly) {
            stateFlag = 0;
            return prepared < 0 ? prepared : asEXECUTION_PREPARED;
        }
        if (prepared < 0)
            return prepared;
    }
    const int result = context->Execute();
    if (result == asEXECUTION_EXCEPTION) {
        errorTwoLines = false;
        GetErrorStream() << "Unknown exception running script " << (module && module->GetName() ? module->GetName() : "")
                         << "\n";
    }
    return result;
}
