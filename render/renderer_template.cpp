#include "render/renderer_template.h"

#include <algorithm>
#include <iostream>

#include "kernel/settings.h"
#include "render/camera_node.h"

namespace {
// A negative setting makes no room rather than a huge request.
uint32_t InstancingBufferSize()
{
    return static_cast<uint32_t>(std::max(0, GetSettings().GetInt("Graphics", "instancingBufferSize")));
}
} // namespace

RendererTemplate::RendererTemplate()
    : cameraSlot(GetActiveCameraSlot()), secondCameraSlot(GetActiveCameraSlot()),
      instanceArray(InstancingBufferSize())
{
    instanceMatrices.reserve(InstancingBufferSize());
}

void RendererTemplate::Render()
{
    std::cout << "This is default renderer template.\n Derive the renderer and use this virtual function.\n";
}

void RendererTemplate::ResetInstances(std::vector<LightRecord*>* frameLights)
{
    if (keep)
        return;
    instanceArray.count = 0;
    std::vector<const float4x4*>().swap(instanceMatrices);
    if (!lightList)
        lightList = frameLights;
    gatheredCount = 0;
}

void RendererTemplate::AppendInstance(DrawRecord* record, const float4x4* world)
{
    instanceArray.Push() = record;
    instanceMatrices.push_back(world);
    ++gatheredCount;
}
