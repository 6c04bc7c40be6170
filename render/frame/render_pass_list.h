#pragma once
// RenderPassList: the frame's render passes in order, and RenderPasses, which
// runs them once per frame: it decides whether each pass is due (by its period
// and by how far the active camera has moved), applies its camera, runs its
// templates (a shadow pass with the shadow-gathering flag set), draws a shadow
// pass's slices, sets its render states, binds and clears its targets, draws
// through the current scene renderer, copies its target, regenerates mip
// levels, restores the states and resets the templates whose lists are no
// longer needed. Passes are not owned. Render thread only.
#include <cstdint>
#include <map>
#include <vector>

class CameraNode;
class RenderPass;
class RendererTemplate;

// 1 only while a shadow pass runs a template's Render; the traversal reads it.
extern uint8_t shadowGathering;

// The clock passes are timed with, in ticks: milliseconds since the program
// started, wrapping at 32 bits. Replaceable (null restores it).
using PassClock = uint32_t (*)();
void SetPassClock(PassClock clock);
uint32_t ReadPassClock();

class RenderPassList {
public:
    RenderPassList() { passes.reserve(100); }

    // Runs every pass once; does nothing but count the frame when there is no
    // current scene renderer or no device.
    void RenderPasses();

    uint8_t frameListsReset = 0;
    // The values that pass states replaced, restored after the pass.
    std::map<uint32_t, uintptr_t> savedStates;
    uint32_t frameCounter = 0;
    std::vector<RenderPass*> passes;

private:
    // Gathers and returns the instances counted for the pass, applying its
    // camera first unless the reference pass looked through the same one.
    uint32_t Gather(RenderPass& pass, const CameraNode* referenceCamera);
    void DrawShadowSlices(RenderPass& pass);
    void Draw(RenderPass& pass);
    void ResetAfterPass(RenderPass& pass, const RenderPass& next);
    // The reset of a template after its pass, or the mark for a deferred one.
    void ResetTemplate(RendererTemplate& renderTemplate);
    void ResetFrameListsOnce();
    void ApplyStates(const RenderPass& pass);
    void RestoreStates(const RenderPass& pass);
};
