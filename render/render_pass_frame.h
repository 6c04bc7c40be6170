#pragma once
// The part of the frame renderer that running render passes needs, standing
// in until the scene renderer exists: the render-state cache, the frame light
// list and its once-per-frame reset, the list of templates whose instances are
// drawn, the process-wide shadow-gathering flag and a plain DrawInstanced that
// draws each gathered instance on its own (no instancing buffers, no batching).
// The last one built is the current one, as with the scene renderer.
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/math/float4x4.h"
#include "render/render_state_cache.h"

class RendererTemplate;
struct DrawRecord;
struct LightRecord;

// 1 only while a shadow pass runs a template's Render; the traversal reads it.
extern uint8_t shadowGathering;

class PassFrameRenderer {
public:
    // Becomes the current one.
    PassFrameRenderer();
    // No longer current.
    virtual ~PassFrameRenderer();
    PassFrameRenderer(const PassFrameRenderer&) = delete;
    PassFrameRenderer& operator=(const PassFrameRenderer&) = delete;

    // Empties the frame light list, giving back its storage. Once per frame,
    // before the first template runs.
    virtual void ResetFrameLists();
    // Sets depth and colour writing, then draws every instance of the listed
    // templates with the technique `technique` of each instance's effect.
    virtual void DrawInstanced(const std::string& technique, uint8_t colourWrite, uint8_t depthWrite);

    RenderStateCache renderStates;
    std::vector<LightRecord*> frameLights;
    // The templates whose instances DrawInstanced draws, in order; not owned.
    std::vector<RendererTemplate*> instanceLists;

private:
    void DrawOne(DrawRecord& record, const float4x4* world, const std::string& technique);
};

// The last PassFrameRenderer built that still exists, or null.
PassFrameRenderer* GetPassFrameRenderer();
