#include "script/component.h"

#include <algorithm>

#include "script/script_handles.h"

Component::~Component()
{
    // Scripts may still hold a handle: it goes stale instead of dangling.
    ForgetScriptHandle(this);
}

void Component::OnMessage(ComponentMessage*)
{
}

void Component::SendMessage(Component* target, ComponentMessage message)
{
    if (!target)
        return;
    message.sender = this;
    target->OnMessage(&message);
    // Parts attached during the delivery receive it too: the size is re-read.
    for (std::size_t i = 0; i < target->components.size(); ++i) {
        if (Component* part = target->components[i])
            part->OnMessage(&message);
    }
}

void Component::Notify(uint32_t id)
{
    ComponentMessage message;
    message.id = id;
    OnMessage(&message);
}

void Component::SetComponentName(std::string_view text)
{
    name.Assign(text);
}

void Component::AttachComponent(Component* part)
{
    if (!part)
        return;
    ComponentMessage someone;
    someone.id = IMSG_SOMEONE_ATTACHED;
    someone.SetObject(part);
    SendMessage(this, someone);
    if (std::find(components.begin(), components.end(), part) != components.end())
        return;
    components.push_back(part);
    ComponentMessage me;
    me.id = IMSG_ME_ATTACHED;
    SendMessage(part, me);
}
