#pragma once
// PostPass: a ready-made full-screen pass named "post". It owns an
// orthographic camera spanning the back buffer pixel for pixel, a quad of the
// back buffer's size (built at the first set-up and kept at that size), a
// material whose effect does the image processing (the owner loads it and sets
// its parameters), and a scene renderer that draws the quad.
#include <cstdint>

#include "render/frame/render_pass.h"
#include "render/frame/renderer_template_scene.h"
#include "render/nodes/camera_node.h"
#include "render/nodes/mesh_node.h"
#include "render/resources/material.h"

class alignas(16) PostPass : public RenderPass {
public:
    // The material gets a block of its own, already loaded; no camera is set.
    PostPass();

    // Makes the pass ready to draw its quad with the material into `target`:
    // the quad (sized once), its material, the renderer with the quad's layer
    // (added to the pass again on every call), no depth writes, the name
    // "post", the orthographic camera; `noClear` keeps the target's contents.
    void SetupPostPass(uint8_t noClear, RenderTargetRecord* target);

    // Destroyed in the reverse of this order.
    RenderLayer layer;
    CameraNode orthoCamera;
    uint8_t quadBuilt = 0;
    MeshNode quad;
    MaterialResource material;
    SceneNodeRenderer renderer;
};
