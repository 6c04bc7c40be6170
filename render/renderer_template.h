#pragma once
// RendererTemplate: what a render pass asks to gather its drawing. Each run of
// a pass calls Render on its templates; Render fills the instance array with
// draw-record pointers and, in step, the instance matrices with world-matrix
// pointers, which the frame renderer then draws instanced. Templates follow the
// active camera unless pointed at another camera slot. The scene's node
// renderer and the particle emitter derive their own.
#include <cstdint>
#include <vector>

#include "kernel/math/float4x4.h"
#include "kernel/static_heap_vector.h"

class CameraNode;
class MeshNode;
class SceneNode;
struct DrawRecord;
struct LightRecord;

class RendererTemplate {
public:
    // Both camera slots follow the active camera; the instance array and the
    // matrices take room for `instancingBufferSize` of section Graphics.
    RendererTemplate();
    virtual ~RendererTemplate() = default;
    RendererTemplate(const RendererTemplate&) = delete;
    RendererTemplate& operator=(const RendererTemplate&) = delete;

    // The derived template's gathering; the base only says it was not derived.
    virtual void Render();

    // Starts a run afresh: both lists emptied, a missing light list pointed at
    // `frameLights`, the gathered count 0. Nothing when the keep flag is set.
    void ResetInstances(std::vector<LightRecord*>* frameLights);
    // One instance: the record and, in step, its world matrix.
    void AppendInstance(DrawRecord* record, const float4x4* world);

    CameraNode** cameraSlot;
    CameraNode** secondCameraSlot;
    staticHeapVector<DrawRecord*> instanceArray;
    std::vector<const float4x4*> instanceMatrices;
    std::vector<LightRecord*>* lightList = nullptr; // the frame renderer's; not owned
    SceneNode* currentNode = nullptr;
    MeshNode* currentMeshNode = nullptr;
    SceneNode* currentLightNode = nullptr;
    DrawRecord* currentDrawRecord = nullptr;
    LightRecord* currentLightRecord = nullptr;
    uint8_t keep = 0;      // runs append to the last result instead of starting afresh
    uint8_t enabled = 1;   // a disabled template gathers nothing
    uint8_t autoReset = 1; // the frame renderer resets the template after its pass
    uint32_t shadowSlice = 0;   // set by a shadow pass around Render
    uint32_t gatheredCount = 0; // instances appended since the last reset
};
