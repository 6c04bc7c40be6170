#pragma once
// A table from names to numbers for the effect readers, where one effect may
// declare hundreds of thousands of names: open addressing in one array, so a
// lookup visits one slot (rarely a few) and compares one name, however many
// the table holds. The table keeps views: what they view must outlive it.
#include <cstdint>
#include <string_view>
#include <vector>

namespace gfx {

class NameTable {
public:
    // The number of `name`: `number` when the name is new (`added` set), else
    // the one it was given first.
    uint32_t Insert(std::string_view name, uint32_t number, bool& added);
    // True when the name is new (and now holds `number`).
    bool Add(std::string_view name, uint32_t number = 0)
    {
        bool added = false;
        Insert(name, number, added);
        return added;
    }
    // The number of `name`, or kNone.
    uint32_t Find(std::string_view name) const;
    bool Contains(std::string_view name) const { return Find(name) != kNone; }
    size_t Size() const { return size_; }
    // Room for `count` names in all, made at once.
    void Reserve(size_t count);

    static constexpr uint32_t kNone = ~uint32_t{0};

private:
    struct Slot {
        std::string_view name;
        uint32_t hash = 0; // 0: empty
        uint32_t number = 0;
    };
    static uint32_t HashOf(std::string_view name);
    void Grow(size_t slots);

    std::vector<Slot> slots_; // a power of two of them, at most half full
    size_t size_ = 0;
};

} // namespace gfx
