#pragma once
// Components and entity messages. Entities are composites of parts that talk
// through small fixed messages named by the hash of an upper-case name. A
// message is a synchronous call on the caller's thread: the target and then
// its parts (one level deep) each get the same copy. Attaching a part lets the
// parts find each other through the give/supply exchange.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "kernel/hashed_name.h"
#include "script/component_messages.h"

class Component;

struct ComponentMessage {
    uint32_t id = 0;
    Component* sender = nullptr;
    // Word 0 (pointer-sized) carries the object of the message where it has one.
    alignas(8) unsigned char payload[256] = {};

    void* Object() const
    {
        void* object;
        std::memcpy(&object, payload, sizeof(object));
        return object;
    }
    void SetObject(const void* object) { std::memcpy(payload, &object, sizeof(object)); }
};

// id and sender, then the 256 payload bytes; the sender pointer is 8 bytes wide
// on x86_64, so the record is 272 bytes here.
static_assert(offsetof(ComponentMessage, sender) == 8 && offsetof(ComponentMessage, payload) == 16);
static_assert(sizeof(ComponentMessage) == 16 + 256);

class Component {
public:
    Component() = default;
    virtual ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    // The default ignores every message.
    virtual void OnMessage(ComponentMessage* message);

    // Delivers a copy with this as sender to the target, then to each of the
    // target's parts (also parts added during the delivery).
    void SendMessage(Component* target, ComponentMessage message);

    // A message with only `id` set, to this component alone (not its parts).
    void Notify(uint32_t id);

    void SetComponentName(std::string_view text);

    // Tells the composite and its parts about the newcomer, then, unless it
    // was attached already, appends it and tells the newcomer and its parts.
    void AttachComponent(Component* part);

    // Attached parts, not owned, in order of attachment.
    std::vector<Component*> components;
    // The name's hash is the component's id.
    HashedName128 name;
};
