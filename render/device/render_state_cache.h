#pragma once
// Render states reach the device only when they change. The scene renderer's
// RenderStateCache remembers the value last set for each state and calls the
// render device only on a change; it starts from the values the device really
// holds, so a first request equal to the device's own value costs nothing and
// one that differs always arrives. The pseudo-state kClipPlaneState carries a
// clip-plane pointer (compared by address). The cached setters bind the vertex
// declaration and the index buffer, or switch one state fully on or off.
#include <cstdint>
#include <map>

#include "platform/gfx/device/device.h"
#include "render/device/render_device.h"

class RenderStateCache {
public:
    // Seeded from the render device's device when there is one, else from the
    // values a new device starts with.
    RenderStateCache();

    // Takes every render state's value from `device` (null: a new device's values).
    void Seed(const gfx::Device* device);

    // Calls SetRenderStateCached when `value` differs from the cached one, then
    // records it (also when the device call failed, so it is not repeated).
    void SetCachedState(uint32_t state, uintptr_t value);
    // The value the cache believes the state has (0 for a state never seen).
    uintptr_t CachedValue(uint32_t state) const;

    std::map<uint32_t, uintptr_t> renderStates;
};

// One device binding with the value last applied through it. Update applies a
// value only when it is non-null and differs from that value.
class CachedDeviceSetter {
public:
    virtual ~CachedDeviceSetter() = default;
    // Makes the device call; lastResult gets its result and a failure prints
    // the setter's message.
    virtual void Apply(uintptr_t value) = 0;

    void Update(uintptr_t value)
    {
        if (value != 0 && value != applied) {
            Apply(value);
            applied = value;
        }
    }

    uintptr_t applied = 0; // nothing applied yet
};

// Value: a gfx::VertexDeclaration pointer.
class VertexDeclSetter : public CachedDeviceSetter {
public:
    void Apply(uintptr_t value) override;
};

// Value: a gfx::IndexBuffer pointer.
class IndicesSetter : public CachedDeviceSetter {
public:
    void Apply(uintptr_t value) override;
};

// Value 1 sets the state to 0xFFFFFFFF, anything else to 0; for the clip-plane
// pseudo-state, anything but 1 switches the clip plane off and 1 (which names no
// plane) changes nothing. Talks to the device directly, past the cache.
class RenderStateToggle : public CachedDeviceSetter {
public:
    explicit RenderStateToggle(uint32_t renderState) : state(renderState) {}
    void Apply(uintptr_t value) override;

    uint32_t state;
};
