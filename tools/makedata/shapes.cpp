#include "tools/makedata/shapes.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace makedata {

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

float3 Normalize(float3 a)
{
    const float length = Length(a);
    return length > 0.0f ? a * (1.0f / length) : a;
}

// Appends a triangle turned to face the way its vertices' normals point;
// a triangle without area (at a pole) is left out.
void AddFacing(MeshGeometry& mesh, uint32_t a, uint32_t b, uint32_t c)
{
    const float3 pa = mesh.vertices[a].position;
    const float3 face = Cross(mesh.vertices[b].position - pa, mesh.vertices[c].position - pa);
    if (Dot(face, face) < 1e-14f)
        return;
    const float3 normals = ((mesh.vertices[a].normal + mesh.vertices[b].normal) + mesh.vertices[c].normal);
    if (Dot(face, normals) < 0.0f)
        std::swap(b, c);
    mesh.indices.insert(mesh.indices.end(), {a, b, c});
}

struct SurfacePoint {
    float3 position;
    float3 normal;
    float3 tangent; // along growing u
};

// A (columns + 1) x (rows + 1) grid of vertices over u, v in [0, 1], two
// triangles per cell.
void AddGrid(MeshGeometry& mesh, uint32_t columns, uint32_t rows,
             const std::function<SurfacePoint(float u, float v)>& surface)
{
    const uint32_t first = static_cast<uint32_t>(mesh.vertices.size());
    for (uint32_t r = 0; r <= rows; ++r) {
        for (uint32_t c = 0; c <= columns; ++c) {
            const float u = float(c) / float(columns);
            const float v = float(r) / float(rows);
            const SurfacePoint p = surface(u, v);
            MeshVertex vertex;
            vertex.position = p.position;
            vertex.normal = Normalize(p.normal);
            vertex.u = u;
            vertex.v = v;
            vertex.tangent = Normalize(p.tangent);
            vertex.binormal = Normalize(Cross(vertex.normal, vertex.tangent));
            mesh.vertices.push_back(vertex);
        }
    }
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
            const uint32_t a = first + r * (columns + 1) + c, b = a + 1, d = a + columns + 1, e = d + 1;
            AddFacing(mesh, a, b, d);
            AddFacing(mesh, b, e, d);
        }
    }
}

// A flat disc at height y facing up (+1) or down (-1), as a fan.
void AddDisc(MeshGeometry& mesh, float radius, float y, float facing, uint32_t slices)
{
    const uint32_t centre = static_cast<uint32_t>(mesh.vertices.size());
    MeshVertex middle;
    middle.position = {0.0f, y, 0.0f};
    middle.normal = {0.0f, facing, 0.0f};
    middle.u = 0.5f;
    middle.v = 0.5f;
    middle.tangent = {1.0f, 0.0f, 0.0f};
    middle.binormal = Cross(middle.normal, middle.tangent);
    mesh.vertices.push_back(middle);
    for (uint32_t i = 0; i <= slices; ++i) {
        const float angle = 2.0f * kPi * float(i) / float(slices);
        MeshVertex rim = middle;
        rim.position = {radius * std::cos(angle), y, radius * std::sin(angle)};
        rim.u = 0.5f + 0.5f * std::cos(angle);
        rim.v = 0.5f - 0.5f * std::sin(angle);
        mesh.vertices.push_back(rim);
    }
    for (uint32_t i = 0; i < slices; ++i)
        AddFacing(mesh, centre, centre + 1 + i, centre + 2 + i);
}

} // namespace

Sphere BoundsOf(const MeshGeometry& mesh)
{
    if (mesh.vertices.empty())
        return {};
    float3 low = mesh.vertices[0].position;
    float3 high = low;
    for (const MeshVertex& v : mesh.vertices) {
        low = {std::min(low.x, v.position.x), std::min(low.y, v.position.y), std::min(low.z, v.position.z)};
        high = {std::max(high.x, v.position.x), std::max(high.y, v.position.y), std::max(high.z, v.position.z)};
    }
    Sphere sphere;
    sphere.centre = (low + high) * 0.5f;
    for (const MeshVertex& v : mesh.vertices) {
        const float3 d = v.position - sphere.centre;
        sphere.radius = std::max(sphere.radius, std::sqrt(Dot(d, d)));
    }
    return sphere;
}

MeshGeometry MakeSphere(float radius, uint32_t slices, uint32_t stacks)
{
    MeshGeometry mesh;
    AddGrid(mesh, slices, stacks, [radius](float u, float v) {
        const float phi = 2.0f * kPi * u;
        const float theta = kPi * v; // from the top
        const float3 n = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
        return SurfacePoint{n * radius, n, {-std::sin(phi), 0.0f, std::cos(phi)}};
    });
    return mesh;
}

MeshGeometry MakeCylinder(float radius, float height, uint32_t slices)
{
    MeshGeometry mesh;
    AddGrid(mesh, slices, 1, [radius, height](float u, float v) {
        const float phi = 2.0f * kPi * u;
        const float3 n = {std::cos(phi), 0.0f, std::sin(phi)};
        return SurfacePoint{{radius * n.x, height * (1.0f - v), radius * n.z}, n, {-n.z, 0.0f, n.x}};
    });
    AddDisc(mesh, radius, height, 1.0f, slices);
    AddDisc(mesh, radius, 0.0f, -1.0f, slices);
    return mesh;
}

MeshGeometry MakeCone(float radius, float height, uint32_t slices)
{
    MeshGeometry mesh;
    // The side's normal leans up by the slope; two rows so the apex keeps
    // the normal of each slice.
    const float slope = radius / height;
    AddGrid(mesh, slices, 2, [radius, height, slope](float u, float v) {
        const float phi = 2.0f * kPi * u;
        const float3 out = {std::cos(phi), 0.0f, std::sin(phi)};
        const float r = radius * v;
        return SurfacePoint{{r * out.x, height * (1.0f - v), r * out.z}, {out.x, slope, out.z}, {-out.z, 0.0f, out.x}};
    });
    AddDisc(mesh, radius, 0.0f, -1.0f, slices);
    return mesh;
}

MeshGeometry MakeTorus(float ringRadius, float tubeRadius, uint32_t rings, uint32_t sides)
{
    MeshGeometry mesh;
    AddGrid(mesh, rings, sides, [ringRadius, tubeRadius](float u, float v) {
        const float a = 2.0f * kPi * u; // about the ring's axis (z)
        const float b = 2.0f * kPi * v; // about the tube
        const float3 out = {std::cos(a), std::sin(a), 0.0f};
        const float3 n = out * std::cos(b) + float3{0.0f, 0.0f, std::sin(b)};
        const float3 p = out * ringRadius + n * tubeRadius;
        return SurfacePoint{p, n, {-std::sin(a), std::cos(a), 0.0f}};
    });
    return mesh;
}

void BoxTopUV(float3 low, float3 high, float x, float z, float& u, float& v)
{
    u = std::clamp((x - low.x) / (high.x - low.x), 0.0f, 1.0f);
    v = std::clamp((high.z - z) / (high.z - low.z), 0.0f, 1.0f);
}

MeshGeometry MakeBox(float3 low, float3 high)
{
    MeshGeometry mesh;
    struct Face {
        float3 normal;
        float3 tangent;
    };
    static const Face faces[6] = {
        {{0, 1, 0}, {1, 0, 0}},  {{0, -1, 0}, {1, 0, 0}}, {{1, 0, 0}, {0, 0, 1}},
        {{-1, 0, 0}, {0, 0, 1}}, {{0, 0, 1}, {1, 0, 0}},  {{0, 0, -1}, {1, 0, 0}},
    };
    const float3 centre = (low + high) * 0.5f;
    const float3 half = (high - low) * 0.5f;
    for (const Face& face : faces) {
        const float3 bi = Cross(face.normal, face.tangent);
        const uint32_t first = static_cast<uint32_t>(mesh.vertices.size());
        for (int corner = 0; corner < 4; ++corner) {
            const float s = (corner & 1) ? 1.0f : -1.0f;
            const float t = (corner & 2) ? 1.0f : -1.0f;
            const float3 unit = face.normal + face.tangent * s + bi * t;
            MeshVertex vertex;
            vertex.position = {centre.x + unit.x * half.x, centre.y + unit.y * half.y, centre.z + unit.z * half.z};
            vertex.normal = face.normal;
            vertex.tangent = face.tangent;
            vertex.binormal = bi;
            BoxTopUV(low, high, vertex.position.x, vertex.position.z, vertex.u, vertex.v);
            mesh.vertices.push_back(vertex);
        }
        AddFacing(mesh, first, first + 1, first + 2);
        AddFacing(mesh, first + 1, first + 3, first + 2);
    }
    return mesh;
}

void Translate(MeshGeometry& mesh, float3 offset)
{
    for (MeshVertex& v : mesh.vertices)
        v.position = (v.position + offset);
}

} // namespace makedata
