#pragma once
// The demonstration's scene as data: four shadow casters, "Object01" to
// "Object04" (a sphere, an upright cylinder, a cone and a standing ring),
// on the ground box "Box01". Each is a mesh node with one subset drawn with a
// material of its own, named like the node, whose effect is kSceneEffect.
// Built in memory through the engine's scene, mesh and material types, so the
// file is written by the same code that reads it.
#include <string>
#include <vector>

#include "kernel/math/float3.h"
#include "kernel/math/float4.h"
#include "tools/makedata/ground_transfer.h"
#include "tools/makedata/shapes.h"

class MeshResource;
class Scene;

namespace makedata {

inline constexpr char kSceneFile[] = "data/shadowDemo.ids";
inline constexpr char kSceneEffect[] = "shadowDemo.fx";
inline constexpr char kGroundName[] = "Box01";

struct SceneObject {
    std::string name;
    MeshGeometry mesh;       // in the node's own space
    float3 position;         // of the node
    float yawDegrees = 0.0f; // turn of the node about y
    float4 colour;           // "matColor": albedo
    float4 specular;         // "matSpecular": strength, power
    // The subset's bounding radius is the mesh's own times this. The start-up
    // frames each caster's light camera by that radius r: a window of the
    // back buffer's pixels, each r / 370 world units (r / 740 for the fourth
    // caster), which must hold the whole caster.
    float windowScale = 1.0f;
};

struct DemoLayout {
    std::vector<SceneObject> objects; // the casters in order, then the ground
    float3 groundLow;                 // the ground box's corners in its node's space
    float3 groundHigh;
    float3 groundPosition;            // of the ground node (no turn)

    const SceneObject& Ground() const { return objects.back(); }
    // The top face in world space.
    float3 GroundTopLow() const;
    float3 GroundTopHigh() const;
};

DemoLayout MakeDemoLayout();

// Fills the mesh's base set with the geometry: the default vertex layout, one
// subset of triangles drawn with material, the subset's bounding sphere.
void FillMesh(MeshResource& mesh, const MeshGeometry& geometry, uint32_t materialId, float4 centre, float radius);

// The scene of the layout, with a block of its own, on the running device.
void BuildDemoScene(Scene& scene, const DemoLayout& layout);

// The casters' triangles in world space, placed by the scene's own nodes.
std::vector<Occluder> CasterOccluders(Scene& scene, const DemoLayout& layout);

} // namespace makedata
