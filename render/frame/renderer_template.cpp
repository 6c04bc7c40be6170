#include "render/frame/renderer_template.h"

#include <iostream>

#include "render/nodes/camera_node.h"

RendererTemplate::RendererTemplate()
    : cameraSlot(GetActiveCameraSlot()),
      secondCameraSlot(GetActiveCameraSlot()),
      instanceList(InstancingBufferSize(), InstancingOverflowNote())
{
}

void RendererTemplate::Render()
{
    std::cout << "This is default renderer template.\n Derive the renderer and use this virtual function.\n";
}

void RendererTemplate::ResetInstances(std::vector<LightRecord*>* frameLights)
{
    if (keep)
        return;
    instanceList.Clear();
    if (!instanceList.lightList)
        instanceList.lightList = frameLights;
    gatheredCount = 0;
}

void RendererTemplate::BeginGathering(std::vector<LightRecord*>* frameLights)
{
    if (resetPending) {
        resetPending = 0;
        const uint8_t kept = keep;
        keep = 0;
        ResetInstances(frameLights);
        keep = kept;
        return;
    }
    ResetInstances(frameLights);
}
