#pragma once
// RendererTemplate: what a render pass asks to gather its drawing. Each run of
// a pass calls Render on its templates; Render fills the template's queue
// (instanceList) with draw-record pointers and, in step, world-matrix
// pointers, which the scene renderer then draws instanced. Templates follow
// the active camera unless pointed at another camera slot. The scene's node
// renderer and the particle emitter derive their own.
//
// After its pass a template is reset (its queue emptied) unless the next pass
// carries its queue, autoReset is 0 or keep is set. A template with deferReset
// only gets resetPending then; the reset happens when it next gathers.
#include <cstdint>
#include <vector>

#include "kernel/math/float4x4.h"
#include "render/frame/render_queue.h"

class CameraNode;
class MeshNode;
class SceneNode;
struct DrawRecord;
struct LightRecord;

class RendererTemplate {
public:
    // Both camera slots follow the active camera; the queue takes room for
    // `instancingBufferSize` of section Graphics.
    RendererTemplate();
    virtual ~RendererTemplate() = default;
    RendererTemplate(const RendererTemplate&) = delete;
    RendererTemplate& operator=(const RendererTemplate&) = delete;

    // The derived template's gathering; the base only says it was not derived.
    virtual void Render();

    // The reset after a pass: the queue emptied, a missing light list pointed
    // at `frameLights`, the gathered count 0. Nothing when keep is set.
    void ResetInstances(std::vector<LightRecord*>* frameLights);
    // The start of a gathering run: a pending reset is carried out; otherwise
    // as ResetInstances.
    void BeginGathering(std::vector<LightRecord*>* frameLights);
    // One instance: the record and, in step, its world matrix.
    void AppendInstance(DrawRecord* record, const float4x4* world)
    {
        instanceList.Append(record, world);
        ++gatheredCount;
    }

    CameraNode** cameraSlot;
    CameraNode** secondCameraSlot;
    RenderQueue instanceList;
    SceneNode* currentNode = nullptr;
    MeshNode* currentMeshNode = nullptr;
    SceneNode* currentLightNode = nullptr;
    DrawRecord* currentDrawRecord = nullptr;
    LightRecord* currentLightRecord = nullptr;
    uint8_t keep = 0;         // runs append to the last result instead of starting afresh
    uint8_t enabled = 1;      // a disabled template gathers nothing
    uint8_t autoReset = 1;    // the pass list resets the template after its pass
    uint8_t deferReset = 0;   // that reset waits for the template's next gathering
    uint8_t resetPending = 0; // a deferred reset is waiting
    uint32_t shadowSlice = 0;   // set by a shadow pass around Render
    uint32_t gatheredCount = 0; // instances appended since the last reset
};
