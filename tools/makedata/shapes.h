#pragma once
// Triangle meshes of the demonstration's objects, built in memory: every
// vertex with position, normal, texture coordinates, tangent and binormal
// (the engine's default vertex layout), triangles as index triples wound so
// that a triangle faces where its cross product (b - a) x (c - a) points, the
// way the renderer's default culling keeps front faces of a left-handed view.
// Closed shapes face outwards.
#include <cstdint>
#include <vector>

#include "kernel/math/float3.h"

namespace makedata {

struct MeshVertex {
    float3 position;
    float3 normal;
    float u = 0.0f;
    float v = 0.0f;
    float3 tangent;
    float3 binormal;
};

struct MeshGeometry {
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices; // three per triangle

    size_t TriangleCount() const { return indices.size() / 3; }
};

struct Sphere {
    float3 centre;
    float radius = 0.0f;
};

// The sphere about the middle of the bounding box that holds every vertex.
Sphere BoundsOf(const MeshGeometry& mesh);

// A UV sphere about the origin.
MeshGeometry MakeSphere(float radius, uint32_t slices, uint32_t stacks);
// An upright cylinder with both caps, base at y = 0.
MeshGeometry MakeCylinder(float radius, float height, uint32_t slices);
// An upright cone with its base cap, base at y = 0.
MeshGeometry MakeCone(float radius, float height, uint32_t slices);
// A ring standing in the x-y plane about the origin.
MeshGeometry MakeTorus(float ringRadius, float tubeRadius, uint32_t rings, uint32_t sides);
// A box between two corners. The top face's texture coordinates span the
// whole texture: u from low to high x, v from high to low z; every other
// face takes the coordinates of the top-face point straight above it, so it
// continues the top face's border.
MeshGeometry MakeBox(float3 low, float3 high);

// Moves every vertex.
void Translate(MeshGeometry& mesh, float3 offset);

// Texture coordinates of a point of a box's top face (the MakeBox mapping).
void BoxTopUV(float3 low, float3 high, float x, float z, float& u, float& v);

} // namespace makedata
