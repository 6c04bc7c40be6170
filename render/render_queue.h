#pragma once
// RenderQueue: the list a renderer template gathers and the scene renderer
// draws. Each entry is a draw record (the same record once per visible
// instance) and, in step, the world matrix it is drawn with; beside them the
// light list of the queue's draws. The capacity is fixed when the queue is
// built; a full queue reports "staticHeapVector overflow." and starts again at
// slot 0, the matrix of the new entry replacing the one of that slot so the
// two lists stay entry for entry.
#include <cstdint>
#include <vector>

#include "kernel/math/float4x4.h"
#include "kernel/static_heap_vector.h"

struct DrawRecord;
struct LightRecord;

struct RenderQueue {
    explicit RenderQueue(uint32_t fixedCapacity) : items(fixedCapacity) { matrices.reserve(fixedCapacity); }
    RenderQueue(const RenderQueue&) = delete;
    RenderQueue& operator=(const RenderQueue&) = delete;

    uint32_t Count() const { return items.count; }

    void Append(DrawRecord* record, const float4x4* world)
    {
        items.Push() = record;
        const uint32_t slot = items.count - 1;
        if (slot < matrices.size())
            matrices[slot] = world;
        else
            matrices.push_back(world);
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
};
