#pragma once
// RenderQueue: the list a renderer template gathers and the scene renderer
// draws. Each entry is a draw record (the same record once per visible
// instance) and, in step, the world matrix it is drawn with; beside them the
// light list of the queue's draws. The capacity is fixed when the queue is
// built; a full queue reports "staticHeapVector overflow." and starts again at
// slot 0, the matrix of the new entry replacing the one of that slot so the
// two lists stay entry for entry. A queue given a note says it in that box, on
// a line after the overflow line.
#include <cstdint>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "kernel/error_stream.h"
#include "kernel/math/float4x4.h"
#include "kernel/static_heap_vector.h"

struct DrawRecord;
struct LightRecord;

struct RenderQueue {
    // `note`, when given, follows the overflow line in its box.
    explicit RenderQueue(uint32_t fixedCapacity, std::string note = {})
        : items(fixedCapacity), overflowNote(std::move(note))
    {
        matrices.reserve(fixedCapacity);
    }
    RenderQueue(const RenderQueue&) = delete;
    RenderQueue& operator=(const RenderQueue&) = delete;

    uint32_t Count() const { return items.count; }

    void Append(DrawRecord* record, const float4x4* world)
    {
        if (items.count >= items.capacity) [[unlikely]]
            Overflow();
        const uint32_t slot = items.count++;
        items.items[slot] = record;
        if (slot < matrices.size())
            matrices[slot] = world;
        else
            matrices.push_back(world);
    }

    // A full queue says so, in one box, and starts again at slot 0 (kept out of
    // line: a frame appends thousands of times and overflows almost never). A
    // queue of no capacity still has that one slot, and says so at every append.
    [[gnu::cold, gnu::noinline]] void Overflow()
    {
        if (overflowNote.empty()) {
            std::cerr << "staticHeapVector overflow.\n";
        } else {
            errorTwoLines = false;
            GetErrorStream() << "staticHeapVector overflow.\n" + overflowNote + "\n";
        }
        items.count = 0;
    }

    // Both lists emptied; their storage is kept for the next frame.
    void Clear()
    {
        items.count = 0;
        matrices.clear();
    }

    staticHeapVector<DrawRecord*> items;      // capacity, entries, count, name
    std::vector<const float4x4*> matrices;    // world matrix of each entry; not owned
    std::vector<LightRecord*>* lightList = nullptr; // lights of the queue's draws; not owned
    uint8_t skip = 0; // the queue is not drawn
    std::string overflowNote;
};

// The largest instancingBufferSize: a scene holds at most 65535 nodes (its file
// counts them in 16 bits), so a list of one pass never needs more entries.
inline constexpr int kMaxInstancingBufferSize = 65536;
// instancingBufferSize of section Graphics, 0 to kMaxInstancingBufferSize (a
// value past that is reported once and the nearest end used): the capacity of
// a template's queue and of each instancing vertex buffer.
uint32_t InstancingBufferSize();
// What a full queue of that capacity adds to its overflow box: the setting.
std::string InstancingOverflowNote();
