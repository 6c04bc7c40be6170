#include "render/frame/post_pass.h"

#include <vector>

#include "render/device/render_device.h"
#include "render/resources/quad.h"

PostPass::PostPass()
{
    MakeUniqueMaterial(material);
    camera = nullptr;
}

void PostPass::SetupPostPass(uint8_t noClear, RenderTargetRecord* passTarget)
{
    if (!quadBuilt) {
        const GraphicsSettings& graphics = GetRenderer()->Graphics();
        // A quad that could not be made is tried again at the next set-up.
        quadBuilt = CreateQuadOfSize(quad.mesh, static_cast<float>(graphics.width),
                                     static_cast<float>(graphics.height), 1, 1)
                        ? 1
                        : 0;
    }
    quad.mesh.SetMeshMaterial(material);
    keepContents = noClear;
    std::vector<RenderLayer*>().swap(renderer.layers);
    std::vector<SceneNode*>().swap(layer.nodes);
    layer.nodes.push_back(&quad);
    renderer.layers.push_back(&layer);
    AddRendererTemplate(&renderer);
    target = passTarget;
    depthWrite = 0;
    name = "post";
    orthoCamera.orthographic = 1;
    orthoCamera.secondProjection = 1;
    orthoCamera.SetFov(1.0f);
    camera = &orthoCamera;
}
