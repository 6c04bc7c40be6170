#include "script/script_handles.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "kernel/error_stream.h"

namespace {
// handle = generation << 20 | (slot index + 1): positive, never 0.
constexpr uint32_t kIndexBits = 20;
constexpr uint32_t kMaxSlots = (1u << kIndexBits) - 1;
constexpr uint32_t kGenerationMask = 0x7FF;

struct Slot {
    void* object = nullptr;
    ScriptHandleKind kind = ScriptHandleKind::Component;
    uint32_t generation = 0;
    bool live = false;
};

struct Key {
    const void* object;
    ScriptHandleKind kind;
    bool operator==(const Key&) const = default;
};
struct KeyHash {
    std::size_t operator()(const Key& key) const
    {
        return std::hash<const void*>()(key.object) ^ (static_cast<std::size_t>(key.kind) << 1);
    }
};

struct HandleTable {
    std::mutex lock;
    std::vector<Slot> slots;
    std::vector<uint32_t> freeSlots;
    std::unordered_map<Key, uint32_t, KeyHash> byObject;
    uint32_t live = 0;
};

// Never destroyed: components made at static initialisation forget their
// handles during exit, after any function-local static would be gone.
HandleTable& Table()
{
    static HandleTable* table = new HandleTable;
    return *table;
}

int32_t MakeHandle(uint32_t index, uint32_t generation)
{
    return static_cast<int32_t>(((generation & kGenerationMask) << kIndexBits) | (index + 1));
}
} // namespace

int32_t ScriptHandleOf(void* object, ScriptHandleKind kind)
{
    if (!object)
        return 0;
    HandleTable& table = Table();
    {
        std::lock_guard guard(table.lock);
        if (auto found = table.byObject.find(Key{object, kind}); found != table.byObject.end())
            return MakeHandle(found->second, table.slots[found->second].generation);
        uint32_t index;
        if (!table.freeSlots.empty()) {
            index = table.freeSlots.back();
            table.freeSlots.pop_back();
        } else if (table.slots.size() < kMaxSlots) {
            index = static_cast<uint32_t>(table.slots.size());
            table.slots.emplace_back();
        } else {
            index = kMaxSlots;
        }
        if (index < kMaxSlots) {
            Slot& slot = table.slots[index];
            slot.object = object;
            slot.kind = kind;
            slot.live = true;
            table.byObject.emplace(Key{object, kind}, index);
            ++table.live;
            return MakeHandle(index, slot.generation);
        }
    }
    errorTwoLines = false;
    GetErrorStream() << "Script handle table full.\n";
    return 0;
}

void* ScriptObjectOf(int32_t handle, ScriptHandleKind kind)
{
    HandleTable& table = Table();
    if (handle > 0) {
        const uint32_t bits = static_cast<uint32_t>(handle);
        const uint32_t index = (bits & kMaxSlots) - 1;
        const uint32_t generation = bits >> kIndexBits;
        std::lock_guard guard(table.lock);
        if (index < table.slots.size()) {
            const Slot& slot = table.slots[index];
            if (slot.live && slot.kind == kind && (slot.generation & kGenerationMask) == generation)
                return slot.object;
        }
    }
    errorTwoLines = false;
    GetErrorStream() << "Invalid script handle: " << handle << "\n";
    return nullptr;
}

void ForgetScriptHandle(const void* object)
{
    if (!object)
        return;
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    if (table.byObject.empty())
        return;
    for (ScriptHandleKind kind : {ScriptHandleKind::Component, ScriptHandleKind::SceneNode, ScriptHandleKind::PhysBody}) {
        auto found = table.byObject.find(Key{object, kind});
        if (found == table.byObject.end())
            continue;
        Slot& slot = table.slots[found->second];
        slot = Slot{nullptr, kind, (slot.generation + 1) & kGenerationMask, false};
        table.freeSlots.push_back(found->second);
        table.byObject.erase(found);
        --table.live;
    }
}

uint32_t LiveScriptHandles()
{
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    return table.live;
}
