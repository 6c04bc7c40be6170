#include "script/script_binding.h"

#include "kernel/error_stream.h"
#include "kernel/rs_hash.h"
#include "script/script_handles.h"
#include "script/script_host.h"

using namespace AngelScript;

ScriptBinding::ScriptBinding(ScriptBindingOrder order, uint32_t giveMessage, uint32_t supplyMessage)
    : supplyId(supplyMessage)
    , giveId(giveMessage)
    , order_(order)
{
}

void ScriptBinding::OnMessage(ComponentMessage* message)
{
    if (message->id == supplyId)
        supplied = message->Object();
}

void* ScriptBinding::RequestComponent()
{
    supplied = nullptr;
    Component* owner = GetScriptHost()->GetComposite();
    if (!owner)
        return nullptr;
    ComponentMessage request;
    request.id = giveId;
    SendMessage(owner, request);
    if (!supplied) {
        errorTwoLines = false;
        GetErrorStream() << "Can't request component for script.\n";
    }
    return supplied;
}

void ScriptBinding::RegisterFunction(std::string declaration, const asSFuncPtr& function, asDWORD callConv)
{
    QueueScriptRegistration(order_, std::move(declaration), function, callConv);
}

Component* FindComponentById(Component* composite, uint32_t id)
{
    if (!composite)
        return nullptr;
    for (Component* part : composite->components) {
        if (!part)
            continue;
        if (part->name.hash == id)
            return part;
        if (Component* found = FindComponentById(part, id))
            return found;
    }
    return nullptr;
}

namespace {
int32_t ScriptGetComponent()
{
    return ScriptHandleOf(GetScriptHost()->GetComposite(), ScriptHandleKind::Component);
}

int32_t ScriptFindComponent(const std::string& name, int32_t compositeHandle)
{
    Component* composite = ScriptObjectAs<Component>(compositeHandle, ScriptHandleKind::Component);
    if (!composite)
        return 0;
    if (Component* found = FindComponentById(composite, RSHash(name)))
        return ScriptHandleOf(found, ScriptHandleKind::Component);
    errorTwoLines = false;
    GetErrorStream() << "Can't find component for script: " << name << "\n";
    return 0;
}

class ComponentScriptBinding : public ScriptBinding {
public:
    ComponentScriptBinding()
        : ScriptBinding(ScriptBindingOrder::Component, 0, 0)
    {
        RegisterFunction("int GetComponent()", asFUNCTION(ScriptGetComponent));
        RegisterFunction("int FindComponent(const string& in,int)", asFUNCTION(ScriptFindComponent));
    }
};

ComponentScriptBinding componentScriptBinding;
} // namespace

ScriptBinding& GetComponentScriptBinding()
{
    return componentScriptBinding;
}
