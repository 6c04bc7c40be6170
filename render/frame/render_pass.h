#pragma once
// RenderPass: one step of a frame. It says what is drawn (its renderer
// templates, run in order), through which camera, into which targets and how
// they are cleared, with which technique (the pass's name), with which render
// states, how often (every frame, at a period in clock ticks, or after the
// camera has moved far enough), whether it is a shadow pass, and what is copied
// after it. It draws nothing itself: the frame renderer runs it. The owner
// fills the fields after construction; pointed-to objects are never owned.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kernel/math/float4.h"

class CameraNode;
class RendererTemplate;
struct RenderQueue;
class TextureResource;
struct RenderTargetRecord;

// Render-state numbers and values of the pass defaults.
inline constexpr uint32_t kRsCullMode = 22;
inline constexpr uint32_t kRsZFunc = 23;
inline constexpr uint32_t kRsSrcBlend = 19;
inline constexpr uint32_t kRsDestBlend = 20;
inline constexpr uint32_t kCullCcw = 3;
inline constexpr uint32_t kCmpLessEqual = 4;
inline constexpr uint32_t kBlendSrcAlpha = 5;
inline constexpr uint32_t kBlendInvSrcAlpha = 6;

// Pass modes.
inline constexpr uint32_t kPassNormal = 0;
inline constexpr uint32_t kPassShadow = 1;

class alignas(16) RenderPass {
public:
    RenderPass();
    // Passes are destroyed through their base too (post passes, shadow passes).
    virtual ~RenderPass() = default;
    RenderPass(const RenderPass&) = delete;
    RenderPass& operator=(const RenderPass&) = delete;

    // A shadow pass type sets up shadow `index` here (one light's camera, say);
    // the base reports "Non-overloaded shadowing.".
    virtual void RenderShadow(uint8_t index);
    // RenderShadow(shadowSlices - 1), modulo 256: no slices ask for index 255.
    virtual void RenderLastShadow();
    // Whether the frame renderer draws the pass's shadow slices (RenderShadow
    // and a "depth" draw per slice); a shadow pass type that has set up what
    // its slices need answers true.
    virtual bool DrawsShadowSlices() { return false; }

    // Appends the template (a template may be added twice, and then runs twice).
    void AddRendererTemplate(RendererTemplate* renderTemplate) { subRenderers.push_back(renderTemplate); }

    // Whether a periodic pass runs at clock reading `now`: a pass of period 0
    // always does; otherwise only once the deadline is below now, which then
    // moves to now + period and sets the progress to 0; a pass that waits gets
    // the elapsed share of its period as progress.
    bool CheckPeriod(uint32_t now);

    std::vector<RendererTemplate*> subRenderers;
    // Template queues (instanceList) this pass takes over from the pass
    // before (flag 1): that pass leaves them gathered and this one empties
    // them before it draws.
    std::map<const RenderQueue*, uint8_t> carriedLists;
    uint32_t deadline = 0;       // clock ticks
    float4 lastCameraPos;        // the active camera's position when the pass last ran
    float* progress = nullptr;   // receives the progress of a periodic pass; not owned
    uint8_t shadowSlice = 0;     // handed to the templates of a shadow pass
    uint8_t shadowSlices = 0;
    // Render state -> value, applied (in ascending state order) while the
    // pass draws. Values are wide enough for the clip-plane pointer state.
    std::map<uint32_t, uintptr_t> stateOverrides;
    RenderTargetRecord* target = nullptr;
    // Render-target index -> target; when not empty it is bound instead of
    // `target`, and each index is unbound after the pass has drawn.
    std::map<uint32_t, RenderTargetRecord*> targets;
    std::string name;            // the technique the pass's instances are drawn with
    uint32_t mode = kPassNormal;
    CameraNode* camera = nullptr; // applied before the pass draws; null keeps the active one
    uint8_t keepContents = 0;    // no clear (but the stencil clear)
    uint8_t clearDepthOnly = 0;
    uint8_t clearStencil = 0;
    uint8_t clearColourOnly = 0;
    uint8_t colourWrite = 1;
    uint8_t depthWrite = 1;      // also clears depth with the colour
    uint32_t period = 0;         // clock ticks; 0: every frame
    uint32_t minCameraMove = 0;  // distance the camera must move (more than) before the pass runs again
    RenderTargetRecord* copyBeforeClear = nullptr; // receives the target before it is cleared
    RenderTargetRecord* copyAfterDraw = nullptr;   // receives the target after the pass has drawn
    uint32_t frameRendererWord = 0; // kept for the frame renderer
    uint8_t printCount = 0;      // print the instances gathered
    uint8_t alwaysDraw = 0;      // draw even when nothing was gathered
    uint32_t clearColour = 0;    // ARGB
    TextureResource* mipTarget = nullptr; // its levels are made again after the pass
};
