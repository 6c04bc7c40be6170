#include "scene/dynamic.h"

#include <algorithm>

#include "kernel/error_stream.h"
#include "script/script_component.h"

namespace {
DynamicsList* currentList = nullptr;
} // namespace

DynamicsList* GetDynamicsList()
{
    return currentList;
}

Dynamic::Dynamic()
{
    if (!currentList) {
        errorTwoLines = false;
        GetErrorStream() << "No dynamics list created.\n";
        return;
    }
    currentList->AddDynamic(this);
}

Dynamic::~Dynamic()
{
    if (currentList)
        currentList->RemoveDynamic(this);
}

void Dynamic::OnMessage(ComponentMessage* message)
{
    const uint32_t id = message->id;
    if (id == IMSG_ME_ATTACHED) {
        ComponentMessage give;
        give.id = IMSG_GIVE_SCRIPT;
        SendMessage(message->sender, give);
    } else if (id == IMSG_SOMEONE_ATTACHED) {
        ComponentMessage give;
        give.id = IMSG_GIVE_SCRIPT;
        SendMessage(static_cast<Component*>(message->Object()), give);
    } else if (id == IMSG_SUPPLY_SCRIPT) {
        scriptObject = dynamic_cast<ScriptComponent*>(static_cast<Component*>(message->Object()));
        scriptFunction = scriptObject ? scriptObject->GetScriptFunctionId("Update") : 0;
    } else if (id == IMSG_ME_DETACHED
               || (id == IMSG_SOMEONE_DETACHED && message->Object() == static_cast<Component*>(scriptObject))) {
        scriptObject = nullptr;
        scriptFunction = 0;
    }
}

void Dynamic::Update()
{
}

DynamicsList::DynamicsList()
{
    currentList = this;
}

DynamicsList::~DynamicsList()
{
    if (currentList == this)
        currentList = nullptr;
}

bool DynamicsList::AddDynamic(Dynamic* dynamic)
{
    if (entries_.size() >= kMaxEntries) {
        errorTwoLines = false;
        GetErrorStream() << "Dynamics list full.\n";
        return false;
    }
    entries_.push_back(dynamic);
    return true;
}

void DynamicsList::RemoveDynamic(Dynamic* dynamic)
{
    auto found = std::find(entries_.begin(), entries_.end(), dynamic);
    if (found == entries_.end())
        return;
    const std::size_t index = static_cast<std::size_t>(found - entries_.begin());
    entries_.erase(found);
    // Keep the walk on the entry that followed the removed one.
    if (walking_ && index <= walk_)
        --walk_;
}

void DynamicsList::UpdateDynamics()
{
    const std::size_t savedWalk = walk_;
    const bool savedWalking = walking_;
    walking_ = true;
    // walk_ wraps below 0 when the entry at 0 is removed; the ++ brings it back.
    for (walk_ = 0; walk_ < entries_.size(); ++walk_) {
        Dynamic* dynamic = entries_[walk_];
        if (!dynamic || !dynamic->active)
            continue;
        if (dynamic->scriptFunction != 0 && dynamic->scriptObject) {
            dynamic->scriptObject->RunScriptFunction(dynamic->scriptFunction, false);
            // The script may have removed it.
            if (walk_ >= entries_.size() || entries_[walk_] != dynamic)
                continue;
        }
        dynamic->Update();
    }
    walk_ = savedWalk;
    walking_ = savedWalking;
}
