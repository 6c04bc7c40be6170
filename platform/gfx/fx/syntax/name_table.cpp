#include "platform/gfx/fx/syntax/name_table.h"

#include <functional>

namespace gfx {

uint32_t NameTable::HashOf(std::string_view name)
{
    const size_t h = std::hash<std::string_view>{}(name);
    return static_cast<uint32_t>(h ^ (h >> 32)) | 1u; // never 0, the mark of an empty slot
}

uint32_t NameTable::Insert(std::string_view name, uint32_t number, bool& added)
{
    if ((size_ + 1) * 2 > slots_.size())
        Grow(slots_.empty() ? 16 : slots_.size() * 2);
    const uint32_t hash = HashOf(name);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& slot = slots_[i];
        if (slot.hash == 0) {
            slot = {name, hash, number};
            ++size_;
            added = true;
            return number;
        }
        if (slot.hash == hash && slot.name == name) {
            added = false;
            return slot.number;
        }
    }
}

uint32_t NameTable::Find(std::string_view name) const
{
    if (slots_.empty())
        return kNone;
    const uint32_t hash = HashOf(name);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.hash == 0)
            return kNone;
        if (slot.hash == hash && slot.name == name)
            return slot.number;
    }
}

void NameTable::Reserve(size_t count)
{
    size_t slots = 16;
    while (slots < count * 2)
        slots *= 2;
    if (slots > slots_.size())
        Grow(slots);
}

void NameTable::Grow(size_t slots)
{
    std::vector<Slot> old(slots);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.hash == 0)
            continue;
        size_t i = slot.hash & mask;
        while (slots_[i].hash != 0)
            i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

} // namespace gfx
