#pragma once
// The scene's renderer template, in the part render passes need until the
// full scene traversal exists: layers of scene nodes, and a Render that appends
// one instance per subset of each visible mesh node (its subset's draw record,
// filled on first use, and the node's world matrix). Levels of detail and
// light nodes are not handled here.
#include <cstdint>
#include <vector>

#include "render/renderer_template.h"

class SceneNode;

// Nodes a template draws, in order; not owned.
struct RenderLayer {
    std::vector<SceneNode*> nodes;
    uint8_t enabled = 1;
};

class SceneNodeRenderer : public RendererTemplate {
public:
    void Render() override { UpdateScene(); }
    void UpdateScene();

    std::vector<RenderLayer*> layers; // not owned
};
