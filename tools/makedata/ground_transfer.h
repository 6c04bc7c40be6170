#pragma once
// The ground's diffuse transfer under the shadow casters, for the first two
// bands of spherical harmonics. At a point of an upward-facing surface the
// transfer of basis function i is
//   T_i = 1/pi * integral over the upper hemisphere of Y_i(w) V(w) cos(w),
// V being 1 where a ray leaves the point unblocked, so that light with
// coefficients L_i leaves the surface with radiance albedo * sum L_i T_i.
// Rays are cosine-weighted and stratified, so T_i is the mean of Y_i over the
// unblocked rays. Directions enter the basis as (x, z, y) of the world, which
// puts the basis's pole straight up; the effects turn normals the same way.
//
// Stored as two textures over the top face (the box mapping of shapes.h):
// each texel's R, G, B, A hold T_0 .. T_3, the "positive" texture the parts
// above zero and the "negative" one the parts below, each as a byte
// round(255 * kTransferScale * |part|), clamped.
#include <cstdint>
#include <vector>

#include "kernel/math/float3.h"
#include "tools/makedata/image_files.h"
#include "tools/makedata/shapes.h"

namespace makedata {

inline constexpr int kTransferTerms = 4;
inline constexpr float kTransferScale = 2.0f;

struct Triangle {
    float3 a, b, c;
};

// The triangles of one shadow caster in world space, within their bounds.
struct Occluder {
    Sphere bounds;
    std::vector<Triangle> triangles;
};

// The basis angles of a world direction: the polar angle from world +y and
// the azimuth from +x towards +z, in [0, 2 pi).
void BasisAngles(float3 direction, double& theta, double& phi);

// True when the ray from origin along direction meets a triangle of an
// occluder further than a small distance away.
bool Blocked(const std::vector<Occluder>& occluders, float3 origin, float3 direction);

// T_0 .. T_3 at a point of an upward-facing surface, from raysPerSide squared rays.
void TransferAt(const std::vector<Occluder>& occluders, float3 point, uint32_t raysPerSide,
                double out[kTransferTerms]);

struct TransferTextures {
    Image positive;
    Image negative;
};

// One byte of an encoded part, and a term back from its two bytes.
uint8_t EncodeTransferPart(double part);
double DecodeTransfer(uint8_t positive, uint8_t negative);

// The transfer of size x size texels over the top face of the box between
// low and high (world space); texel (i, j) is the top-face point of texture
// coordinates ((i + 0.5) / size, (j + 0.5) / size). Uses every hardware thread.
TransferTextures BakeGroundTransfer(const std::vector<Occluder>& occluders, float3 low, float3 high,
                                    uint32_t size, uint32_t raysPerSide);

} // namespace makedata
